// Every package of the corpus gets the verdict its folder names.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "fw/kernel.h"
#include "script/package_check.h"

namespace velda {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(VELDA_TEST_DATA_DIR) / "corpus";

TEST(PackageCorpus, EachInvalidPackageReportsTheFaultItsFolderNames) {
  std::set<std::string> seen;
  for (const fs::directory_entry& dir : fs::directory_iterator(kCorpus / "invalid")) {
    if (!dir.is_directory()) continue;
    const std::string strReason = dir.path().filename().string();
    const fw::CFileResult file = fw::ReadWholeFile((dir.path() / "velda.uxs").string());
    ASSERT_TRUE(file.bOk) << strReason << ": " << file.strError;
    const CPackageCheck check = CheckPackage(file.aData);
    EXPECT_EQ(PackageFaultName(check.eFault), strReason) << check.strDescription;
    EXPECT_FALSE(check.strDescription.empty()) << strReason;
    seen.insert(strReason);
  }
  // Every fault a file can show has its sample.
  const std::set<std::string> expected = {"truncated-header",     "script-length-past-end", "nul-in-script",
                                          "name-length-past-end", "name-past-end",          "data-length-past-end",
                                          "data-past-end"};
  EXPECT_EQ(seen, expected);
}

TEST(PackageCorpus, EachValidPackagePasses) {
  int nCount = 0;
  for (const fs::directory_entry& dir : fs::directory_iterator(kCorpus / "valid")) {
    if (!dir.is_directory()) continue;
    const fw::CFileResult file = fw::ReadWholeFile((dir.path() / "velda.uxs").string());
    ASSERT_TRUE(file.bOk) << dir.path() << ": " << file.strError;
    const CPackageCheck check = CheckPackage(file.aData);
    EXPECT_TRUE(check.IsSound()) << dir.path() << ": " << check.strDescription;
    ++nCount;
  }
  EXPECT_GE(nCount, 2);
}

}  // namespace
}  // namespace velda
