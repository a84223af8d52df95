// The states a window's controls start with, as every front end and the framework build them.
#include <gtest/gtest.h>

#include "fw/controls.h"

namespace {

using fw::EControlKind;
using fw::MakeControl;

fw::CDialogTemplate SampleTemplate() {
  fw::CDialogTemplate tmpl;
  tmpl.nId = 7;
  tmpl.aControls = {
      MakeControl(-1, EControlKind::Static, "A label", 0, 0, 50, 8),
      MakeControl(11, EControlKind::Edit, "Ready.", 0, 10, 80, 12),
      MakeControl(12, EControlKind::Button, "Go", 0, 30, 40, 14, true, false),
      MakeControl(13, EControlKind::Progress, "", 0, 50, 80, 8, false, true),
      MakeControl(14, EControlKind::Combo, "", 0, 60, 80, 40),
  };
  return tmpl;
}

TEST(InitialControlStates, HoldEveryControlWithAnIdAndNoLabel) {
  const auto controls = fw::InitialControlStates(SampleTemplate());
  ASSERT_EQ(controls.size(), 4u);
  EXPECT_EQ(controls.count(-1), 0u);
  for (const int nId : {11, 12, 13, 14}) EXPECT_EQ(controls.count(nId), 1u) << nId;
}

TEST(InitialControlStates, TakeTextFlagsAndTemplateFromTheTemplate) {
  const fw::CDialogTemplate tmpl = SampleTemplate();
  const auto controls = fw::InitialControlStates(tmpl);
  const fw::CControlState& edit = controls.at(11);
  EXPECT_EQ(edit.strText.Str(), "Ready.");
  EXPECT_TRUE(edit.bEnabled);
  EXPECT_TRUE(edit.bVisible);
  EXPECT_EQ(edit.tmpl.eKind, EControlKind::Edit);
  EXPECT_EQ(edit.tmpl.y, 10);
  EXPECT_EQ(edit.tmpl.cx, 80);
  const fw::CControlState& button = controls.at(12);
  EXPECT_EQ(button.strText.Str(), "Go");
  EXPECT_FALSE(button.bEnabled);
  EXPECT_TRUE(button.bVisible);
  const fw::CControlState& bar = controls.at(13);
  EXPECT_TRUE(bar.bEnabled);
  EXPECT_FALSE(bar.bVisible);
}

TEST(InitialControlStates, StartWithTheControlsDefaults) {
  const auto controls = fw::InitialControlStates(SampleTemplate());
  const fw::CControlState& bar = controls.at(13);
  EXPECT_EQ(bar.progress.nLower, 0);
  EXPECT_EQ(bar.progress.nUpper, 100);
  EXPECT_EQ(bar.progress.nPos, 0);
  EXPECT_EQ(bar.progress.nStep, 10);
  const fw::CControlState& combo = controls.at(14);
  EXPECT_TRUE(combo.aItems.empty());
  EXPECT_EQ(combo.nCurSel, -1);
}

TEST(InitialControlStates, AnEmptyTemplateGivesNoControls) {
  EXPECT_TRUE(fw::InitialControlStates(fw::CDialogTemplate{}).empty());
}

}  // namespace
