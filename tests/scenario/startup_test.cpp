// Start-up as the user meets it: the single copy, the four questions, the start delay and the
// chain from the begin step to the first request.
#include <gtest/gtest.h>

#include "fw/kernel.h"
#include "shell/texts.h"
#include "support/rig.h"

namespace velda::test {
namespace {

std::vector<fw::UINT> CommandIds(const CTestRig& rig) {
  std::vector<fw::UINT> ids;
  // The MIDI input's status notifications come and go with the ports; they change nothing.
  for (const auto& [t, id] : rig.Commands()) {
    if (id != ID_MIDI_IN_STATUS) ids.push_back(id);
  }
  return ids;
}

TEST(Startup, ConfirmedStartRunsTheChainToTheInquiry) {
  CTestRig rig;
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.SawCommand(ID_STEP_SEND_INQUIRY); }, 60'000));

  const auto boxes = rig.View().Boxes();
  ASSERT_GE(boxes.size(), 4u);
  const char* aQuestions[] = {TXT_QUESTION_1, TXT_QUESTION_2, TXT_QUESTION_3, TXT_QUESTION_4};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(boxes[i].strText, aQuestions[i]);
    EXPECT_EQ(boxes[i].uType, fw::MB_OKCANCEL | fw::MB_ICONINFORMATION);
    EXPECT_EQ(boxes[i].strCaption, TXT_APP_TITLE);
    EXPECT_EQ(boxes[i].nAnswer, fw::IDOK);
  }
  EXPECT_EQ(std::string(TXT_QUESTION_3).substr(std::string(TXT_QUESTION_3).size() - 2), "  ");

  // 5 s pause after the ports, then 1.5 s of start delay.
  const auto cmds = rig.Commands();
  std::uint64_t tBegin = 0;
  for (const auto& [t, id] : cmds) {
    if (id == ID_STEP_BEGIN) tBegin = t;
  }
  EXPECT_EQ(tBegin, 6500u);
  // The inquiry is sent, marked, and its wait armed: the tick stopped, then started again.
  const std::vector<fw::UINT> want{ID_STEP_BEGIN,        ID_STEP_START_INSTALL,   ID_STEP_SEND_INQUIRY,
                                   ID_MARK_INQUIRY_SENT, ID_STEP_STOP_WAIT_TIMER, ID_STEP_START_WAIT_TIMER};
  auto ids = CommandIds(rig);
  ASSERT_GE(ids.size(), want.size());
  ids.resize(want.size());
  EXPECT_EQ(ids, want);
  const std::vector<std::string> status{TXT_STATUS_CHANGE_MODE, TXT_STATUS_START};
  EXPECT_EQ(rig.View().StatusHistory(), status);
  EXPECT_EQ(rig.View().Status(), TXT_STATUS_START);
  EXPECT_FALSE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_FALSE(rig.View().IsEnabled(fw::IDOK));
  EXPECT_TRUE(rig.View().IsMainShown());
  ASSERT_NE(rig.Dlg(), nullptr);
  EXPECT_EQ(rig.Dlg()->m_bAcceptReplies, 1);
  EXPECT_NE(rig.Dlg()->m_pRxBuf, nullptr);
  EXPECT_EQ(rig.Dlg()->m_strKeyword, fw::CString(DEFAULT_KEYWORD));
  EXPECT_EQ(rig.Dlg()->m_bEndAfterInstall, 1);
}

TEST(Startup, CancelAtTheSecondQuestionClosesTheWindowByItself) {
  CTestRig rig;
  rig.View().QueueAnswer(fw::IDOK);
  rig.View().QueueAnswer(fw::IDCANCEL);
  ASSERT_TRUE(rig.RunToEnd(60'000));
  const auto boxes = rig.View().Boxes();
  ASSERT_EQ(boxes.size(), 2u);  // no third question
  EXPECT_EQ(boxes[1].strText, TXT_QUESTION_2);
  // The window showed with an empty status box and disabled buttons, and went 10 ms later.
  EXPECT_TRUE(rig.View().StatusHistory().empty());
  const std::vector<fw::UINT> want{ID_STEP_BEGIN};
  EXPECT_EQ(CommandIds(rig), want);
  EXPECT_EQ(rig.Commands()[0].first, 10u);
  const auto events = rig.View().Events();
  EXPECT_NE(std::find(events.begin(), events.end(), "window 102 shown"), events.end());
  EXPECT_NE(std::find(events.begin(), events.end(), "window 102 destroyed"), events.end());
}

TEST(Startup, SecondCopyEndsAtOnceWithoutAWord) {
  CTestRig rig;
  fw::CSingleInstanceLock other;
  ASSERT_EQ(other.Acquire(INSTANCE_LOCK_NAME, rig.Folder().string()), fw::ELock::Ok);
  ASSERT_TRUE(rig.RunToEnd(1000));
  EXPECT_TRUE(rig.App().WasSecondCopy());
  EXPECT_TRUE(rig.View().Events().empty());
  EXPECT_EQ(rig.Now(), 0u);
}

}  // namespace
}  // namespace velda::test
