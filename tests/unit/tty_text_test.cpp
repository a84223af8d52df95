// The terminal front end's text helpers: box lines, printable text, bars, JSON lines and the
// meaning of typed lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fw/box_icon_name.h"
#include "fw/types.h"
#include "shell/texts.h"
#include "ui/tty/line_reader.h"
#include "ui/tty/tty_answer.h"
#include "ui/tty/tty_json.h"
#include "ui/tty/tty_text.h"

namespace velda::tty {
namespace {

using Lines = std::vector<std::string>;

fw::CProgressState Bar(int nLower, int nUpper, int nPos) {
  fw::CProgressState st;
  st.nLower = nLower;
  st.nUpper = nUpper;
  st.nPos = nPos;
  return st;
}

TEST(TtyBoxLines, CrLfBreaksLinesAndKeepsBlanksAsWritten) {
  EXPECT_EQ(SplitBoxLines(TXT_QUESTION_1),
            (Lines{"Make sure the instrument and ", "computer are properly ", "connected via USB cable."}));
  // The question that ends in two blanks keeps them.
  EXPECT_EQ(SplitBoxLines(TXT_QUESTION_3).back(), "the Velda will be unable to start.  ");
  // A break at the very end gives an empty last line, as the box shows it.
  EXPECT_EQ(SplitBoxLines(TXT_TIME_OUT), (Lines{" ", " Time Out   ", ""}));
  EXPECT_EQ(SplitBoxLines(TXT_COMPLETED),
            (Lines{"Installation is completed.", "Please turn the power switch of the instrument off."}));
}

TEST(TtyBoxLines, LfCrLoneLfAndLoneCrEachBreakOnce) {
  // The texts written LF CR break once, not twice.
  EXPECT_EQ(SplitBoxLines(TXT_NAMELESS_ENTRY_CHECK), (Lines{"Error!!", " Please Close This Application."}));
  EXPECT_EQ(SplitBoxLines("a\nb\rc"), (Lines{"a", "b", "c"}));
  EXPECT_EQ(SplitBoxLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitBoxLines(""), (Lines{""}));
  EXPECT_EQ(SplitBoxLines("one line"), (Lines{"one line"}));
}

TEST(TtyDisplayText, Utf8PassesAndCodePage1252IsConverted) {
  EXPECT_EQ(DisplayText("Data UpLoad."), "Data UpLoad.");
  EXPECT_EQ(DisplayText("caf\xC3\xA9"), "caf\xC3\xA9");        // UTF-8 stays
  EXPECT_EQ(DisplayText("caf\xE9"), "caf\xC3\xA9");            // 1252 e-acute
  EXPECT_EQ(DisplayText("\x80 5"), "\xE2\x82\xAC 5");          // 1252 euro sign
  EXPECT_EQ(DisplayText("\x81"), "\xEF\xBF\xBD");              // no character in 1252
  EXPECT_EQ(DisplayText("\xC0\x80"), "\xC3\x80\xE2\x82\xAC");  // overlong form is not UTF-8
}

TEST(TtyDisplayText, ControlCharactersCannotReachTheTerminal) {
  EXPECT_EQ(DisplayText("a\x1b[2Jb"), "a\xEF\xBF\xBD[2Jb");
  EXPECT_EQ(DisplayText("a\tb"), "a\tb");
  EXPECT_EQ(DisplayText("\x7F"), "\xEF\xBF\xBD");
}

TEST(TtyBars, PercentFollowsThePositionWithinTheRange) {
  EXPECT_EQ(ProgressPercent(Bar(0, 4901, 0)), 0);
  EXPECT_EQ(ProgressPercent(Bar(0, 4901, 2450)), 49);
  EXPECT_EQ(ProgressPercent(Bar(0, 4901, 4901)), 100);
  EXPECT_EQ(ProgressPercent(Bar(1, 201, 101)), 50);  // the All bar's range starts at 1
  EXPECT_EQ(ProgressPercent(Bar(1, 1, 1)), 0);       // an empty range shows nothing
  EXPECT_EQ(ProgressPercent(Bar(10, 5, 7)), 0);
}

TEST(TtyBars, BarLineShowsTheBarPercentAndCounts) {
  EXPECT_EQ(FormatBar(Bar(0, 100, 50), 10), "[#####-----]");
  EXPECT_EQ(FormatBar(Bar(0, 100, 0), 4), "[----]");
  EXPECT_EQ(FormatBar(Bar(0, 100, 100), 4), "[####]");
  EXPECT_EQ(FormatBarLine("Data", Bar(0, 4901, 2450), 10, "bytes"), "Data [####------]   49%  2450/4901 bytes");
  EXPECT_EQ(FormatBarLine("All ", Bar(1, 300, 300), 4, ""), "All  [####]  100%  300/300");
  EXPECT_EQ(FormatBarCounts(Bar(0, 2451, 2450), "bytes"), " 99%  2450/2451 bytes");
}

TEST(TtyBoxes, ButtonsIconsAndAnswersAreNamed) {
  EXPECT_EQ(BoxButtonsOf(fw::MB_OKCANCEL | fw::MB_ICONINFORMATION), EBoxButtons::OkCancel);
  EXPECT_EQ(BoxButtonsOf(fw::MB_OK | fw::MB_ICONEXCLAMATION), EBoxButtons::Ok);
  EXPECT_STREQ(BoxButtonsName(EBoxButtons::OkCancel), "ok-cancel");
  EXPECT_STREQ(fw::BoxIconName(fw::MB_OK | fw::MB_ICONSTOP), "stop");
  EXPECT_STREQ(fw::BoxIconName(fw::MB_OKCANCEL | fw::MB_ICONINFORMATION), "information");
  EXPECT_STREQ(fw::BoxIconName(fw::MB_ICONEXCLAMATION), "exclamation");
  EXPECT_STREQ(fw::BoxIconName(fw::MB_OK), "none");
  EXPECT_EQ(AnswerName(fw::IDOK), "OK");
  EXPECT_EQ(AnswerName(fw::IDCANCEL), "Cancel");
}

TEST(TtyJson, StringsAreEscapedAndStayOnOneLine) {
  EXPECT_EQ(JsonString(TXT_TIME_OUT), R"(" \r\n Time Out   \r\n")");
  EXPECT_EQ(JsonString("say \"hi\"\\"), R"("say \"hi\"\\")");
  EXPECT_EQ(JsonString("a\tb"), R"("a\tb")");
  EXPECT_EQ(JsonString("caf\xE9"), "\"caf\xC3\xA9\"");
  EXPECT_EQ(JsonString("\x01"), "\"\xEF\xBF\xBD\"");
}

TEST(TtyJson, ObjectKeepsTheOrderOfItsMembers) {
  const std::string s = CJsonObject()
                            .Add("event", "box")
                            .Add("box", 3)
                            .Add("ok", true)
                            .Add("t", std::uint64_t{12})
                            .Add("in", std::vector<std::string>{"A", "B"})
                            .Str();
  EXPECT_EQ(s, R"({"event":"box","box":3,"ok":true,"t":12,"in":["A","B"]})");
  EXPECT_EQ(CJsonObject().Str(), "{}");
}

TEST(TtyAnswers, BoxAnswersDependOnTheButtons) {
  const fw::UINT uOkCancel = fw::MB_OKCANCEL | fw::MB_ICONINFORMATION;
  EXPECT_EQ(ParseBoxAnswer("", uOkCancel), fw::IDOK);
  EXPECT_EQ(ParseBoxAnswer("  OK ", uOkCancel), fw::IDOK);
  EXPECT_EQ(ParseBoxAnswer("y", uOkCancel), fw::IDOK);
  EXPECT_EQ(ParseBoxAnswer("c", uOkCancel), fw::IDCANCEL);
  EXPECT_EQ(ParseBoxAnswer("Cancel", uOkCancel), fw::IDCANCEL);
  EXPECT_EQ(ParseBoxAnswer("no", uOkCancel), fw::IDCANCEL);
  EXPECT_EQ(ParseBoxAnswer("maybe", uOkCancel), std::nullopt);
  // A box with OK alone cannot be cancelled.
  EXPECT_EQ(ParseBoxAnswer("c", fw::MB_OK), std::nullopt);
  EXPECT_EQ(ParseBoxAnswer("", fw::MB_OK), fw::IDOK);
}

TEST(TtyAnswers, MenuChoicesAreNumberedFromOne) {
  EXPECT_EQ(ParseMenuChoice("", 3).eKind, CMenuChoice::EKind::Keep);
  EXPECT_EQ(ParseMenuChoice("c", 3).eKind, CMenuChoice::EKind::Cancel);
  const CMenuChoice pick = ParseMenuChoice(" 3 ", 3);
  EXPECT_EQ(pick.eKind, CMenuChoice::EKind::Pick);
  EXPECT_EQ(pick.nPos, 2);
  EXPECT_EQ(ParseMenuChoice("1", 3).nPos, 0);
  EXPECT_EQ(ParseMenuChoice("4", 3).eKind, CMenuChoice::EKind::Invalid);
  EXPECT_EQ(ParseMenuChoice("0", 3).eKind, CMenuChoice::EKind::Invalid);
  EXPECT_EQ(ParseMenuChoice("2x", 3).eKind, CMenuChoice::EKind::Invalid);
  EXPECT_EQ(ParseMenuChoice("1", 0).eKind, CMenuChoice::EKind::Invalid);  // an empty list
}

TEST(TtyAnswers, WindowCommands) {
  EXPECT_EQ(ParseWindowCommand("p"), EWindowCommand::MidiPort);
  EXPECT_EQ(ParseWindowCommand("MIDI Port"), EWindowCommand::MidiPort);
  EXPECT_EQ(ParseWindowCommand(" close"), EWindowCommand::Close);
  EXPECT_EQ(ParseWindowCommand("q"), EWindowCommand::CloseBox);
  EXPECT_EQ(ParseWindowCommand(""), EWindowCommand::None);
  EXPECT_EQ(ParseWindowCommand("x"), EWindowCommand::Invalid);
}

TEST(TtyLines, SplitterDropsCrLfAndKeepsALastLineWithoutEnd) {
  CLineSplitter split;
  Lines got;
  auto add = [&](std::string_view s) { got.emplace_back(s); };
  split.Add("ok\r\nc", add);
  split.Add("ancel\n\n", add);
  split.Add("3", add);
  EXPECT_EQ(got, (Lines{"ok", "cancel", ""}));
  split.Finish(add);
  EXPECT_EQ(got, (Lines{"ok", "cancel", "", "3"}));
  split.Finish(add);  // nothing is left
  EXPECT_EQ(got.size(), 4u);
}

}  // namespace
}  // namespace velda::tty
