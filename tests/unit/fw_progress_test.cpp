// The progress control's rules as the installer relies on them.
#include <gtest/gtest.h>

#include "fw/controls.h"

namespace {

using fw::ApplyProgressMessage;
using fw::CProgressState;

TEST(Progress, SetRangeTakesSixteenBitLimitsAndClampsThePosition) {
  CProgressState st;
  st.nPos = 50;
  // A script of 70000 bytes: only the low 16 bits (4464) reach the control.
  ApplyProgressMessage(st, fw::PBM_SETRANGE, 0, fw::MAKELPARAM(1, fw::LOWORD(70000u)));
  EXPECT_EQ(st.nLower, 1);
  EXPECT_EQ(st.nUpper, 4464);
  ApplyProgressMessage(st, fw::PBM_SETPOS, 10000, 0);
  EXPECT_EQ(st.nPos, 4464);  // the bar fills early and stays full
  ApplyProgressMessage(st, fw::PBM_SETPOS, 0, 0);
  EXPECT_EQ(st.nPos, 1);
}

TEST(Progress, DeltaPosClampsAtTheTopOfA32BitRange) {
  CProgressState st;
  ApplyProgressMessage(st, fw::PBM_SETRANGE32, 0, 10001);
  ApplyProgressMessage(st, fw::PBM_SETSTEP, 1, 0);
  ApplyProgressMessage(st, fw::PBM_SETPOS, 0, 0);
  for (int i = 0; i < 4; ++i) ApplyProgressMessage(st, fw::PBM_DELTAPOS, 2450, 0);
  EXPECT_EQ(st.nPos, 9800);
  EXPECT_EQ(ApplyProgressMessage(st, fw::PBM_DELTAPOS, 2450, 0), 9800);  // returns the old position
  EXPECT_EQ(st.nPos, 10001);
  EXPECT_EQ(st.nStep, 1);
  ApplyProgressMessage(st, fw::PBM_SETRANGE32, 0, 17 * 1024 * 1024);
  EXPECT_EQ(st.nUpper, 17 * 1024 * 1024);
  EXPECT_EQ(st.nPos, 10001);
}

}  // namespace
