// uxs lint on a corpus of scripts, one file per finding (tests/uxs/lint): each file names, in its
// first (comment) line, the one finding expected: "# expect LINE CODE: message start".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "script_lint.h"
#include "support/rig.h"

namespace velda::uxs {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> a;
  for (const auto& e : fs::directory_iterator(fs::path(VELDA_TEST_DATA_DIR) / "uxs" / "lint")) {
    if (e.path().extension() == ".txt") a.push_back(e.path().stem().string());
  }
  std::sort(a.begin(), a.end());
  return a;
}

// The script as the package holds it: CR LF line ends, except where the file is about them.
std::string ScriptOf(const std::string& strName) {
  std::ifstream in(fs::path(VELDA_TEST_DATA_DIR) / "uxs" / "lint" / (strName + ".txt"), std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  if (strName.starts_with("bare-lf")) return s;
  std::string out;
  for (const char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::vector<CLintFinding> LintWithEntries(const std::string& strScript) {
  const std::vector<std::uint8_t> aPackage =
      test::MakePackage(strScript, {{"MAIN.BIN", std::vector<std::uint8_t>(0x1000, 1)},
                                    {"small.bin", std::vector<std::uint8_t>(0x10, 2)},
                                    {"", std::vector<std::uint8_t>(4, 3)}});
  return LintPackage(aPackage);
}

class LintCorpus : public ::testing::TestWithParam<std::string> {};

TEST_P(LintCorpus, ReportsItsOneFindingWithLineAndMessage) {
  const std::string strScript = ScriptOf(GetParam());
  // "# expect 3 code: message"
  const std::size_t nEol = strScript.find_first_of("\r\n");
  std::istringstream expect(strScript.substr(9, nEol - 9));
  int nLine = 0;
  std::string strCode;
  expect >> nLine >> strCode;
  strCode.pop_back();  // the colon
  std::string strMessage;
  std::getline(expect >> std::ws, strMessage);

  const std::vector<CLintFinding> a = LintWithEntries(strScript);
  ASSERT_EQ(a.size(), 1u) << (a.empty() ? "no finding" : FormatFinding(a[0]) + " / " + FormatFinding(a.back()));
  EXPECT_EQ(a[0].nLine, nLine);
  EXPECT_EQ(a[0].strCode, strCode);
  EXPECT_EQ(a[0].strMessage.rfind(strMessage, 0), 0u) << a[0].strMessage;
  EXPECT_EQ(LintExitCode(a), a[0].eSeverity == ELintSeverity::Error ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Files, LintCorpus, ::testing::ValuesIn(CorpusFiles()),
                         [](const ::testing::TestParamInfo<std::string>& i) {
                           std::string s = i.param;
                           for (char& c : s) {
                             if (c == '-') c = '_';
                           }
                           return s;
                         });

TEST(Lint, ACleanPackageHasNoFinding) {
  const std::vector<CLintFinding> a = LintWithEntries(
      "; sample\r\nKEYWORD,\"#5168_1994KESTRA\"\r\nSET_UPDATE_MODE_ON\r\nSET_UPDATE_DEVICE,1,MAIN\r\n"
      "OPEN_DATA_FILE,0,main.bin\r\nIF,AREA_CHECK,0,0,100,10\r\nUPDATE_DEVICE,100,400,0\r\nENDIF\r\n"
      "UPDATE_AREA,0,100,0,10,20\r\nSET_UPDATE_MODE_OFF\r\n");
  EXPECT_TRUE(a.empty()) << FormatFinding(a[0]);
  EXPECT_EQ(LintExitCode(a), 0);
}

// A bare LF is found at every place, the script's first and last byte included (the corpus files
// begin with their comment line, so none has one at the first byte).
TEST(Lint, ABareLfIsAnErrorOnItsLineWhereverItIs) {
  const struct {
    const char* pszScript;
    int nLine;
  } aCases[] = {{"\nSET_UPDATE_MODE_ON\r\n", 1},
                {"SET_UPDATE_MODE_ON\r\n\nSET_UPDATE_MODE_OFF\r\n", 2},
                {"SET_UPDATE_MODE_ON\r\nSET_UPDATE_MODE_OFF\n", 2}};
  for (const auto& c : aCases) {
    const std::vector<CLintFinding> a = LintWithEntries(c.pszScript);
    std::vector<int> aLines;
    for (const CLintFinding& f : a) {
      if (f.strCode == "bare-lf") aLines.push_back(f.nLine);
    }
    EXPECT_EQ(aLines, std::vector<int>{c.nLine}) << ::testing::PrintToString(std::string(c.pszScript));
    EXPECT_EQ(LintExitCode(a), 2);
  }
}

TEST(Lint, APackageTheInstallerRefusesIsAnError) {
  std::vector<std::uint8_t> aPackage = test::MakePackage("SET_UPDATE_MODE_ON\r\n", {});
  aPackage[6] = 0xFF;  // a NUL in the script
  const std::vector<CLintFinding> a = LintPackage(aPackage);
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(a[0].nLine, 0);
  EXPECT_EQ(a[0].strCode, "nul-in-script");
  EXPECT_EQ(LintExitCode(a), 2);
}

}  // namespace
}  // namespace velda::uxs
