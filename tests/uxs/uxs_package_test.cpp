// uxs show and extract: what they print and write is the package byte for byte, entry names
// that could escape the folder or collide are made safe and told, and nothing is overwritten.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crc32.h"
#include "safe_name.h"
#include "support/rig.h"
#include "support/scenario_util.h"
#include "uxs_commands.h"
#include "uxs_help.h"

namespace velda::uxs {
namespace {

namespace fs = std::filesystem;
using V = std::vector<std::uint8_t>;

V ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  const std::string s = ss.str();
  return V(s.begin(), s.end());
}

class UxsPackage : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("uxs-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                     "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    std::ofstream f(m_dir / "in.uxs", std::ios::binary);
    const V a = test::MakePackage(m_strScript, m_aEntries);
    f.write(reinterpret_cast<const char*>(a.data()), static_cast<std::streamsize>(a.size()));
  }
  void TearDown() override { fs::remove_all(m_dir); }

  int Run(const std::vector<std::string>& aArgs) {
    m_out.str("");
    m_err.str("");
    return RunUxs(aArgs, m_out, m_err);
  }

  fs::path m_dir;
  std::ostringstream m_out;
  std::ostringstream m_err;
  const std::string m_strScript = "SET_UPDATE_MODE_ON\r\nOPEN_DATA_FILE,0,dup\r\n";
  const std::vector<std::pair<std::string, V>> m_aEntries = {{"firmware.bin", test::Pattern(5000, 1)},
                                                             {"../../evil", {1, 2, 3}},
                                                             {"", {4}},
                                                             {"a/b\\c", {5, 6}},
                                                             {"Dup", {7}},
                                                             {"dup", {8, 9}},
                                                             {".hidden", {}},
                                                             {"CON", {10}}};
};

TEST_F(UxsPackage, ExtractWritesEveryByteInsideTheFolderUnderSafeNames) {
  ASSERT_EQ(Run({"extract", (m_dir / "in.uxs").string(), (m_dir / "out").string()}), UXS_OK) << m_err.str();
  EXPECT_EQ(ReadAll(m_dir / "out" / "script.txt"), V(m_strScript.begin(), m_strScript.end()));
  const std::vector<std::string> aFiles = {"firmware.bin", "_.._.._evil", "_",        "a_b_c",
                                           "Dup",          "dup~2",       "_.hidden", "_CON"};
  for (std::size_t i = 0; i < aFiles.size(); ++i) {
    EXPECT_EQ(ReadAll(m_dir / "out" / "entries" / aFiles[i]), m_aEntries[i].second) << aFiles[i];
  }
  std::size_t nWritten = 0;
  for (const auto& e : fs::recursive_directory_iterator(m_dir)) nWritten += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(nWritten, 1 + 1 + aFiles.size());  // the package, the script, the entries: nothing else
  EXPECT_NE(m_out.str().find("entry 5 \"dup\" -> " + (m_dir / "out" / "entries" / "dup~2").string() + " (renamed)"),
            std::string::npos)
      << m_out.str();

  // A second extract into the same folder overwrites nothing.
  std::ofstream(m_dir / "out" / "script.txt", std::ios::trunc) << "mine";
  EXPECT_EQ(Run({"extract", (m_dir / "in.uxs").string(), (m_dir / "out").string()}), UXS_FILE_ERROR);
  EXPECT_NE(m_err.str().find("exists already; not overwritten"), std::string::npos);
  EXPECT_EQ(ReadAll(m_dir / "out" / "script.txt"), (V{'m', 'i', 'n', 'e'}));
}

TEST_F(UxsPackage, ShowListsEntriesWithOffsetsChecksumsAndTheOneALookupFinds) {
  ASSERT_EQ(Run({"show", "--json", (m_dir / "in.uxs").string()}), UXS_OK) << m_err.str();
  const std::string s = m_out.str();
  const V aImage = ReadAll(m_dir / "in.uxs");
  std::size_t nOffset = 4 + m_strScript.size();
  for (std::size_t i = 0; i < m_aEntries.size(); ++i) {
    const auto& [strName, aData] = m_aEntries[i];
    nOffset += 4 + strName.size() + 4;
    char szCrc[16];
    std::snprintf(szCrc, sizeof szCrc, "%08X", Crc32(aData));
    const bool bFound = i != 5;  // "dup" hides behind "Dup": letter case does not count
    const std::string strWant = "{\"index\":" + std::to_string(i) + ",\"name\":" + Json(strName) +
                                ",\"length\":" + std::to_string(aData.size()) +
                                ",\"offset\":" + std::to_string(nOffset) + ",\"crc32\":\"" + szCrc +
                                "\",\"found\":" + (bFound ? "true" : "false") +
                                ",\"found_index\":" + std::to_string(bFound ? i : 4) + "}";
    EXPECT_NE(s.find(strWant), std::string::npos) << strWant << "\n" << s;
    EXPECT_EQ(
        V(aImage.begin() + static_cast<long>(nOffset), aImage.begin() + static_cast<long>(nOffset + aData.size())),
        aData);
    nOffset += aData.size();
  }
  EXPECT_EQ(Run({"show", (m_dir / "in.uxs").string()}), UXS_OK);
  EXPECT_NE(m_out.str().find("duplicate: entry 5 \"dup\" is never found; the installer loads entry 4 \"Dup\""),
            std::string::npos)
      << m_out.str();
  EXPECT_EQ(Run({"script", (m_dir / "in.uxs").string()}), UXS_OK);
  EXPECT_EQ(m_out.str(), m_strScript);
}

TEST_F(UxsPackage, PackAfterExtractGivesTheSamePackageByteForByte) {
  ASSERT_EQ(Run({"extract", (m_dir / "in.uxs").string(), (m_dir / "out").string()}), UXS_OK) << m_err.str();
  const std::vector<std::string> aFiles = {"firmware.bin", "_.._.._evil", "_",        "a_b_c",
                                           "Dup",          "dup~2",       "_.hidden", "_CON"};
  std::vector<std::string> aArgs = {"pack", "--script", (m_dir / "out" / "script.txt").string()};
  for (std::size_t i = 0; i < aFiles.size(); ++i) {
    aArgs.insert(aArgs.end(),
                 {"--entry", m_aEntries[i].first + "=" + (m_dir / "out" / "entries" / aFiles[i]).string()});
  }
  aArgs.insert(aArgs.end(), {"-o", (m_dir / "again.uxs").string()});
  ASSERT_EQ(Run(aArgs), UXS_OK) << m_err.str();
  EXPECT_EQ(ReadAll(m_dir / "again.uxs"), ReadAll(m_dir / "in.uxs"));
  EXPECT_EQ(Run({"show", (m_dir / "again.uxs").string()}), UXS_OK);
}

TEST_F(UxsPackage, PackRefusesWhatTheInstallerCannotReadAndLeavesTheOutputAlone) {
  struct CCase {
    std::string strScript;
    bool bKeepLineEnds;
    int nExit;
    const char* pszWhy;
  };
  const CCase aCases[] = {
      {"SET_UPDATE_MODE_ON\nSET_UPDATE_MODE_OFF\r\n", false, UXS_BAD_PACKAGE, "line 1 ends in a bare LF"},
      {"SET_UPDATE_MODE_ON\r\rSET_UPDATE_MODE_OFF\r\n", false, UXS_BAD_PACKAGE, "line 1 holds a CR without LF"},
      {std::string("SET_UPDATE_MODE_ON\r\n\0\r\n", 23), false, UXS_BAD_PACKAGE, ""},
      {std::string("SET_UPDATE_MODE_ON\n\0", 20), true, UXS_BAD_PACKAGE, ""},
      {"SET_UPDATE_MODE_ON\nSET_UPDATE_MODE_OFF\n", true, UXS_OK, ""},
  };
  for (const CCase& c : aCases) {
    std::ofstream(m_dir / "s.txt", std::ios::binary | std::ios::trunc) << c.strScript;
    std::ofstream(m_dir / "out.uxs", std::ios::binary | std::ios::trunc) << "old";
    std::vector<std::string> aArgs = {"pack", "--script", (m_dir / "s.txt").string(), "-o",
                                      (m_dir / "out.uxs").string()};
    if (c.bKeepLineEnds) aArgs.emplace_back("--keep-line-ends");
    EXPECT_EQ(Run(aArgs), c.nExit) << m_err.str();
    EXPECT_NE(m_err.str().find(c.pszWhy), std::string::npos) << m_err.str();
    const V aOut = ReadAll(m_dir / "out.uxs");
    if (c.nExit == UXS_OK) {
      EXPECT_EQ(aOut, test::MakePackage(c.strScript, {}));
    } else {
      EXPECT_EQ(aOut, (V{'o', 'l', 'd'}));
    }
  }
  // Nothing but the output is left beside it.
  std::size_t nFiles = 0;
  for (const auto& e : fs::directory_iterator(m_dir)) nFiles += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(nFiles, 3u);  // in.uxs, s.txt, out.uxs
}

TEST(UxsChecksum, IsTheCommonCrc32) {
  const std::string s = "123456789";
  EXPECT_EQ(Crc32(V(s.begin(), s.end())), 0xCBF43926U);
}

TEST(UxsCommandLine, UsageErrorsAndHelp) {
  struct CCase {
    std::vector<std::string> aArgs;
    int nExit;
    const char* pszText;
  };
  const CCase aCases[] = {
      {{}, UXS_USAGE, "uxs: no command given"},
      {{"frobnicate", "x"}, UXS_USAGE, "uxs: unknown command frobnicate"},
      {{"show"}, UXS_USAGE, "uxs: show takes 1 operand, not 0"},
      {{"plan", "x", "--rate", "fast"}, UXS_USAGE, "uxs: --rate needs a whole number"},
      {{"lint", "/nonexistent/x.uxs"}, UXS_FILE_ERROR, "uxs: cannot open /nonexistent/x.uxs"},
  };
  for (const CCase& c : aCases) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunUxs(c.aArgs, out, err), c.nExit) << c.pszText;
    EXPECT_EQ(err.str().rfind(c.pszText, 0), 0u) << err.str();
  }
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunUxs({"--help"}, out, err), UXS_OK);
  for (const char* psz :
       {"\n  show FILE", "\n  script FILE", "\n  extract FILE DIR", "\n  pack --script", "\n  lint FILE",
        "\n  plan FILE", "--json", "--rate", "--instrument KEY=VALUE", "--keep-line-ends"}) {
    EXPECT_NE(out.str().find(psz), std::string::npos) << psz;
  }
}

TEST(UxsDocs, TheManPageFollowsTheHelpText) {
  std::ifstream in(std::string(VELDA_SOURCE_DIR) + "/docs/uxs.1", std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), UxsManPage()) << "run: cmake --build <build> --target update-uxs-docs";
}

}  // namespace
}  // namespace velda::uxs
