// Conditional blocks and the area comparison of AREA_CHECK.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "script/area_compare.h"
#include "script/conditional.h"
#include "script/data_entry.h"
#include "script/keyword_table.h"
#include "script/script_reader.h"

namespace velda {
namespace {

using Bytes = std::vector<fw::BYTE>;

// ---------------------------------------------------------------------------------------------
// Screening statements by the skip state

TEST(ScriptConditional, OutsideSkippingEveryStatementRunsAndTheStateStays) {
  for (const std::uint8_t nState : {SKIP_NONE, SKIP_IF_SEEN}) {
    for (int k = 0; k <= STMT_NONE; ++k) {
      for (const int t : {TOKEN_AT_COMMA, TOKEN_AT_CR, TOKEN_AT_END}) {
        const CStatementScreen r = ScreenStatement(nState, k, t);
        EXPECT_TRUE(r.bExecute);
        EXPECT_FALSE(r.bSkipRestOfLine);
        EXPECT_EQ(r.nNextState, nState);
      }
    }
  }
}

TEST(ScriptConditional, WhileSkippingOnlyEndifCountsAndEndsIt) {
  for (const int t : {TOKEN_AT_COMMA, TOKEN_AT_CR, TOKEN_AT_END}) {
    const CStatementScreen r = ScreenStatement(SKIP_TO_ENDIF, STMT_ENDIF, t);
    EXPECT_FALSE(r.bExecute);
    EXPECT_FALSE(r.bSkipRestOfLine);
    EXPECT_EQ(r.nNextState, SKIP_NONE);
  }
  // IF and AREA_CHECK lines are passed over like any other.
  for (const int k : {int{STMT_IF}, int{STMT_AREA_CHECK}, int{STMT_UPDATE_BLOCK}, int{STMT_NONE}}) {
    const CStatementScreen r = ScreenStatement(SKIP_TO_ENDIF, k, TOKEN_AT_COMMA);
    EXPECT_FALSE(r.bExecute);
    EXPECT_EQ(r.nNextState, SKIP_TO_ENDIF);
  }
}

TEST(ScriptConditional, WhileSkippingTheRestOfALineIsPassedUnlessTheKeywordEndedIt) {
  EXPECT_TRUE(ScreenStatement(SKIP_TO_ENDIF, STMT_UPDATE_BLOCK, TOKEN_AT_COMMA).bSkipRestOfLine);
  EXPECT_TRUE(ScreenStatement(SKIP_TO_ENDIF, STMT_NONE, TOKEN_AT_END).bSkipRestOfLine);
  EXPECT_FALSE(ScreenStatement(SKIP_TO_ENDIF, STMT_SET_UPDATE_MODE_ON, TOKEN_AT_CR).bSkipRestOfLine);
}

TEST(ScriptConditional, AnAreaMatchStartsSkippingOnlyAfterAnIf) {
  EXPECT_EQ(SkipStateAfterMatch(SKIP_IF_SEEN), SKIP_TO_ENDIF);
  EXPECT_EQ(SkipStateAfterMatch(SKIP_NONE), SKIP_NONE);
  EXPECT_EQ(SkipStateAfterMatch(SKIP_TO_ENDIF), SKIP_TO_ENDIF);
}

TEST(ScriptConditional, AnInnerIfDoesNotNestTheFirstEndifEndsSkipping) {
  // IF, a matching AREA_CHECK, then: IF / UPDATE_BLOCK / ENDIF / UPDATE_DEVICE / ENDIF.
  std::uint8_t nState = SkipStateAfterMatch(SKIP_IF_SEEN);
  const struct {
    int k;
    int t;
    bool bRuns;
  } lines[] = {{STMT_IF, TOKEN_AT_CR, false},
               {STMT_UPDATE_BLOCK, TOKEN_AT_COMMA, false},
               {STMT_ENDIF, TOKEN_AT_CR, false},
               {STMT_UPDATE_DEVICE, TOKEN_AT_COMMA, true},
               {STMT_ENDIF, TOKEN_AT_CR, true}};
  for (const auto& line : lines) {
    const CStatementScreen r = ScreenStatement(nState, line.k, line.t);
    EXPECT_EQ(r.bExecute, line.bRuns) << line.k;
    nState = r.nNextState;
  }
  EXPECT_EQ(nState, SKIP_NONE);
}

// ---------------------------------------------------------------------------------------------
// Slot numbers

TEST(ScriptSlots, OnlyZeroToFortyNineAddressASlot) {
  EXPECT_TRUE(IsSlotIndex(0));
  EXPECT_TRUE(IsSlotIndex(49));
  EXPECT_FALSE(IsSlotIndex(50));
  EXPECT_FALSE(IsSlotIndex(-1));
  EXPECT_FALSE(IsSlotIndex(fw::UINT{0xFFFFFFFFu}));
  EXPECT_FALSE(IsSlotIndex(fw::UINT{0x80000000u}));
}

// ---------------------------------------------------------------------------------------------
// Area comparison

TEST(ScriptAreaCompare, EqualBytesMatchAndOneDifferentByteDoesNot) {
  const Bytes slot = {0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_TRUE(AreaMatches(Bytes{2, 3, 4}, slot, 2, 3));
  EXPECT_TRUE(AreaMatches(Bytes{5, 6, 7}, slot, 5, 3));  // up to the very end of the data
  EXPECT_FALSE(AreaMatches(Bytes{2, 3, 9}, slot, 2, 3));
  EXPECT_FALSE(AreaMatches(Bytes{9, 3, 4}, slot, 2, 3));
  // Bytes received beyond the length are not compared.
  EXPECT_TRUE(AreaMatches(Bytes{2, 3, 4, 0xEE}, slot, 2, 3));
}

TEST(ScriptAreaCompare, LengthZeroAlwaysMatches) {
  EXPECT_TRUE(AreaMatches(Bytes{}, Bytes{1}, 0, 0));
  EXPECT_TRUE(AreaMatches(Bytes{}, Bytes{1}, 1, 0));
  EXPECT_TRUE(AreaMatches(Bytes{}, Bytes{}, 0, 0));
}

TEST(ScriptAreaCompare, ExpectedBytesPastTheSlotDataNeverMatch) {
  const Bytes slot = {1, 2, 3, 4};
  const Bytes received = {3, 4, 0, 0};
  EXPECT_FALSE(AreaMatches(received, slot, 2, 3));
  EXPECT_FALSE(AreaMatches(received, slot, 5, 0));
  EXPECT_FALSE(AreaMatches(received, slot, 0xFFFFFFFFu, 2));  // offset + length wraps 32 bits
  EXPECT_FALSE(AreaCheckFits(4, 2, 3));
  EXPECT_TRUE(AreaCheckFits(4, 2, 2));
  EXPECT_TRUE(AreaCheckFits(4, 4, 0));
  EXPECT_FALSE(AreaCheckFits(4, 0xFFFFFFFFu, 2));
}

TEST(ScriptAreaCompare, MoreThanOneReplyCanCarryNeverMatches) {
  const Bytes slot(5000, 0x5A);
  const Bytes received(5000, 0x5A);
  EXPECT_TRUE(AreaMatches(received, slot, 0, AREA_CHECK_MAX_LENGTH));
  EXPECT_FALSE(AreaMatches(received, slot, 0, AREA_CHECK_MAX_LENGTH + 1));
  EXPECT_TRUE(AreaCheckFits(5000, 0, 4096));
  EXPECT_FALSE(AreaCheckFits(5000, 0, 4097));
}

TEST(ScriptAreaCompare, AReplyShorterThanAskedNeverMatches) {
  // The buffer holds the expected bytes, but the reply carried only three of them.
  const Bytes slot = {1, 2, 3, 4};
  const Bytes buffer = {1, 2, 3, 4};
  const std::span<const fw::BYTE> received(buffer.data(), 3);
  EXPECT_FALSE(AreaMatches(received, slot, 0, 4));
  EXPECT_TRUE(AreaMatches(received, slot, 0, 3));
}

}  // namespace
}  // namespace velda
