// velda-installer's parts: its command line, the device names put in place by --midi-in and
// --midi-out, and the front ends it puts in front of the window's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alias_midi_driver.h"
#include "app_options.h"
#include "fw/msgloop.h"
#include "midi/driver/virtual/virtual_midi_driver.h"
#include "shell/texts.h"

namespace velda::app {
namespace {

CParseResult Parse(const std::vector<std::string>& a) { return ParseAppOptions(a); }

TEST(AppOptions, NoOptionIsTheInstallerAsItAlwaysWas) {
  const CParseResult r = Parse({});
  ASSERT_TRUE(r.options);
  EXPECT_EQ(r.options->strPackage, "");
  EXPECT_FALSE(r.options->bVirtual);
  EXPECT_EQ(r.options->eFrontEnd, EFrontEnd::Auto);
  EXPECT_FALSE(r.options->bYes);
  EXPECT_EQ(r.options->strMidiIn, "");
  EXPECT_EQ(r.options->strMidiOut, "");
  EXPECT_EQ(r.options->instrument.strDumpFolder, "");
}

TEST(AppOptions, ValuesAfterTheOptionOrAfterAnEqualsSign) {
  const CParseResult r = Parse({"--package", "a b.uxs", "--midi-in=My In", "--midi-out", "My Out", "--trace=t.txt",
                                "--virtual", "--dump", "mem", "--instrument", "latency-ms=7",
                                "--instrument=restart=off", "--yes", "--json", "--tui", "--virtual-clock"});
  ASSERT_TRUE(r.options) << r.strError;
  const CAppOptions& o = *r.options;
  EXPECT_EQ(o.strPackage, "a b.uxs");
  EXPECT_EQ(o.strMidiIn, "My In");
  EXPECT_EQ(o.strMidiOut, "My Out");
  EXPECT_EQ(o.strTrace, "t.txt");
  EXPECT_TRUE(o.bVirtual && o.bYes && o.bJson && o.bVirtualClock);
  EXPECT_EQ(o.eFrontEnd, EFrontEnd::Tui);
  EXPECT_EQ(o.instrument.strDumpFolder, "mem");
  EXPECT_EQ(o.instrument.nLatencyMs, 7u);
  EXPECT_FALSE(o.instrument.bRestartOnModeOn);
}

TEST(AppOptions, MidiApiNamesTheRealMidiSystem) {
  EXPECT_EQ(Parse({"--midi-api", "jack", "--list-ports"}).options->strMidiApi, "jack");
  EXPECT_EQ(Parse({"--midi-api=alsa"}).options->strMidiApi, "alsa");
  EXPECT_EQ(Parse({}).options->strMidiApi, "");
}

TEST(AppOptions, InstrumentFaultsAddUp) {
  const CParseResult r = Parse(
      {"--virtual", "--instrument", "fault=refuse:block-start:3", "--instrument", "fault=status02:data-packet:5:2"});
  ASSERT_TRUE(r.options) << r.strError;
  ASSERT_EQ(r.options->instrument.faultPlan.aRules.size(), 2u);
  EXPECT_EQ(r.options->instrument.faultPlan.FaultFor(EInstrumentRequest::BlockStart, 3), EInstrumentFault::Refuse);
  EXPECT_EQ(r.options->instrument.faultPlan.FaultFor(EInstrumentRequest::DataPacket, 6), EInstrumentFault::Status02);
  EXPECT_EQ(r.options->instrument.faultPlan.FaultFor(EInstrumentRequest::DataPacket, 7), EInstrumentFault::None);
}

TEST(AppOptions, UsageErrorsSayWhatIsWrong) {
  struct CCase {
    std::vector<std::string> aArgs;
    const char* pszError;
  };
  const CCase aCases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"a.uxs", "b.uxs"}, "unexpected argument \"b.uxs\""},
      {{"a.uxs", "--package", "b.uxs"}, "only one package may be given"},
      {{"-x"}, "unexpected argument \"-x\""},
      {{"--package"}, "--package needs a value"},
      {{"--package="}, "--package needs a file name"},
      {{"--yes=1"}, "--yes takes no value"},
      {{"--gui", "--tui"}, "--gui and --tui exclude each other"},
      {{"--tui", "--gui"}, "--gui and --tui exclude each other"},
      {{"--dump", "d"}, "--dump and --instrument need --virtual"},
      {{"--instrument", "latency-ms=1"}, "--dump and --instrument need --virtual"},
      {{"--virtual-clock"}, "--virtual-clock needs --virtual"},
      {{"--virtual", "--gui", "--json"}, "--json needs the terminal, not --gui"},
      {{"--virtual", "--gui", "--virtual-clock"}, "--virtual-clock needs the terminal, not --gui"},
      {{"--virtual", "--instrument", "latency-ms"}, "--instrument needs KEY=VALUE, not \"latency-ms\""},
      {{"--midi-api", "oss"}, "--midi-api takes alsa or jack"},
      {{"--virtual", "--midi-api=jack"}, "--midi-api chooses a real MIDI system, not --virtual"},
  };
  for (const CCase& c : aCases) {
    const CParseResult r = Parse(c.aArgs);
    EXPECT_FALSE(r.options) << c.pszError;
    EXPECT_EQ(r.strError, c.pszError);
  }
  // The instrument's own reason comes with the setting.
  const CParseResult r = Parse({"--virtual", "--instrument", "latency-ms=soon"});
  ASSERT_FALSE(r.options);
  EXPECT_EQ(r.strError.rfind("--instrument latency-ms=soon: ", 0), 0u) << r.strError;
}

TEST(AppOptions, OneFileArgumentIsThePackage) {
  const CParseResult r = Parse({"--verify", "/home/me/new firmware.uxs"});
  ASSERT_TRUE(r.options) << r.strError;
  EXPECT_EQ(r.options->strPackage, "/home/me/new firmware.uxs");
  EXPECT_TRUE(r.options->bVerify);
  EXPECT_FALSE(Parse({}).options->bVerify);  // opt-in
}

TEST(AppOptions, OnePortForBothDirections) {
  const CParseResult r = Parse({"--midi-port", "HALVEN USB"});
  ASSERT_TRUE(r.options) << r.strError;
  EXPECT_EQ(r.options->strMidiIn, "HALVEN USB");
  EXPECT_EQ(r.options->strMidiOut, "HALVEN USB");
  EXPECT_FALSE(Parse({"--midi-port="}).options);
}

TEST(AppOptions, HelpAndVersionWinOverTheRest) {
  EXPECT_TRUE(Parse({"-h"}).options->bHelp);
  EXPECT_TRUE(Parse({"--dump", "x", "--help"}).options->bHelp);
  EXPECT_TRUE(Parse({"--version"}).options->bVersion);
}

TEST(AppAliases, TheChosenDeviceTakesTheInstrumentsName) {
  const std::vector<CPortName> a = {{DEFAULT_IN_PORT, ""}, {"My In", ""}, {"Else", ""}};
  EXPECT_EQ(AliasedNameAt(a, 1, "My In", DEFAULT_IN_PORT), DEFAULT_IN_PORT);
  EXPECT_EQ(AliasedNameAt(a, 0, "My In", DEFAULT_IN_PORT), "HALVEN USB IN 0-1 (other)");
  EXPECT_EQ(AliasedNameAt(a, 2, "My In", DEFAULT_IN_PORT), "Else");
  EXPECT_EQ(AliasedNameAt(a, 0, "", DEFAULT_IN_PORT), DEFAULT_IN_PORT);
  EXPECT_EQ(AliasedNameAt(a, 0, DEFAULT_IN_PORT, DEFAULT_IN_PORT), DEFAULT_IN_PORT);
  EXPECT_EQ(AliasedNameAt(a, 1, "No Such", DEFAULT_IN_PORT), "My In");
  // Product names hold 31 bytes at most.
  const std::vector<CPortName> aLong = {{"0123456789012345678901234567890", ""}};
  EXPECT_EQ(AliasedNameAt(aLong, 0, "x", "0123456789012345678901234567890"), "0123456789012345678901234567890");
}

// On Linux the instrument is one port for both directions, named by the sequencer in several ways.
TEST(AppAliases, ALinuxPortIsFoundByItsClientItsAddressOrItsName) {
  const std::vector<CPortName> a = {{"Midi Through Port-0", "Midi Through:Midi Through Port-0 14:0"},
                                    {"HALVEN USB MIDI 1", "HALVEN USB:HALVEN USB MIDI 1 20:0"}};
  for (const char* psz : {"HALVEN USB MIDI 1", "HALVEN USB", "HALVEN USB:HALVEN USB MIDI 1", "20:0"}) {
    EXPECT_EQ(AliasedNameAt(a, 1, psz, DEFAULT_OUT_PORT), DEFAULT_OUT_PORT) << psz;
    EXPECT_EQ(AliasedNameAt(a, 0, psz, DEFAULT_OUT_PORT), "Midi Through Port-0") << psz;
  }
}

TEST(AppAliases, TheInstallerFindsTheChosenDevicesByTheInstrumentsNames) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Virtual);
  CVirtualMidiDriver devices(loop);
  devices.AddInDevice(DEFAULT_IN_PORT);
  devices.AddInDevice("Interface In");
  devices.AddOutDevice("Interface Out");
  devices.AddOutDevice(DEFAULT_OUT_PORT);
  CAliasMidiDriver driver(devices, "Interface In", "Interface Out");
  SetMidiDriver(&driver);
  EXPECT_EQ(FindMidiInDevice(DEFAULT_IN_PORT), 1);
  EXPECT_EQ(FindMidiOutDevice(DEFAULT_OUT_PORT), 0);
  EXPECT_EQ(FindMidiInDevice("HALVEN USB IN 0-1 (other)"), 0);
  EXPECT_EQ(FindMidiInDevice("Interface In"), -1);
  // Everything else reaches the devices: the chosen one opens.
  HMIDIOUT hOut = nullptr;
  EXPECT_EQ(midiOutOpen(&hOut, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_TRUE(devices.IsOutOpen(0));
  EXPECT_EQ(midiOutClose(hOut), MMSYSERR_NOERROR);
  SetMidiDriver(nullptr);
}

// --midi-port with the sequencer's address: both directions of the one port take the instrument's
// names, and the trace can still tell the real port from the system's name.
TEST(AppAliases, OnePortNamedByItsAddressServesBothDirections) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Virtual);
  CVirtualMidiDriver devices(loop);
  const CInstrumentPortNames usb = InstrumentPortNames(EPortNaming::LinuxUsb);
  devices.AddInDevice("Midi Through Port-0");
  devices.SetInSystemName(devices.AddInDevice(usb.strIn), usb.strSystem);
  devices.SetOutSystemName(devices.AddOutDevice(usb.strOut), usb.strSystem);
  CAliasMidiDriver driver(devices, "20:0", "20:0");
  SetMidiDriver(&driver);
  EXPECT_EQ(FindMidiInDevice(DEFAULT_IN_PORT), 1);
  EXPECT_EQ(FindMidiOutDevice(DEFAULT_OUT_PORT), 0);
  EXPECT_EQ(MidiInSystemName(1), usb.strSystem);
  EXPECT_EQ(MidiInSystemName(0), "");
  SetMidiDriver(nullptr);
}

}  // namespace
}  // namespace velda::app
