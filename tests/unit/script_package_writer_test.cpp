// The package writer: what it writes reads back through the installer's own reader, and what the
// installer would refuse is refused before anything is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "script/package_check.h"
#include "script/package_reader.h"
#include "script/package_writer.h"

namespace velda {
namespace {

using Bytes = std::vector<fw::BYTE>;

struct CPackageCase {
  const char* pszName;
  std::string strScript;
  std::vector<std::pair<std::string, Bytes>> aEntries;
};

std::vector<CPackageEntry> Parts(const CPackageCase& c) {
  std::vector<CPackageEntry> a;
  for (const auto& [strName, aData] : c.aEntries) a.push_back({strName, aData});
  return a;
}

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::filesystem::path TempPath(const std::string& strName) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("velda-writer-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::filesystem::create_directories(dir);
  return dir / strName;
}

class PackageWriterRoundTrip : public ::testing::TestWithParam<CPackageCase> {};

TEST_P(PackageWriterRoundTrip, ReadsBackThroughTheInstallersReader) {
  const CPackageCase& c = GetParam();
  Bytes a;
  ASSERT_TRUE(BuildPackage(c.strScript, Parts(c), a).IsOk());
  ASSERT_TRUE(CheckPackage(a).IsSound()) << CheckPackage(a).strDescription;
  UINT nPos = 0;
  UINT nScriptLen = 0;
  ASSERT_TRUE(ReadBigEndianU32(a, nPos, nScriptLen));
  EXPECT_EQ(std::string(DecodeInverted(std::span<const BYTE>(a).subspan(nPos, nScriptLen)).View()), c.strScript);
  for (const auto& [strName, aData] : c.aEntries) {
    fw::CString strLower(strName);
    const CEntryLookup found = FindPackageEntry(a, nPos + nScriptLen, strLower.MakeLower());
    ASSERT_TRUE(found.bFound) << strName;
    UINT nAt = found.nPos;
    UINT nSize = 0;
    ASSERT_TRUE(ReadBigEndianU32(a, nAt, nSize));
    EXPECT_EQ(Bytes(a.begin() + nAt, a.begin() + nAt + nSize), aData) << strName;
  }

  // The file writer writes the same bytes, and nothing is left beside them.
  const auto path = TempPath("velda.uxs");
  ASSERT_TRUE(WritePackageFile(path.string(), c.strScript, Parts(c)).IsOk());
  EXPECT_EQ(ReadAll(path), a);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1);
  std::filesystem::remove_all(path.parent_path());
}

INSTANTIATE_TEST_SUITE_P(
    Packages, PackageWriterRoundTrip,
    ::testing::Values(CPackageCase{"EmptyScriptNoEntries", "", {}},
                      CPackageCase{"ScriptOnly", "SET_UPDATE_MODE_ON\r\nSET_UPDATE_MODE_OFF\r\n", {}},
                      CPackageCase{"Entries",
                                   "OPEN_DATA_FILE,0,main.bin\r\n",
                                   {{"MAIN.BIN", {0x00, 0xFF, 0x80, 0x7F}}, {"empty", {}}, {"b", Bytes(300, 0xFF)}}}),
    [](const auto& param) { return std::string(param.param.pszName); });

TEST(PackageWriter, RefusesAScriptWithANulAndLeavesTheTargetAsItWas) {
  const std::string strScript("SET_UPDATE_MODE_ON\r\n\0X", 22);
  Bytes a{1, 2};
  const CPackageWrite built = BuildPackage(strScript, {}, a);
  EXPECT_EQ(built.eFault, EPackageWriteFault::NulInScript);
  EXPECT_NE(built.strError.find("NUL character at byte 20"), std::string::npos) << built.strError;
  EXPECT_TRUE(a.empty());

  const auto path = TempPath("velda.uxs");
  std::ofstream(path) << "old";
  EXPECT_EQ(WritePackageFile(path.string(), strScript, {}).eFault, EPackageWriteFault::NulInScript);
  EXPECT_EQ(ReadAll(path), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1);
  std::filesystem::remove_all(path.parent_path());
}

struct CStreamCase {
  const char* pszName;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> aEntries;  // announced size, bytes given
  EPackageWriteFault eFault;
};

class PackageFileWriterRefuses : public ::testing::TestWithParam<CStreamCase> {};

// Sizes the format cannot hold are refused when announced, before any data is needed; an entry
// that gets other than its announced bytes is refused too. No file is left behind.
TEST_P(PackageFileWriterRefuses, WhatTheInstallerCouldNotReadAndLeavesNoFile) {
  const auto path = TempPath("velda.uxs");
  {
    CPackageFileWriter writer(path.string(), "OPEN_DATA_FILE,0,a\r\n");
    const Bytes aChunk(1000, 0x5A);
    for (const auto& [nAnnounced, nGiven] : GetParam().aEntries) {
      writer.BeginEntry("a", nAnnounced);
      for (std::uint64_t n = 0; n < nGiven; n += aChunk.size()) {
        writer.AppendData(
            {aChunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(aChunk.size(), nGiven - n))});
      }
    }
    const CPackageWrite r = writer.Commit();
    EXPECT_EQ(r.eFault, GetParam().eFault);
    EXPECT_FALSE(r.strError.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(std::filesystem::is_empty(path.parent_path()));
  std::filesystem::remove_all(path.parent_path());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PackageFileWriterRefuses,
    ::testing::Values(CStreamCase{"DataTooLong", {{0x100000000ull, 0}}, EPackageWriteFault::DataTooLong},
                      CStreamCase{"TooLarge", {{0xFFFFFFF0ull, 0}}, EPackageWriteFault::TooLarge},
                      CStreamCase{"FewerBytes", {{2000, 1500}}, EPackageWriteFault::WrongSize},
                      CStreamCase{"MoreBytes", {{1500, 2000}}, EPackageWriteFault::WrongSize},
                      CStreamCase{"CutShortByTheNext", {{10, 0}, {10, 10}}, EPackageWriteFault::WrongSize}),
    [](const auto& param) { return std::string(param.param.pszName); });

}  // namespace
}  // namespace velda
