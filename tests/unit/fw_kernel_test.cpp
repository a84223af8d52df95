// Whole-file reads and the single-instance lock.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fw/kernel.h"

namespace {

std::filesystem::path TempDir() {
  auto p = std::filesystem::temp_directory_path() / ("velda-kernel-" + std::to_string(::getpid()));
  std::filesystem::create_directories(p);
  return p;
}

TEST(Kernel, ReadsAWholeFileOrSaysWhyNot) {
  const auto dir = TempDir();
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
  std::filesystem::remove_all(dir);
}

TEST(Kernel, OnlyOneHolderOfTheLockAtATime) {
  const auto dir = TempDir();
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
  std::filesystem::remove_all(dir);
}

}  // namespace
