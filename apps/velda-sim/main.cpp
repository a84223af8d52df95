// velda-sim: the simulated instrument as a process of its own on real MIDI ports.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "midi/driver/rtmidi/library_notes.h"
#include "rtmidi_instrument_host.h"
#include "sim_options.h"
#include "usb_gadget_host.h"

namespace {

constexpr int kExitSignal = 0;
constexpr int kExitGone = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoMidi = 7;

int Complain(const std::string& strText, int nExit) {
  std::fprintf(stderr, "velda-sim: %s\n", strText.c_str());
  return nExit;
}

bool Dump(velda::sim::CRtMidiInstrumentHost& host, const velda::CSimInstrument& instrument, const std::string& strDir) {
  if (strDir.empty()) return true;
  bool bOk = false;
  std::string strError;
  host.RunOnDeviceThread([&] { bOk = instrument.DumpHexFolder(strDir, strError); });
  if (!bOk) Complain("the memory dump could not be written: " + strError, kExitGone);
  return bOk;
}

int Run(const velda::sim::CSimOptions& opt) {
  // Every thread made from here on leaves these signals to the wait below.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  FILE* pLog = opt.strLog.empty() ? nullptr : std::fopen(opt.strLog.c_str(), "w");
  velda::rtmidi::SetLibraryNoteSink([pLog](const std::string& strNote) {
    if (pLog == nullptr) return;
    std::fprintf(pLog, "# %s\n", strNote.c_str());
    std::fflush(pLog);
  });

  velda::sim::CSimPorts ports = opt.ports;
  if (!opt.strUsbGadget.empty()) {
    // Behind a USB device the instrument's names are the device's: ports of our own by those
    // names would let an installer reach the instrument past the cable.
    ports.strReadName = "to USB gadget";
    ports.strWriteName = "from USB gadget";
  }
  velda::sim::CRtMidiInstrumentHost host(ports);
  std::string strError;
  if (!host.Open(strError)) return Complain("no MIDI system is available: " + strError, kExitNoMidi);
  velda::sim::CUsbGadgetHost gadget(host, opt.strUsbGadget);
  if (!opt.strUsbGadget.empty() && !gadget.Open(strError)) return Complain(strError, kExitNoMidi);
  velda::CInstrumentHost& instrumentHost =
      opt.strUsbGadget.empty() ? static_cast<velda::CInstrumentHost&>(host) : gadget;
  auto pInstrument = std::make_unique<velda::CSimInstrument>(opt.instrument, instrumentHost);
  velda::CSimInstrument& instrument = *pInstrument;
  host.SetReceiver([&instrument](std::vector<std::uint8_t> a) { instrument.OnMessage(a.data(), a.size()); });

  int nExit = kExitSignal;
  for (;;) {
    const timespec wait{0, 200 * 1000 * 1000};
    const int nSignal = sigtimedwait(&signals, nullptr, &wait);
    if (nSignal == SIGUSR1) {
      Dump(host, instrument, opt.instrument.strDumpFolder);
    } else if (nSignal == SIGTERM || nSignal == SIGINT) {
      break;
    } else if (host.ServerGone()) {
      Complain("the JACK server has gone away", kExitGone);
      nExit = kExitGone;
      break;
    }
  }
  host.SetReceiver(nullptr);
  if (!Dump(host, instrument, opt.instrument.strDumpFolder)) nExit = kExitGone;
  host.Close();
  pInstrument.reset();
  velda::rtmidi::SetLibraryNoteSink(nullptr);
  if (pLog != nullptr) std::fclose(pLog);
  return nExit;
}

}  // namespace

int main(int argc, char** argv) {
  const velda::sim::CSimParseResult parsed =
      velda::sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) {
    Complain(parsed.strError, kExitUsage);
    std::fprintf(stderr, "Try 'velda-sim --help' for the options.\n");
    return kExitUsage;
  }
  if (parsed.options->bHelp) {
    std::fputs(velda::sim::SimHelpText().c_str(), stdout);
    return 0;
  }
  if (parsed.options->bVersion) {
    std::printf("velda-sim %s\n", VELDA_VERSION);
    return 0;
  }
  return Run(*parsed.options);
}
