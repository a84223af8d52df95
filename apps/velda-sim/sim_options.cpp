#include "sim_options.h"

#include "instrument/instrument_settings.h"

namespace velda::sim {

namespace {

bool TakesValue(const std::string& strName) {
  return strName == "--midi-api" || strName == "--instrument" || strName == "--memory" || strName == "--dump" ||
         strName == "--client" || strName == "--log" || strName == "--port-names" || strName == "--usb-gadget";
}

std::string Apply(const std::string& strName, const std::string& strValue, CSimOptions& o) {
  std::string strError;
  if (strName == "--midi-api") {
    if (!rtmidi::ParseMidiApi(strValue, o.ports.eApi)) return "--midi-api takes alsa or jack";
  } else if (strName == "--instrument") {
    if (strValue.find('=') == std::string::npos) return "--instrument needs KEY=VALUE, not \"" + strValue + "\"";
    if (!ParseInstrumentAssignment(strValue, o.instrument, strError))
      return "--instrument " + strValue + ": " + strError;
  } else if (strName == "--memory") {
    if (!ParseInstrumentSetting("memory", strValue, o.instrument, strError)) return "--memory: " + strError;
  } else if (strName == "--dump") {
    if (!ParseInstrumentSetting("dump", strValue, o.instrument, strError)) return "--dump: " + strError;
  } else if (strName == "--client") {
    if (strValue.empty()) return "--client needs a name";
    o.ports.strClientName = strValue;
    o.bClientSet = true;
  } else if (strName == "--port-names") {
    if (strValue != "windows" && strValue != "usb") return "--port-names takes windows or usb";
    o.bUsbNames = strValue == "usb";
  } else if (strName == "--log") {
    o.strLog = strValue;
  } else if (strName == "--usb-gadget") {
    if (strValue.empty()) return "--usb-gadget needs a folder";
    o.strUsbGadget = strValue;
  } else if (strName == "--help" || strName == "-h") {
    o.bHelp = true;
  } else if (strName == "--version") {
    o.bVersion = true;
  } else {
    return "unknown option " + strName;
  }
  return {};
}

}  // namespace

CSimParseResult ParseSimOptions(const std::vector<std::string>& aArgs) {
  CSimOptions o;
  for (std::size_t i = 0; i < aArgs.size(); ++i) {
    std::string strName = aArgs[i];
    std::string strValue;
    const std::size_t nEq = strName.find('=');
    const bool bInline = strName.rfind("--", 0) == 0 && nEq != std::string::npos;
    if (bInline) {
      strValue = strName.substr(nEq + 1);
      strName.resize(nEq);
    }
    if (TakesValue(strName) && !bInline) {
      if (i + 1 >= aArgs.size()) return {std::nullopt, strName + " needs a value"};
      strValue = aArgs[++i];
    }
    if (std::string strError = Apply(strName, strValue, o); !strError.empty()) return {std::nullopt, strError};
  }
  if (o.bUsbNames) {
    // As Linux's USB-MIDI driver names the instrument: sequencer client "HALVEN USB" (its USB
    // product string) with one port "HALVEN USB MIDI 1" for both directions. RtMidi makes a client
    // per direction, so the sequencer shows two clients of that name, each with that port; a JACK
    // client cannot have two ports of one name.
    if (o.ports.eApi != rtmidi::EMidiApi::Alsa) return {std::nullopt, "--port-names usb needs --midi-api alsa"};
    o.ports.strReadName = "HALVEN USB MIDI 1";
    o.ports.strWriteName = "HALVEN USB MIDI 1";
    if (!o.bClientSet) o.ports.strClientName = "HALVEN USB";
  }
  return {o, {}};
}

std::string SimHelpText() {
  std::string s = R"(Usage: velda-sim [OPTION]...
Plays a VELDA instrument on real MIDI ports, for installations without an instrument: the ports
"HALVEN USB IN 0-1" (what the installer reads) and "HALVEN USB OUT 0-1" (what it writes) appear
on JACK or the ALSA sequencer until the program ends. It restarts into update mode as the real
one does: its ports go away and come back after the set delay.

Options:
  --midi-api API      jack (a running JACK server; the default) or alsa (the ALSA sequencer)
  --instrument KEY=VALUE
                      one setting of the simulated instrument (may be repeated; the keys are
                      listed below); the same settings as velda-installer --virtual takes
  --memory DIR        the memory at power-on, from DIR/device-<n>.hex (Intel HEX)
  --dump DIR          write the memory to DIR as Intel HEX, one file device-<n>.hex per device,
                      when the program ends and whenever it gets SIGUSR1
  --client NAME       the name of its MIDI clients (default velda-sim)
  --port-names NAMES  windows (the default): the two ports above; usb (with --midi-api alsa): as
                      Linux's USB-MIDI driver names the instrument, one port name
                      "HALVEN USB MIDI 1" for both directions, of clients named "HALVEN USB"
                      (unless --client names them)
  --log FILE          write what the MIDI libraries say to FILE (else it goes nowhere)
  --usb-gadget DIR    play the instrument behind a USB device port: DIR is a configfs USB gadget
                      (/sys/kernel/config/usb_gadget/NAME) with the MIDI function, bound to its
                      device controller, whose MIDI port is connected to velda-sim's ports. A
                      restart then unbinds the gadget (writes "" to DIR/UDC) and binds it again
                      after the restart delay (writes back the controller found there at the
                      start), so the other end of the cable sees the device go and come back.
                      velda-sim's own ports stay, named "to USB gadget" (connect it to the
                      gadget's MIDI input) and "from USB gadget"
  --version           print the version, then exit
  -h, --help          print this help, then exit

It ends cleanly on SIGTERM and SIGINT (Ctrl-C), writing the dump first, and on its own when the
JACK server goes away.

)";
  s += InstrumentSettingsHelp();
  s += R"(
Exit codes:
  0  ended on a signal
  1  the MIDI system went away, or the dump could not be written
  2  usage error
  7  the MIDI system is not available or the ports cannot be made
)";
  return s;
}

}  // namespace velda::sim
