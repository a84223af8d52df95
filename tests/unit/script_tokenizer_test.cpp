// The script readers, the keyword table, script numbers and the token clean-ups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/keyword_table.h"
#include "script/script_number.h"
#include "script/script_reader.h"

namespace velda {
namespace {

// A script held for the readers, with its own cursor and line.
struct CScript {
  explicit CScript(std::string str) : strText(std::move(str)) {}
  CScriptText Text() const { return {strText, static_cast<fw::UINT>(strText.size())}; }
  fw::UINT Len() const { return static_cast<fw::UINT>(strText.size()); }
  int Line() { return ReadScriptLine(Text(), nPos, strLine).nResult; }
  int Token(fw::CString& strToken) { return ReadScriptToken(Text(), nPos, strToken).nResult; }
  std::string strText;
  fw::UINT nPos = 0;
  fw::CString strLine;
};

// ---------------------------------------------------------------------------------------------
// ReadLine

TEST(ScriptReadLine, AStatementGivesItsLengthWithoutCrAndLeavesTheCursor) {
  CScript s("OPEN_DATA_FILE,0,x\r\nIF\r\n");
  const CLineRead r = ReadScriptLine(s.Text(), s.nPos, s.strLine);
  EXPECT_EQ(r.nResult, 18);
  EXPECT_TRUE(r.bMarkLineRead);
  EXPECT_EQ(s.nPos, 0u);
  EXPECT_EQ(s.strLine.Str(), "OPEN_DATA_FILE,0,x");
  // Asked again, it looks at the same line.
  EXPECT_EQ(s.Line(), 18);
}

TEST(ScriptReadLine, EmptyAndCommentLinesAreConsumed) {
  CScript s("\r\n\r\n#comment,IF\r\n;ENDIF\r\n#\r\n;\r\n\nIF\r\n");
  const std::vector<fw::UINT> afterEach = {2, 4, 17, 25, 28, 31, 32};
  for (const fw::UINT nAfter : afterEach) {
    const CLineRead r = ReadScriptLine(s.Text(), s.nPos, s.strLine);
    EXPECT_EQ(r.nResult, LINE_PASSED_OVER);
    EXPECT_TRUE(r.bMarkLineRead);
    EXPECT_EQ(s.nPos, nAfter);
  }
  EXPECT_EQ(s.Line(), 2);
  EXPECT_EQ(s.strLine.Str(), "IF");
}

TEST(ScriptReadLine, ALoneCrCountsAsNothing) {
  CScript s("\r\nIF");
  EXPECT_EQ(s.Line(), LINE_PASSED_OVER);
  EXPECT_EQ(s.nPos, 2u);
  CScript t("\r\r\n#\r\n");
  EXPECT_EQ(t.Line(), LINE_PASSED_OVER);
  EXPECT_EQ(t.nPos, 3u);
  // A CR inside a line is dropped from the line too.
  CScript u("A\rB\r\n");
  EXPECT_EQ(u.Line(), 2);
  EXPECT_EQ(u.strLine.Str(), "AB");
}

TEST(ScriptReadLine, ACommentMarkNotInTheFirstColumnMakesAStatement) {
  CScript s("  #not a comment\r\n");
  EXPECT_EQ(s.Line(), 16);
  EXPECT_EQ(s.nPos, 0u);
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(strToken.Str(), "  #not a comment");
  EXPECT_EQ(FindKeyword(strToken), STMT_NONE);
}

TEST(ScriptReadLine, ALineOfBlanksIsAStatementThatMatchesNoKeyword) {
  CScript s("   \r\n");
  EXPECT_EQ(s.Line(), 3);
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(strToken.Str(), "   ");
  EXPECT_EQ(FindKeyword(strToken), STMT_NONE);
}

TEST(ScriptReadLine, AtTheEndItReportsMinusOneAndNoMarker) {
  CScript s("IF");
  s.nPos = 2;
  CLineRead r = ReadScriptLine(s.Text(), s.nPos, s.strLine);
  EXPECT_EQ(r.nResult, LINE_AT_END);
  EXPECT_FALSE(r.bMarkLineRead);
  s.nPos = 3;  // one beyond
  r = ReadScriptLine(s.Text(), s.nPos, s.strLine);
  EXPECT_EQ(r.nResult, LINE_AT_END);
  EXPECT_EQ(s.nPos, 3u);
  CScript empty("");
  EXPECT_EQ(empty.Line(), LINE_AT_END);
}

TEST(ScriptReadLine, TheLastLineMayLackItsLineEnd) {
  CScript s("#c\r\nENDIF");
  EXPECT_EQ(s.Line(), LINE_PASSED_OVER);
  EXPECT_EQ(s.Line(), 5);
  CScript t("#only a comment");
  EXPECT_EQ(t.Line(), LINE_PASSED_OVER);
  EXPECT_EQ(t.nPos, t.Len());
  EXPECT_EQ(t.Line(), LINE_AT_END);
}

TEST(ScriptReadLine, LooksAtTheRestOfALineFromMidLine) {
  CScript s("IF,AREA_CHECK,0,0,0,1\r\n");
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_COMMA);
  EXPECT_EQ(s.nPos, 3u);
  EXPECT_EQ(s.Line(), 18);
  EXPECT_EQ(s.strLine.Str(), "AREA_CHECK,0,0,0,1");
}

// ---------------------------------------------------------------------------------------------
// SkipLine

TEST(ScriptSkipLine, PassesOverTheRestOfTheLineThroughItsLf) {
  CScript s("UPDATE_BLOCK,1,2,3,4\r\nIF\r\n");
  s.nPos = 13;
  SkipScriptLine(s.Text(), s.nPos, s.strLine);
  EXPECT_EQ(s.nPos, 22u);
  EXPECT_EQ(s.strLine.Str(), "1,2,3,4");
  CScript t("A,B");
  t.nPos = 2;
  SkipScriptLine(t.Text(), t.nPos, t.strLine);
  EXPECT_EQ(t.nPos, 3u);
  EXPECT_EQ(t.strLine.Str(), "B");
}

TEST(ScriptSkipLine, AtTheEndNothingChanges) {
  CScript s("IF");
  s.nPos = 3;
  s.strLine = "kept";
  SkipScriptLine(s.Text(), s.nPos, s.strLine);
  EXPECT_EQ(s.nPos, 3u);
  EXPECT_EQ(s.strLine.Str(), "kept");
}

// ---------------------------------------------------------------------------------------------
// ReadToken

TEST(ScriptReadToken, AKeywordAloneOnItsLineEndsAtCrAndLandsOnTheNextLine) {
  CScript s("SET_UPDATE_MODE_ON\r\nUP_BAUDRATE\r\n");
  fw::CString strToken = "stale";
  const CTokenRead r = ReadScriptToken(s.Text(), s.nPos, strToken);
  EXPECT_EQ(r.nResult, TOKEN_AT_CR);
  EXPECT_TRUE(r.bShowProgress);
  EXPECT_EQ(strToken.Str(), "SET_UPDATE_MODE_ON");
  EXPECT_EQ(s.nPos, 20u);
  EXPECT_EQ(s.strText[s.nPos], 'U');
}

TEST(ScriptReadToken, ACommaEndsATokenAndIsPassed) {
  CScript s("OPEN_DATA_FILE,0,name\r\nX");
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_COMMA);
  EXPECT_EQ(strToken.Str(), "OPEN_DATA_FILE");
  EXPECT_EQ(s.nPos, 15u);
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_COMMA);
  EXPECT_EQ(strToken.Str(), "0");
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(strToken.Str(), "name");
  EXPECT_EQ(s.nPos, 23u);
  // An empty token between two commas.
  CScript t(",,");
  EXPECT_EQ(t.Token(strToken), TOKEN_AT_COMMA);
  EXPECT_TRUE(strToken.IsEmpty());
  EXPECT_EQ(t.nPos, 1u);
}

TEST(ScriptReadToken, TheLastTokenWithoutLineEndRunsIntoTheEnd) {
  CScript s("ENDIF");
  fw::CString strToken;
  const CTokenRead r = ReadScriptToken(s.Text(), s.nPos, strToken);
  EXPECT_EQ(r.nResult, TOKEN_AT_END);
  EXPECT_TRUE(r.bShowProgress);
  EXPECT_EQ(strToken.Str(), "ENDIF");
  EXPECT_EQ(FindKeyword(strToken), STMT_ENDIF);
  EXPECT_EQ(s.nPos, 6u);  // one beyond the end
  EXPECT_EQ(s.Line(), LINE_AT_END);
}

TEST(ScriptReadToken, ACrAsTheLastByteEndsTheTokenAndStepsOneBeyond) {
  CScript s("IF\r");
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(strToken.Str(), "IF");
  EXPECT_EQ(s.nPos, 4u);
  EXPECT_EQ(s.Line(), LINE_AT_END);
}

TEST(ScriptReadToken, AtTheEndTheCursorStaysOneBeyond) {
  CScript s("A");
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_END);
  EXPECT_EQ(s.nPos, 2u);
  strToken = "stale";
  const CTokenRead r = ReadScriptToken(s.Text(), s.nPos, strToken);
  EXPECT_EQ(r.nResult, TOKEN_AT_END);
  EXPECT_TRUE(r.bShowProgress);
  EXPECT_TRUE(strToken.IsEmpty());
  EXPECT_EQ(s.nPos, 2u);
}

TEST(ScriptReadToken, BlanksTabsQuotesAndLfBelongToTheToken) {
  CScript s(" a\t\"b\"\nc ,x");
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_COMMA);
  EXPECT_EQ(strToken.Str(), " a\t\"b\"\nc ");
  // Bare LF line ends run lines together.
  CScript t("IF\nENDIF\r\n");
  EXPECT_EQ(t.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(strToken.Str(), "IF\nENDIF");
  EXPECT_EQ(FindKeyword(strToken), STMT_NONE);
}

TEST(ScriptReadToken, TheCharacterAfterACrIsPassedOverUnseen) {
  CScript s("A\rBC,D");
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(strToken.Str(), "A");
  EXPECT_EQ(s.nPos, 3u);
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_COMMA);
  EXPECT_EQ(strToken.Str(), "C");
  // Even a comma right after a CR is swallowed.
  CScript t("A\r,B\r\n");
  EXPECT_EQ(t.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(t.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(strToken.Str(), "B");
}

TEST(ScriptReadToken, TokensRunOnOverLineEnds) {
  // SET_UPDATE_DEVICE whose device ends its line: the next line's first token is its label.
  CScript s("SET_UPDATE_DEVICE,2\r\nIF\r\n");
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_COMMA);
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(strToken.Str(), "2");
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(strToken.Str(), "IF");
}

TEST(ScriptReadToken, TheLastArgumentOfALastLineEndingInCrLfIsPresent) {
  CScript s("OPEN_DATA_FILE,0,main.bin\r\n");
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_COMMA);
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_COMMA);
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_CR);
  EXPECT_EQ(strToken.Str(), "main.bin");
  EXPECT_EQ(s.nPos, s.Len());
  EXPECT_EQ(s.Line(), LINE_AT_END);
}

TEST(ScriptReaders, NeverReadBeyondTheLengthBoundOrTheText) {
  // The bound ends the script even when the text goes on.
  const std::string str = "IF,ENDIF\r\n";
  CScriptText bounded{str, 2};
  fw::UINT nPos = 0;
  fw::CString strToken;
  EXPECT_EQ(ReadScriptToken(bounded, nPos, strToken).nResult, TOKEN_AT_END);
  EXPECT_EQ(strToken.Str(), "IF");
  EXPECT_EQ(nPos, 3u);
  fw::CString strLine;
  nPos = 0;
  EXPECT_EQ(ReadScriptLine(bounded, nPos, strLine).nResult, 2);
  EXPECT_EQ(strLine.Str(), "IF");
  // A bound larger than the text stops at the text.
  CScriptText loose{std::string_view(str).substr(0, 5), 1000};
  nPos = 3;
  EXPECT_EQ(ReadScriptToken(loose, nPos, strToken).nResult, TOKEN_AT_END);
  EXPECT_EQ(strToken.Str(), "EN");
  EXPECT_EQ(nPos, 6u);
}

// ---------------------------------------------------------------------------------------------
// Keywords

TEST(ScriptKeywords, EachKeywordHasItsStatementNumber) {
  const char* const apszInOrder[] = {"KEYWORD",        "SET_UPDATE_MODE_ON", "SET_UPDATE_MODE_OFF", "UP_BAUDRATE",
                                     "RESET_BAUDRATE", "MODEL_NAME",         "SET_UPDATE_DEVICE",   "OPEN_DATA_FILE",
                                     "UPDATE_DEVICE",  "UPDATE_BLOCK",       "UPDATE_AREA",         "IF",
                                     "ENDIF",          "AREA_CHECK"};
  for (int i = 0; i < 14; ++i) {
    EXPECT_EQ(FindKeyword(apszInOrder[i]), i) << apszInOrder[i];
  }
}

TEST(ScriptKeywords, LetterCaseDoesNotMatter) {
  EXPECT_EQ(FindKeyword("endif"), STMT_ENDIF);
  EXPECT_EQ(FindKeyword("EndIf"), STMT_ENDIF);
  EXPECT_EQ(FindKeyword("open_data_file"), STMT_OPEN_DATA_FILE);
  EXPECT_EQ(FindKeyword("Area_Check"), STMT_AREA_CHECK);
}

TEST(ScriptKeywords, TheTokenIsComparedUntrimmedAndWhole) {
  EXPECT_EQ(FindKeyword("UPDATE_BLOCK "), STMT_NONE);
  EXPECT_EQ(FindKeyword(" IF"), STMT_NONE);
  EXPECT_EQ(FindKeyword("IF\t"), STMT_NONE);
  EXPECT_EQ(FindKeyword("\"IF\""), STMT_NONE);
  EXPECT_EQ(FindKeyword("IFF"), STMT_NONE);
  EXPECT_EQ(FindKeyword("I"), STMT_NONE);
  EXPECT_EQ(FindKeyword(""), STMT_NONE);
  EXPECT_EQ(FindKeyword("UPDATE"), STMT_NONE);
}

TEST(ScriptKeywords, AKeywordWithABlankBeforeItsCommaIsNoKeyword) {
  CScript s("UPDATE_BLOCK ,0,4,0,0\r\n");
  fw::CString strToken;
  EXPECT_EQ(s.Token(strToken), TOKEN_AT_COMMA);
  EXPECT_EQ(FindKeyword(strToken), STMT_NONE);
}

// ---------------------------------------------------------------------------------------------
// Numbers

TEST(ScriptHex, WorkedExamples) {
  EXPECT_EQ(ParseScriptHex("ff"), 255u);
  EXPECT_EQ(ParseScriptHex("7F"), 127u);
  EXPECT_EQ(ParseScriptHex("10000"), 65536u);
  EXPECT_EQ(ParseScriptHex("1 2"), 258u);
  EXPECT_EQ(ParseScriptHex("0x10"), 8464u);
  EXPECT_EQ(ParseScriptHex("123456789"), 0x23456789u);
  EXPECT_EQ(ParseScriptHex("1*0"), 16u);
  EXPECT_EQ(ParseScriptHex(""), 0u);
}

TEST(ScriptHex, CaseAndLettersBeyondF) {
  EXPECT_EQ(ParseScriptHex("1F"), 31u);
  EXPECT_EQ(ParseScriptHex("1f"), 31u);
  EXPECT_EQ(ParseScriptHex("G"), 16u);
  EXPECT_EQ(ParseScriptHex("1G"), 16u);
  EXPECT_EQ(ParseScriptHex("z"), 35u);
  EXPECT_EQ(ParseScriptHex("Z"), 35u);
  EXPECT_EQ(ParseScriptHex("FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseScriptHex("ABCDEF012"), 0xBCDEF012u);
}

TEST(ScriptHex, OtherCharactersAreZeroDigitsAndStarsAreSkipped) {
  EXPECT_EQ(ParseScriptHex("1\x82"
                           "2"),
            0x102u);  // a byte of a double-byte character
  EXPECT_EQ(ParseScriptHex("1-"), 0x10u);
  EXPECT_EQ(ParseScriptHex("***"), 0u);
  EXPECT_EQ(ParseScriptHex("*1*"), 1u);
  EXPECT_EQ(ParseScriptHex(" 1"), 1u);
  EXPECT_EQ(ParseScriptHex("1 "), 0x10u);
}

// ---------------------------------------------------------------------------------------------
// Token clean-ups

TEST(ScriptArguments, NumbersAreTrimmedOfWhiteSpaceOnly) {
  EXPECT_EQ(NumericArgument(" \t1F\r\n"), 31u);
  EXPECT_EQ(NumericArgument(" 1 2 "), 258u);
  EXPECT_EQ(NumericArgument("\v\f"), 0u);
  EXPECT_EQ(NumericArgument("\"1\""), 0x010u);  // quotes stay and count as zero digits
}

TEST(ScriptArguments, EntryNamesLoseWhiteSpaceThenQuotesAndAreLowerCased) {
  EXPECT_EQ(EntryNameArgument(" \"MAIN.Bin\" \r").Str(), "main.bin");
  EXPECT_EQ(EntryNameArgument("\"\"x\"\"").Str(), "x");
  EXPECT_EQ(EntryNameArgument("\" A \"").Str(), " a ");  // blanks inside the quotes stay
  EXPECT_EQ(EntryNameArgument("\" A\" ").Str(), " a");
  EXPECT_EQ(EntryNameArgument("a\"b").Str(), "a\"b");
  EXPECT_EQ(EntryNameArgument("\xC4"
                              "X")
                .Str(),
            "\xE4"
            "x");
  EXPECT_TRUE(EntryNameArgument("  ").IsEmpty());
}

TEST(ScriptArguments, TheKeywordLosesEveryQuoteAndKeepsItsBlanks) {
  EXPECT_EQ(KeywordArgument("\"#5168_1994KESTRA\"").Str(), "#5168_1994KESTRA");
  EXPECT_EQ(KeywordArgument(" \"ab cd\" ").Str(), " ab cd ");
  EXPECT_EQ(KeywordArgument("a\"b\"\"c").Str(), "abc");
  EXPECT_EQ(KeywordArgument("MiXeD").Str(), "MiXeD");
}

TEST(ScriptArguments, TheModelNameIsTrimmedOfWhiteSpaceThenQuotes) {
  EXPECT_EQ(ModelNameArgument(" \"VELDA 88\"\r").Str(), "VELDA 88");
  EXPECT_EQ(ModelNameArgument("\" x\"").Str(), " x");
}

}  // namespace
}  // namespace velda
