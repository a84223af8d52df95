// Strings in the ANSI code page: clean-ups, case rules, double-byte characters as units.
#include <gtest/gtest.h>

#include "fw/codepage.h"
#include "fw/cstring.h"

namespace {

using fw::CString;

class CodePageGuard {
 public:
  explicit CodePageGuard(fw::UINT n) { fw::SetAnsiCodePage(n); }
  ~CodePageGuard() { fw::SetAnsiCodePage(1252); }
};

TEST(CString, TrimWhiteRemovesEveryKindOfWhiteSpaceAtBothEndsOnly) {
  CString s(" \t\r\n\v\fa b\t\r\n");
  s.TrimWhite();
  EXPECT_EQ(s.Str(), "a b");
  CString e("   ");
  EXPECT_TRUE(e.TrimWhite().IsEmpty());
}

TEST(CString, QuoteCleanUps) {
  CString t("\"\"name\"x\"\"");
  t.Trim('"');
  EXPECT_EQ(t.Str(), "name\"x");
  CString r("\" a \"b\"");
  EXPECT_EQ(r.Remove('"'), 3);
  EXPECT_EQ(r.Str(), " a b");
}

TEST(CString, LowerCaseFollowsCodePage1252) {
  CString s("ABCxyz\xC0\xD6\xD7\xDE\x8A\x9F");
  s.MakeLower();
  // The multiplication sign D7 has no small letter.
  EXPECT_EQ(s.Str(), "abcxyz\xE0\xF6\xD7\xFE\x9A\xFF");
  EXPECT_EQ(CString("EndIf").CompareNoCase("ENDIF"), 0);
  EXPECT_NE(CString("ENDIF ").CompareNoCase("endif"), 0);
}

TEST(CString, DoubleByteCharactersChangeAndCompareAsUnits) {
  CodePageGuard guard(932);
  // 0x82 starts a double-byte character whose second byte 0x41 must not become 'a'.
  CString s("A\x82\x41Z");
  s.MakeLower();
  EXPECT_EQ(s.Str(), "a\x82\x41z");
  EXPECT_NE(CString("\x82\x41").CompareNoCase("\x82\x61"), 0);
  EXPECT_EQ(CString("\x82\x41X").CompareNoCase("\x82\x41x"), 0);
  // Outside 1252 only ASCII letters have small forms.
  CString h("\xC0");
  EXPECT_EQ(h.MakeLower().Str(), "\xC0");
  EXPECT_TRUE(fw::IsLeadByte(0x82));
  EXPECT_FALSE(fw::IsLeadByte(0x41));
}

}  // namespace
