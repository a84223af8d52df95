// A small installation through the test rig, run under ThreadSanitizer too: the installer thread,
// the test thread's pauses and inspections, and input injected from the test thread.
#include <gtest/gtest.h>

#include "shell/texts.h"
#include "support/rig.h"

namespace velda::test {
namespace {

TEST(InstallationThreads, PausesInspectionsAndInputFromTheTestThread) {
  CRigOptions opt;
  opt.instrument.bRestartOnModeOn = false;
  CTestRig rig(opt);
  std::vector<std::uint8_t> data(5000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  rig.SetPackage(
      MakePackage("SET_UPDATE_MODE_ON\r\nSET_UPDATE_DEVICE,1,A\r\nOPEN_DATA_FILE,0,a\r\n"
                  "UPDATE_DEVICE,10000,1000,0\r\n",
                  {{"a", data}}));
  for (int i = 0; i < 4; ++i) rig.View().QueueAnswer(fw::IDOK);
  // Stop while the upload runs, look, and go on.
  ASSERT_TRUE(rig.RunUntil([&] { return rig.View().Status() == TXT_STATUS_UPLOAD; }));
  EXPECT_FALSE(rig.View().IsEnabled(fw::IDOK));
  // The completion box is left open until the test answers it.
  ASSERT_TRUE(rig.RunUntil([&] { return rig.View().OpenBox() != 0; }));
  EXPECT_EQ(rig.View().Boxes().back().strText, TXT_COMPLETED);
  rig.AnswerBox(fw::IDOK);
  ASSERT_TRUE(rig.RunToEnd());
  EXPECT_EQ(rig.Instrument().ReadRange(1, 0x10000, data.size()), data);
}

}  // namespace
}  // namespace velda::test
