// Finding a port by the names a user gives it, and which port is plausibly the instrument.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "midi/port_names.h"

namespace velda {
namespace {

// The ALSA sequencer with an instrument behind the kernel's USB-MIDI driver, as RtMidi lists it.
const std::vector<CPortName> kAlsa = {
    {"Midi Through Port-0", "Midi Through:Midi Through Port-0 14:0"},
    {"HALVEN USB MIDI 1", "HALVEN USB:HALVEN USB MIDI 1 20:0"},
    {"Port 2", "HALVEN USB:Port 2 20:1"},
    {"HALVEN USB", "Synth:HALVEN USB 128:0"},
};

struct CCase {
  const char* pszAsked;
  int nWant;
};

class FindPortByNameTest : public ::testing::TestWithParam<CCase> {};

TEST_P(FindPortByNameTest, FindsTheDeviceTheNameMeans) {
  EXPECT_EQ(FindPortByName(GetParam().pszAsked, kAlsa), GetParam().nWant) << GetParam().pszAsked;
}

INSTANTIATE_TEST_SUITE_P(Names, FindPortByNameTest,
                         ::testing::Values(CCase{"HALVEN USB MIDI 1", 1},                  // as --list-ports shows it
                                           CCase{"HALVEN USB:HALVEN USB MIDI 1 20:0", 1},  // RtMidi's whole name
                                           CCase{"HALVEN USB:Port 2", 2},                  // client:port
                                           CCase{"20:1", 2}, CCase{"20:0", 1},             // the address
                                           CCase{"20", 1},            // a client number: its first port
                                           CCase{"Midi Through", 0},  // a client name: its first port
                                           CCase{"HALVEN USB", 3},    // a product name goes before a client name
                                           CCase{"halven usb midi 1", -1}, CCase{"HALVEN USB MIDI", -1},
                                           CCase{"20:2", -1}, CCase{"", -1}, CCase{"Port", -1}));

TEST(FindPortByName, JackNamesHaveNoAddress) {
  const std::vector<CPortName> aJack = {{"capture_1", "system:capture_1"},
                                        {"HALVEN USB IN 0-1", "velda-sim:HALVEN USB IN 0-1"}};
  EXPECT_EQ(FindPortByName("velda-sim:HALVEN USB IN 0-1", aJack), 1);
  EXPECT_EQ(FindPortByName("velda-sim", aJack), 1);
  EXPECT_EQ(FindPortByName("0:0", aJack), -1);
}

TEST(FindPortByName, WithoutSystemNamesOnlyTheProductNameCounts) {
  const std::vector<CPortName> aWinmm = {{"HALVEN USB IN 0-1", ""}, {"Other", ""}};
  EXPECT_EQ(FindPortByName("HALVEN USB IN 0-1", aWinmm), 0);
  EXPECT_EQ(FindPortByName("Other", aWinmm), 1);
  EXPECT_EQ(FindPortByName("", aWinmm), -1);
}

TEST(SoleInstrumentPort, OnlyOnePlausiblePortIsOffered) {
  EXPECT_EQ(SoleInstrumentPort({"Midi Through Port-0", "HALVEN USB MIDI 1"}), 1);
  EXPECT_EQ(SoleInstrumentPort({"HALVEN USB - HALVEN USB MIDI 1"}), 0);  // Wine's name for it
  EXPECT_EQ(SoleInstrumentPort({"HALVEN USB MIDI 1", "HALVEN USB MIDI 2"}), -1);
  EXPECT_EQ(SoleInstrumentPort({"Midi Through Port-0", "USB MIDI Interface"}), -1);
  EXPECT_EQ(SoleInstrumentPort({"halven usb midi 1", "My HALVEN USB"}), -1);
  EXPECT_EQ(SoleInstrumentPort({}), -1);
}

}  // namespace
}  // namespace velda
