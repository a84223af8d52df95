// Start-up against the MIDI ports as the user meets it: default ports missing, held by another
// program or present; the delay before the installation begins; the All bar of a very long
// script; and the ports let go when the window closes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "midi/midi_ctrl.h"
#include "midi/midi_in_port.h"
#include "shell/texts.h"
#include "support/rig.h"
#include "support/scenario_util.h"

namespace velda::test {
namespace {

void ExpectQuestionsAnswered(const std::vector<CBoxRecord>& boxes) {
  ASSERT_GE(boxes.size(), 4u);
  const char* aQuestions[] = {TXT_QUESTION_1, TXT_QUESTION_2, TXT_QUESTION_3, TXT_QUESTION_4};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(boxes[i].strText, aQuestions[i]);
    EXPECT_EQ(boxes[i].nAnswer, fw::IDOK);
  }
}

// The state the user finds after a start whose default ports did not both open: one box, then
// "MIDI Error." with MIDI Port and Close enabled, and nothing started.
void ExpectPortError(CTestRig& rig) {
  const auto boxes = rig.View().Boxes();
  ExpectQuestionsAnswered(boxes);
  ASSERT_EQ(BoxesWith(rig, TXT_CANT_OPEN_DEFAULT).size(), 1u);
  const CBoxRecord& box = boxes.back();
  EXPECT_EQ(box.strText, TXT_CANT_OPEN_DEFAULT);
  // Shown without an icon of its own: the framework gives it the exclamation.
  EXPECT_EQ(box.uType, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  EXPECT_EQ(box.strCaption, TXT_APP_TITLE);
  EXPECT_EQ(box.nShownAt, 5000u);  // after the 5 s pause that follows the opens
  EXPECT_EQ(rig.View().StatusHistory(), std::vector<std::string>{TXT_STATUS_MIDI_ERROR});
  EXPECT_TRUE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_TRUE(rig.View().IsEnabled(fw::IDOK));
  EXPECT_TRUE(rig.View().IsMainShown());
  EXPECT_FALSE(rig.Loop().IsTimerRunning(rig.View().MainWindow(), IDT_START));
  EXPECT_EQ(rig.CountCommand(ID_STEP_BEGIN), 0u);
  EXPECT_EQ(rig.CountCommand(ID_STEP_START_INSTALL), 0u);
  EXPECT_EQ(rig.CountCommand(ID_STEP_SEND_INQUIRY), 0u);
  EXPECT_TRUE(rig.Trace().Of('>').empty());
  ASSERT_NE(rig.Dlg(), nullptr);
  EXPECT_FALSE(rig.Dlg()->m_bMidiOk);
}

TEST(StartupPorts, BothDefaultPortsMissingShowOneBoxThenWaitForTheUser) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  rig.View().SetDefaultAnswer(fw::IDOK);
  // With no timer running the program has nothing left to do: it waits for the user.
  rig.RunUntil([] { return false; }, 600'000);
  ASSERT_FALSE(rig.Ended());
  ExpectPortError(rig);
  EXPECT_EQ(rig.View().Boxes().size(), 5u);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), -1);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), -1);

  rig.Click(fw::IDOK);  // Close
  ASSERT_TRUE(rig.RunToEnd(10'000));
  const auto events = rig.View().Events();
  EXPECT_NE(std::find(events.begin(), events.end(), "window 102 destroyed"), events.end());
  EXPECT_EQ(rig.View().Boxes().size(), 5u);  // no question on the way out
}

struct COnePort {
  const char* pszName;
  const char* pszIn;   // name of the one input device, or null for none
  const char* pszOut;  // name of the one output device, or null for none
  bool bInOpens;       // the input bears the default name exactly
  bool bOutOpens;
};

class StartupOnePort : public ::testing::TestWithParam<COnePort> {};

TEST_P(StartupOnePort, IsTheSameFailureAsNoneAndLeavesTheOtherOpen) {
  const COnePort& p = GetParam();
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  const int nIn = p.pszIn != nullptr ? rig.Driver().AddInDevice(p.pszIn) : -1;
  const int nOut = p.pszOut != nullptr ? rig.Driver().AddOutDevice(p.pszOut) : -1;
  rig.View().SetDefaultAnswer(fw::IDOK);
  rig.RunUntil([] { return false; }, 600'000);
  ASSERT_FALSE(rig.Ended());
  ExpectPortError(rig);
  EXPECT_EQ(rig.View().Boxes().size(), 5u);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), p.bInOpens ? 0 : -1);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), p.bOutOpens ? 0 : -1);
  if (nIn >= 0) {
    EXPECT_EQ(rig.Driver().IsInOpen(nIn), p.bInOpens);
  }
  if (nOut >= 0) {
    EXPECT_EQ(rig.Driver().IsOutOpen(nOut), p.bOutOpens);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ports, StartupOnePort,
    ::testing::Values(COnePort{"InputOnly", DEFAULT_IN_PORT, nullptr, true, false},
                      COnePort{"OutputOnly", nullptr, DEFAULT_OUT_PORT, false, true},
                      // The names are compared exactly: case and a trailing blank count.
                      COnePort{"OutputNamedInSmallLetters", DEFAULT_IN_PORT, "halven usb out 0-1", true, false},
                      COnePort{"InputNameWithTrailingBlank", "HALVEN USB IN 0-1 ", DEFAULT_OUT_PORT, false, true}),
    [](const ::testing::TestParamInfo<COnePort>& tpi) { return std::string(tpi.param.pszName); });

TEST(StartupPorts, AnInputHeldByAnotherProgramIsReportedOnceThenTheStartFails) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  CVirtualInOptions held;
  held.bHeldElsewhere = true;
  const int nIn = rig.Driver().AddInDevice(DEFAULT_IN_PORT, held);
  const int nOut = rig.Driver().AddOutDevice(DEFAULT_OUT_PORT);
  rig.View().SetDefaultAnswer(fw::IDOK);
  rig.RunUntil([] { return false; }, 600'000);
  ASSERT_FALSE(rig.Ended());

  const auto boxes = rig.View().Boxes();
  ASSERT_EQ(boxes.size(), 6u);
  const auto allocated = BoxesWith(rig, TXT_MIDI_IN_ALLOCATED);
  ASSERT_EQ(allocated.size(), 1u);
  EXPECT_EQ(boxes[4].strText, TXT_MIDI_IN_ALLOCATED);
  EXPECT_EQ(boxes[4].uType, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  EXPECT_EQ(boxes[4].nShownAt, 0u);  // during the open, before the 5 s pause
  EXPECT_EQ(boxes[5].strText, TXT_CANT_OPEN_DEFAULT);
  ExpectPortError(rig);
  EXPECT_FALSE(rig.Driver().IsInOpen(nIn));
  EXPECT_TRUE(rig.Driver().IsOutOpen(nOut));
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), -1);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), 0);
}

TEST(StartupPorts, AConfirmedStartBeginsSixAndAHalfSecondsAfterTheLastAnswer) {
  CTestRig rig;
  for (int i = 0; i < 4; ++i) rig.View().QueueAnswer(fw::IDOK, 1000);  // the user reads each for 1 s

  ASSERT_TRUE(rig.RunUntil([&] { return rig.View().Status() == TXT_STATUS_CHANGE_MODE; }, 60'000));
  const auto boxes = rig.View().Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  ExpectQuestionsAnswered(boxes);
  const std::uint64_t tAnswered = boxes[3].nClosedAt;
  EXPECT_EQ(tAnswered, 4000u);
  // The ports are open, the 5 s pause is over and the start delay runs.
  EXPECT_EQ(rig.Now(), tAnswered + 5000);
  EXPECT_TRUE(rig.Loop().IsTimerRunning(rig.View().MainWindow(), IDT_START));
  EXPECT_TRUE(rig.Driver().IsInOpen(rig.InstrumentInDevice()));
  EXPECT_TRUE(rig.Driver().IsOutOpen(rig.InstrumentOutDevice()));
  EXPECT_FALSE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_FALSE(rig.View().IsEnabled(fw::IDOK));
  EXPECT_TRUE(rig.Trace().Of('>').empty());

  ASSERT_TRUE(rig.RunUntil([&] { return rig.View().Status() == TXT_STATUS_START; }, 60'000));
  EXPECT_EQ(rig.CommandTimes(ID_STEP_BEGIN), std::vector<std::uint64_t>{tAnswered + 6500});
  const auto sent = rig.Trace().Timed('>');
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0].first, tAnswered + 6500);
  EXPECT_EQ(sent[0].second, (std::vector<std::uint8_t>{0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x02, 0xF7}));
  const std::vector<std::string> status{TXT_STATUS_CHANGE_MODE, TXT_STATUS_START};
  EXPECT_EQ(rig.View().StatusHistory(), status);
  EXPECT_FALSE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_FALSE(rig.View().IsEnabled(fw::IDOK));
  EXPECT_EQ(rig.View().Boxes().size(), 4u);
}

TEST(StartupPorts, AScriptLongerThan65535BytesFillsTheAllBarEarlyAndKeepsItFull) {
  // 1056 lines of 64 bytes: 67584 bytes, whose low 16 bits are 2048. Each line is one
  // unrecognised keyword, passed over, so the bar moves once per line.
  constexpr std::size_t kLines = 1056;
  constexpr std::size_t kLineLen = 64;
  std::string strScript;
  for (std::size_t i = 0; i < kLines; ++i) strScript += std::string(kLineLen - 2, 'Q') + "\r\n";
  ASSERT_EQ(strScript.size(), 67584u);
  constexpr int kMax = 67584 & 0xFFFF;

  CTestRig rig;
  rig.SetPackage(MakePackage(strScript, {}));
  for (int i = 0; i < 4; ++i) rig.View().QueueAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_COMPLETED).empty(); }, 600'000));

  const fw::CProgressState all = rig.View().Progress(IDC_PROGRESS_ALL);
  EXPECT_EQ(all.nLower, 1);
  EXPECT_EQ(all.nUpper, kMax);
  EXPECT_EQ(all.nPos, kMax);

  // The bar followed the cursor line by line for the first 2048 bytes, then stayed full while
  // every later line was read.
  std::vector<std::string> want{"1 " + std::to_string(kMax) + " 1"};
  for (int nPos = static_cast<int>(kLineLen); nPos <= kMax; nPos += static_cast<int>(kLineLen)) {
    want.push_back("1 " + std::to_string(kMax) + " " + std::to_string(nPos));
  }
  EXPECT_EQ(BarEvents(rig, IDC_PROGRESS_ALL), want);
  EXPECT_EQ(rig.CountCommand(ID_STEP_SHOW_ALL_PROGRESS), kLines);
  EXPECT_EQ(rig.CountCommand(ID_STEP_INIT_ALL_PROGRESS), 1u);
  EXPECT_TRUE(BoxesWith(rig, TXT_SCRIPT_ERROR).empty());

  rig.AnswerBox(fw::IDOK);
  EXPECT_TRUE(rig.RunToEnd(60'000));
}

// A completed installation: the ports are open while the completion box shows and let go when
// the window closes.
TEST(StartupPorts, ThePortsAreClosedWhenTheWindowCloses) {
  CTestRig rig;
  rig.SetPackage(MakePackage("SET_UPDATE_MODE_OFF\r\n", {}));
  for (int i = 0; i < 4; ++i) rig.View().QueueAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_COMPLETED).empty(); }, 600'000));
  const int nIn = rig.InstrumentInDevice();
  const int nOut = rig.InstrumentOutDevice();
  EXPECT_TRUE(rig.Driver().IsInOpen(nIn));
  EXPECT_TRUE(rig.Driver().IsOutOpen(nOut));

  rig.AnswerBox(fw::IDOK);
  ASSERT_TRUE(rig.RunToEnd(60'000));
  EXPECT_FALSE(rig.Driver().IsInOpen(nIn));
  EXPECT_FALSE(rig.Driver().IsOutOpen(nOut));
  EXPECT_EQ(rig.Driver().OpenInHandles(), 0u);
  EXPECT_EQ(rig.Driver().OpenOutHandles(), 0u);
}

// The title bar's close box in the middle of a run ends the program at once, and the ports go
// with the window.
TEST(StartupPorts, ClosingDuringARunEndsAtOnceAndClosesThePorts) {
  CRigOptions opt;
  opt.instrument.faultPlan.aRules.push_back(
      CFaultRule{EInstrumentFault::NoReply, EInstrumentRequest::Inquiry, 1, 1000});
  CTestRig rig(opt);
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.CountCommand(ID_STEP_WAIT_TICK) >= 3; }, 60'000));
  const int nIn = rig.InstrumentInDevice();
  const int nOut = rig.InstrumentOutDevice();
  EXPECT_TRUE(rig.Driver().IsInOpen(nIn));
  EXPECT_TRUE(rig.Driver().IsOutOpen(nOut));
  const std::uint64_t tClose = rig.Now();

  rig.CloseBox();
  ASSERT_TRUE(rig.RunToEnd(60'000));
  EXPECT_EQ(rig.View().Boxes().size(), 4u);  // no question, no time-out
  EXPECT_FALSE(rig.Driver().IsInOpen(nIn));
  EXPECT_FALSE(rig.Driver().IsOutOpen(nOut));
  EXPECT_EQ(rig.Driver().OpenInHandles(), 0u);
  EXPECT_EQ(rig.Driver().OpenOutHandles(), 0u);
  // Nothing more was sent once the window was closed.
  for (const auto& [t, msg] : rig.Trace().Timed('>')) EXPECT_LE(t, tClose);
}

}  // namespace
}  // namespace velda::test
