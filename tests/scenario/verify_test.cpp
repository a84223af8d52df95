// --verify: the ranges written are read back with area requests of at most 4096 bytes before
// update mode ends (or at the end of a script that never ends it), and only the read-back finds a
// byte the instrument spoils silently after answering its block checksum as correct.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "instrument/reply_encoder.h"
#include "instrument/request_decoder.h"
#include "protocol/area_reply.h"
#include "protocol/read_back.h"
#include "shell/texts.h"
#include "support/rig.h"
#include "support/scenario_util.h"
#include "support/sent_requests.h"

namespace velda::test {
namespace {

using V = std::vector<std::uint8_t>;

const V kMain = Pattern(0x2400, 7);
const V kSub = Pattern(0x300, 8);

// Two devices; device 2's data comes last, so the read-back selects device 1 and then 2 again.
std::string TwoDeviceScript(bool bModeOff) {
  std::vector<std::string> a = {"SET_UPDATE_MODE_ON",          "SET_UPDATE_DEVICE,1,MAIN", "OPEN_DATA_FILE,0,main.bin",
                                "UPDATE_DEVICE,100000,1000,0", "SET_UPDATE_DEVICE,2,SUB",  "OPEN_DATA_FILE,1,sub.bin",
                                "UPDATE_BLOCK,40,300,1,0"};
  if (bModeOff) a.emplace_back("SET_UPDATE_MODE_OFF");
  return Script(a);
}

struct CVerifyCase {
  const char* pszName;
  bool bVerify;
  bool bModeOff;
  bool bSpoil;  // the second block checksum's block gets one byte spoiled silently
  EOutcome eOutcome;
};

class Verify : public ::testing::TestWithParam<CVerifyCase> {};

TEST_P(Verify, OnlyTheReadBackFindsASilentlySpoiledByte) {
  const CVerifyCase& c = GetParam();
  CRigOptions opt;
  opt.instrument.bRestartOnModeOn = false;
  if (c.bSpoil) {
    opt.instrument.faultPlan.aRules.push_back(
        Fault(EInstrumentFault::SpoilStored, EInstrumentRequest::BlockChecksum, 2));
  }
  CTestRig rig(opt);
  rig.App().SetVerify(c.bVerify);
  rig.SetPackage(MakePackage(TwoDeviceScript(c.bModeOff), {{"main.bin", kMain}, {"sub.bin", kSub}}));
  rig.View().SetDefaultAnswer(fw::IDOK);
  EOutcome eOutcome = EOutcome::None;
  bool bHooked = false;
  rig.RunUntil([&] {
    if (!bHooked && rig.Dlg() != nullptr) {
      rig.Dlg()->SetOutcomeObserver([&eOutcome](EOutcome e) { eOutcome = e; });
      bHooked = true;
    }
    return false;
  });
  ASSERT_TRUE(rig.Ended());
  EXPECT_EQ(eOutcome, c.eOutcome);
  EXPECT_EQ(ExitCodeOf(eOutcome), c.eOutcome == EOutcome::VerifyFailed ? EXIT_VERIFY_FAILED : EXIT_COMPLETED);

  const std::vector<CBoxRecord> boxes = rig.View().Boxes();
  ASSERT_FALSE(boxes.empty());
  const std::vector<std::vector<std::uint8_t>> sent = rig.Sent();
  const auto areas = MessagesOf(sent, EInstrumentRequest::AreaCheck);
  if (!c.bVerify) {
    EXPECT_EQ(boxes.back().strText, TXT_COMPLETED);
    EXPECT_TRUE(areas.empty());
    return;
  }
  const auto statuses = rig.View().StatusHistory();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), std::string(TXT_READ_BACK)), statuses.end());
  const auto notes = rig.Trace().Of('#');
  EXPECT_NE(std::find(notes.begin(), notes.end(), "verify: reading back 9984 bytes in 2 ranges"), notes.end());

  if (c.eOutcome == EOutcome::VerifyFailed) {
    // The second block of main.bin (device 1 from 101000) lost its middle byte.
    const std::uint8_t nWant = kMain[0x1800];
    char szWant[64];
    std::snprintf(szWant, sizeof szWant, "holds %02X, but entry \"main.bin\" has %02X there (offset 00001800).",
                  static_cast<unsigned>(static_cast<std::uint8_t>(~nWant)), static_cast<unsigned>(nWant));
    EXPECT_EQ(boxes.back().strText,
              std::string("Verify Error.\r\nDevice 1, address 00101800: the instrument ") + szWant);
    EXPECT_EQ(boxes.back().uType, fw::MB_OK | fw::MB_ICONSTOP);
    EXPECT_TRUE(BoxesWith(rig, TXT_COMPLETED).empty());
    EXPECT_TRUE(MessagesOf(sent, EInstrumentRequest::ModeOff).empty());
    return;
  }
  EXPECT_EQ(boxes.back().strText, TXT_COMPLETED);
  // Every byte written, read back in requests of at most 4096 bytes, device by device, before
  // update mode ends; then the script's device is selected again.
  std::uint32_t nTotal = 0;
  for (const auto& msg : areas) {
    const auto check = sim::DecodeAreaCheck(msg.data(), msg.size());
    ASSERT_TRUE(check.has_value());
    EXPECT_LE(check->nLength, 4096u);
    nTotal += check->nLength;
  }
  EXPECT_EQ(nTotal, 0x2400u + 0x300u);
  std::vector<int> aDevices;
  for (const auto& msg : MessagesOf(sent, EInstrumentRequest::SetDevice)) {
    aDevices.push_back(*sim::DecodeSetDevice(msg.data(), msg.size()));
  }
  EXPECT_EQ(aDevices, (std::vector<int>{1, 2, 1, 2}));
  const auto kinds = KindsOf(sent);
  const auto itLastArea = std::find(kinds.rbegin(), kinds.rend(), EInstrumentRequest::AreaCheck);
  const auto itModeOff = std::find(kinds.rbegin(), kinds.rend(), EInstrumentRequest::ModeOff);
  EXPECT_EQ(itModeOff != kinds.rend(), c.bModeOff);
  if (c.bModeOff) {
    EXPECT_LT(itModeOff - kinds.rbegin(), itLastArea - kinds.rbegin());
  }
  const auto bars = BarEvents(rig, IDC_PROGRESS_DATA);
  EXPECT_NE(std::find(bars.begin(), bars.end(), "0 9985 9984"), bars.end()) << ::testing::PrintToString(bars);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Verify,
    ::testing::Values(CVerifyCase{"HealthyBeforeModeOff", true, true, false, EOutcome::Completed},
                      CVerifyCase{"HealthyAtTheScriptsEnd", true, false, false, EOutcome::Completed},
                      CVerifyCase{"SpoiledByteFound", true, true, true, EOutcome::VerifyFailed},
                      CVerifyCase{"SpoiledByteUnseenWithoutVerify", false, true, true, EOutcome::Completed}),
    [](const ::testing::TestParamInfo<CVerifyCase>& i) { return std::string(i.param.pszName); });

// The edges of a chunk: its last byte spoiled, or its reply one byte short, is found as surely as
// a byte in the middle.
struct CEdgeCase {
  const char* pszName;
  std::uint8_t nDevice;
  std::uint32_t nAddress;  // the byte the box names
  const char* pszEntry;
  std::uint32_t nOffset;  // its offset in that entry
  bool bShortReply;       // the first area reply carries one byte fewer than asked; else spoiled
};

class VerifyEdge : public ::testing::TestWithParam<CEdgeCase> {};

TEST_P(VerifyEdge, TheLastByteOfAReadBackChunkIsCompared) {
  const CEdgeCase& c = GetParam();
  CRigOptions opt;
  opt.instrument.bRestartOnModeOn = false;
  bool bCut = false;  // outlives the rig: the instrument's thread reads it until the rig is gone
  CTestRig rig(opt);
  rig.App().SetVerify(true);
  rig.SetPackage(MakePackage(TwoDeviceScript(true), {{"main.bin", kMain}, {"sub.bin", kSub}}));
  rig.View().SetDefaultAnswer(fw::IDOK);
  const V& aEntry = std::string(c.pszEntry) == "main.bin" ? kMain : kSub;
  const std::uint8_t nWant = aEntry[c.nOffset];
  if (c.bShortReply) {
    rig.InstrumentLink().SetDeliveryShape([&bCut](V a) {
      std::vector<V> aParts;
      if (!bCut && a.size() > 8 && a[5] == 0x03 && a[6] == 0x41) {
        bCut = true;
        V aData(READ_BACK_CHUNK);
        const std::size_t n = DecodeAreaReply(a.data(), a.size(), aData.data(), aData.size()).nBytes;
        a = sim::AreaReply(aData.data(), n - 1);
      }
      aParts.push_back(std::move(a));
      return aParts;
    });
  }
  bool bSpoiled = c.bShortReply;
  rig.RunUntil([&] {
    const auto& stats = rig.Instrument().Stats();
    if (!bSpoiled && stats.Received(EInstrumentRequest::BlockChecksum) == 4 &&
        stats.Received(EInstrumentRequest::AreaCheck) == 0) {
      const auto nSpoilt = static_cast<std::uint8_t>(~nWant);
      rig.Instrument().Memory().Device(c.nDevice).Write(c.nAddress, &nSpoilt, 1);
      bSpoiled = true;
    }
    return false;
  });
  ASSERT_TRUE(rig.Ended());
  ASSERT_TRUE(bSpoiled);
  char szWant[160];
  if (c.bShortReply) {
    std::snprintf(szWant, sizeof szWant, "did not send this byte back, but entry \"%s\" has %02X there (offset %08X).",
                  c.pszEntry, static_cast<unsigned>(nWant), static_cast<unsigned>(c.nOffset));
  } else {
    std::snprintf(szWant, sizeof szWant, "holds %02X, but entry \"%s\" has %02X there (offset %08X).",
                  static_cast<unsigned>(static_cast<std::uint8_t>(~nWant)), c.pszEntry, static_cast<unsigned>(nWant),
                  static_cast<unsigned>(c.nOffset));
  }
  char szWhere[64];
  std::snprintf(szWhere, sizeof szWhere, "Device %d, address %08X: the instrument ", c.nDevice,
                static_cast<unsigned>(c.nAddress));
  EXPECT_EQ(rig.View().Boxes().back().strText, std::string("Verify Error.\r\n") + szWhere + szWant);
  EXPECT_TRUE(BoxesWith(rig, TXT_COMPLETED).empty());
}

INSTANTIATE_TEST_SUITE_P(Chunks, VerifyEdge,
                         ::testing::Values(CEdgeCase{"LastByteOfTheFirstChunk", 1, 0x100FFF, "main.bin", 0xFFF, false},
                                           CEdgeCase{"LastByteOfTheLastRange", 2, 0x40 + 0x2FF, "sub.bin", 0x2FF,
                                                     false},
                                           CEdgeCase{"AreaReplyOneByteShort", 1, 0x100FFF, "main.bin", 0xFFF, true}),
                         [](const ::testing::TestParamInfo<CEdgeCase>& i) { return std::string(i.param.pszName); });

}  // namespace
}  // namespace velda::test
