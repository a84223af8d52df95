#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "midi/driver/rtmidi/port_names.h"

namespace velda::rtmidi {
namespace {

struct CNameCase {
  EMidiApi eApi;
  const char* pszPort;
  const char* pszProduct;
};

void PrintTo(const CNameCase& c, std::ostream* pOs) { *pOs << c.pszPort; }

class PortNames : public ::testing::TestWithParam<CNameCase> {};

TEST_P(PortNames, ProductNameOf_IsThePortsOwnNameCutTo31Bytes) {
  EXPECT_EQ(ProductNameOf(GetParam().eApi, GetParam().pszPort), GetParam().pszProduct);
}

INSTANTIATE_TEST_SUITE_P(
    Apis, PortNames,
    ::testing::Values(CNameCase{EMidiApi::Jack, "velda-sim:HALVEN USB IN 0-1", "HALVEN USB IN 0-1"},
                      CNameCase{EMidiApi::Jack, "velda-sim-01:HALVEN USB OUT 0-1", "HALVEN USB OUT 0-1"},
                      CNameCase{EMidiApi::Jack, "a2j:Midi Through [14] (capture): Port:0",
                                "Midi Through [14] (capture): Po"},
                      CNameCase{EMidiApi::Jack, "no-colon", "no-colon"},
                      CNameCase{EMidiApi::Alsa, "HALVEN USB:HALVEN USB IN 0-1 24:0", "HALVEN USB IN 0-1"},
                      CNameCase{EMidiApi::Alsa, "Midi Through:Midi Through Port-0 14:0", "Midi Through Port-0"},
                      CNameCase{EMidiApi::Alsa, "client:port name 1:x", "port name 1:x"}));

struct COwnCase {
  const char* pszPort;
  bool bOwn;
};

void PrintTo(const COwnCase& c, std::ostream* pOs) { *pOs << c.pszPort; }

class OwnClient : public ::testing::TestWithParam<COwnCase> {};

TEST_P(OwnClient, IsOwnClient_MatchesOurNameAndJacksRenames) {
  EXPECT_EQ(IsOwnClient(GetParam().pszPort, "velda-installer"), GetParam().bOwn);
}

INSTANTIATE_TEST_SUITE_P(Names, OwnClient,
                         ::testing::Values(COwnCase{"velda-installer:in", true},
                                           COwnCase{"velda-installer-01:out", true},
                                           COwnCase{"velda-installer-sim:x", false},
                                           COwnCase{"velda-sim:HALVEN USB IN 0-1", false},
                                           COwnCase{"velda-installer-:x", false}));

TEST(AlsaClient, AlsaClientOf_ReadsTheAddressAtTheEnd) {
  EXPECT_EQ(AlsaClientOf("HALVEN USB:HALVEN USB MIDI 1 24:0"), 24);
  EXPECT_EQ(AlsaClientOf("System:Announce 0:1"), 0);
  EXPECT_EQ(AlsaClientOf("velda-sim:HALVEN USB IN 0-1"), -1);  // a JACK name
  EXPECT_EQ(AlsaClientOf("client:port 99999999999:0"), -1);
  EXPECT_EQ(AlsaClientOf("client:port 1:x"), -1);
}

TEST(MidiApi, ParseMidiApi_TakesAlsaAndJackOnly) {
  EMidiApi e = EMidiApi::Alsa;
  EXPECT_TRUE(ParseMidiApi("jack", e));
  EXPECT_EQ(e, EMidiApi::Jack);
  EXPECT_TRUE(ParseMidiApi("alsa", e));
  EXPECT_EQ(e, EMidiApi::Alsa);
  EXPECT_FALSE(ParseMidiApi("JACK", e));
  EXPECT_STREQ(NameOf(EMidiApi::Jack), "jack");
}

}  // namespace
}  // namespace velda::rtmidi
