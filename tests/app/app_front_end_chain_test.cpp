// The front ends the program puts in front of the window's: the outcome tap and --yes for the
// GUI, around a whole run of the installer in virtual time (the recording view stands for the
// window and answers nothing itself).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "front_end_chain.h"
#include "fw/msgloop.h"
#include "midi/driver/midi_driver.h"
#include "shell/installer_app.h"
#include "shell/texts.h"
#include "support/temp_folder.h"
#include "ui/scripted/scripted_view.h"

namespace velda::app {
namespace {

namespace fs = std::filesystem;

class AppFrontEndChain : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_folder.IsMade());
    SetMidiDriver(nullptr);  // no MIDI at all: the default ports do not open
  }

  test::CTempFolder m_folder{"velda-chain"};
};

TEST_F(AppFrontEndChain, YesAnswersEveryBoxAndClosesAfterThePortError) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Virtual);
  CScriptedView window(loop);
  CInstallerApp app(loop);
  app.SetLockFolder(m_folder.Str());
  CAutoYes yes(loop, &window);
  std::vector<EOutcome> aSeen;
  COutcomeTap tap(
      app,
      [&](EOutcome e) {
        aSeen.push_back(e);
        yes.OnOutcome(e);
      },
      &yes);
  loop.SetFrontEnd(&tap);
  loop.SetIdleHook([&](std::uint64_t) { yes.OnIdle(); });

  app.InitInstance();

  EXPECT_FALSE(loop.IsAborted());  // it ended by Close, not by running out of things to do
  EXPECT_EQ(tap.LastOutcome(), EOutcome::PortError);
  EXPECT_EQ(aSeen, (std::vector<EOutcome>{EOutcome::PortError}));
  const std::vector<CBoxRecord> aBoxes = window.Boxes();
  ASSERT_EQ(aBoxes.size(), 5u);
  EXPECT_EQ(aBoxes[0].strText, TXT_QUESTION_1);
  EXPECT_EQ(aBoxes[4].strText, TXT_CANT_OPEN_DEFAULT);
  for (const CBoxRecord& b : aBoxes) EXPECT_EQ(b.nAnswer, fw::IDOK) << b.strText;
  EXPECT_EQ(window.StatusHistory(), (std::vector<std::string>{TXT_STATUS_MIDI_ERROR}));
  loop.SetIdleHook(nullptr);
  loop.SetFrontEnd(nullptr);
}

TEST_F(AppFrontEndChain, TapFollowsACancelledStart) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Virtual);
  CScriptedView window(loop);
  window.QueueAnswer(fw::IDCANCEL);  // the user cancels the first question
  CInstallerApp app(loop);
  app.SetLockFolder(m_folder.Str());
  COutcomeTap tap(app, nullptr, &window);
  loop.SetFrontEnd(&tap);

  app.InitInstance();

  EXPECT_EQ(tap.LastOutcome(), EOutcome::Cancelled);
  ASSERT_EQ(window.Boxes().size(), 1u);
  EXPECT_EQ(window.Boxes()[0].nAnswer, fw::IDCANCEL);
  EXPECT_FALSE(window.IsMainShown());  // the window went by itself
  loop.SetFrontEnd(nullptr);
}

}  // namespace
}  // namespace velda::app
