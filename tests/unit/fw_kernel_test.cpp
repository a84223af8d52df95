// Whole-file reads and the single-instance lock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fw/kernel.h"
#include "support/temp_folder.h"

namespace {

using velda::test::CTempFolder;

TEST(Kernel, ReadsAWholeFileOrSaysWhyNot) {
  const CTempFolder temp("velda-kernel");
  const auto& dir = temp.Path();
  const auto file = dir / "f.bin";
  {
    std::ofstream f(file, std::ios::binary);
    f.write("\x00\xFF\x10", 3);
  }
  const fw::CFileResult ok = fw::ReadWholeFile(file.string());
  ASSERT_TRUE(ok.bOk);
  EXPECT_EQ(ok.aData, (std::vector<fw::BYTE>{0x00, 0xFF, 0x10}));

  const fw::CFileResult missing = fw::ReadWholeFile((dir / "nope.uxs").string());
  EXPECT_FALSE(missing.bOk);
  EXPECT_EQ(missing.strError, "No such file or directory");

  const fw::CFileResult folder = fw::ReadWholeFile(dir.string());
  EXPECT_FALSE(folder.bOk);
  EXPECT_EQ(folder.strError, "Is a directory");
}

TEST(Kernel, OnlyOneHolderOfTheLockAtATime) {
  const CTempFolder temp("velda-kernel");
  const auto& dir = temp.Path();
  EXPECT_FALSE(fw::CSingleInstanceLock::IsHeldElsewhere("hSornHandle", dir.string()));
  {
    fw::CSingleInstanceLock first;
    ASSERT_TRUE(first.Acquire("hSornHandle", dir.string()));
    EXPECT_TRUE(fw::CSingleInstanceLock::IsHeldElsewhere("hSornHandle", dir.string()));
    fw::CSingleInstanceLock second;
    EXPECT_FALSE(second.Acquire("hSornHandle", dir.string()));
  }
  // Released with its holder, as a mutex is when its process ends.
  fw::CSingleInstanceLock third;
  EXPECT_TRUE(third.Acquire("hSornHandle", dir.string()));
}

}  // namespace
