// A session recorded with --trace, faults and all, replayed by the instrument from the recording:
// the installer sends the same requests, sees the same replies and ends the same way. A replay
// that goes another way says where.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "instrument/replay_script.h"
#include "shell/texts.h"
#include "support/fault_run.h"
#include "support/scenario_util.h"

namespace velda::test {
namespace {

using R = EInstrumentRequest;
using F = EInstrumentFault;

std::vector<std::string> Wire(const CEnding& ending) {
  std::vector<std::string> a;
  for (const std::string& str : ending.aTrace) {
    if (str.find(" > ") != std::string::npos || str.find(" < ") != std::string::npos) a.push_back(str);
  }
  return a;
}

// Where two wires part: the index of the first line that differs ("" when none), with both lines
// cut short.
std::string FirstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const std::string strA = i < a.size() ? a[i].substr(0, 80) : "(none)";
    const std::string strB = i < b.size() ? b[i].substr(0, 80) : "(none)";
    if (i >= a.size() || i >= b.size() || a[i] != b[i]) {
      std::string str = std::to_string(i);
      str += ": ";
      str += strA;
      str += " | ";
      str += strB;
      return str;
    }
  }
  return "";
}

std::shared_ptr<const CReplayScript> ScriptOf(const CEnding& recorded) {
  std::string strText;
  for (const std::string& str : recorded.aTrace) strText += str + "\n";
  auto pScript = std::make_shared<CReplayScript>();
  std::string strError;
  EXPECT_TRUE(ParseReplayTrace(strText, *pScript, strError)) << strError;
  return pScript;
}

struct CRecording {
  const char* pszName;
  std::vector<CFaultRule> aRules;
  EOutcome eOutcome;
};

class Replay : public ::testing::TestWithParam<CRecording> {};

TEST_P(Replay, ReplaysToTheSameEnding) {
  CFaultPlan plan;
  plan.nLateMs = 5'000;
  plan.aRules = GetParam().aRules;
  const CEnding recorded = RunInstallation(plan);
  ASSERT_EQ(recorded.eOutcome, GetParam().eOutcome) << recorded.strBox;

  CInstrumentConfig config;
  config.pReplay = ScriptOf(recorded);
  const CEnding replayed = RunInstallation(config);
  EXPECT_EQ(replayed.strReplayMismatch, "");
  EXPECT_EQ(replayed.eOutcome, recorded.eOutcome);
  EXPECT_EQ(replayed.strBox, recorded.strBox);
  EXPECT_EQ(FirstDifference(Wire(replayed), Wire(recorded)), "");
  EXPECT_GT(Wire(recorded).size(), 20u);
}

const CRecording kRecordings[] = {
    {"CompletedThroughFaults",
     {Fault(F::Status02, R::DataPacket, 3, 2), Fault(F::SplitReply, R::SetDevice, 2),
      Fault(F::DoubleReply, R::BlockChecksum, 1), Fault(F::LateReply, R::AreaCheck, 1),
      Fault(F::NoReply, R::Inquiry, 1)},
     EOutcome::Completed},
    {"Refused", {Fault(F::CorruptReply, R::BlockStart, 2)}, EOutcome::Refused},
    {"TimedOut", {Fault(F::SplitReply, R::DataPacket, 2), Fault(F::NoReply, R::WriteBlock, 3)}, EOutcome::TimedOut},
    {"FifthSendRefused", {Fault(F::Status02, R::DataPacket, 6, 4)}, EOutcome::Refused},
};

INSTANTIATE_TEST_SUITE_P(Recordings, Replay, ::testing::ValuesIn(kRecordings),
                         [](const ::testing::TestParamInfo<CRecording>& param) { return param.param.pszName; });

TEST(ReplayMismatch, SaysWhichRequestDiffersAndTheUserIsTold) {
  const CEnding recorded = RunInstallation(CFaultPlan{});
  // The recording's fifth request had other bytes than the installer now sends.
  auto pScript = std::make_shared<CReplayScript>(*ScriptOf(recorded));
  CReplayExchange& changed = pScript->aExchanges.at(4);
  const std::vector<std::uint8_t> aSent = changed.aRequest;
  changed.aRequest.at(changed.aRequest.size() - 2) ^= 1;
  CInstrumentConfig config;
  config.pReplay = pScript;
  const CEnding replayed = RunInstallation(config);
  EXPECT_EQ(replayed.strReplayMismatch, "replay: request 5 differs from the recording (trace line " +
                                            std::to_string(changed.nLine) + "): expected " +
                                            TraceBytesText(changed.aRequest) + ", got " + TraceBytesText(aSent));
  EXPECT_EQ(replayed.strBox, TXT_TIME_OUT);
  EXPECT_EQ(replayed.eOutcome, EOutcome::TimedOut);
}

TEST(ReplayScript, ReadsTheTraceFormatAndNamesABadLine) {
  CReplayScript script;
  std::string strError;
  ASSERT_TRUE(ParseReplayTrace(
      "0 < F0 01 F7\n10 > F0 02 F7\n12 # note\n15 < F0 03 F7\r\n\n40 < F0 04 F7\n50 > F0 05 F7\n", script, strError));
  ASSERT_EQ(script.aLeading.size(), 1u);
  ASSERT_EQ(script.aExchanges.size(), 2u);
  EXPECT_EQ(script.aExchanges[0].nLine, 2u);
  ASSERT_EQ(script.aExchanges[0].aReplies.size(), 2u);
  EXPECT_EQ(script.aExchanges[0].aReplies[0].nDelayMs, 5u);
  EXPECT_EQ(script.aExchanges[0].aReplies[1].nDelayMs, 30u);
  EXPECT_EQ(TraceBytesText(script.aExchanges[1].aRequest), "F0 05 F7");
  EXPECT_FALSE(ParseReplayTrace("0 > F0 01 F7\n5 > F0 0G F7\n", script, strError));
  EXPECT_EQ(strError, "trace line 2: expected '>' or '<' and hex bytes");
  EXPECT_FALSE(ParseReplayTrace("x > F0\n", script, strError));
  EXPECT_EQ(strError, "trace line 1: expected '<ms> <direction> <payload>'");
}

}  // namespace
}  // namespace velda::test
