// Whole-file reads and the single-instance lock.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>

#include "fw/kernel.h"
#include "support/temp_folder.h"

namespace {

using velda::test::CTempFolder;

// The system's own words for the two failures.
#ifdef _WIN32
constexpr const char* TXT_NO_FILE = "File not found";
constexpr const char* TXT_FOLDER = "Directory name invalid";
#else
constexpr const char* TXT_NO_FILE = "No such file or directory";
constexpr const char* TXT_FOLDER = "Is a directory";
#endif

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
  EXPECT_EQ(missing.strError, TXT_NO_FILE);

  const fw::CFileResult folder = fw::ReadWholeFile(dir.string());
  EXPECT_FALSE(folder.bOk);
  EXPECT_EQ(folder.strError, TXT_FOLDER);
}

TEST(Kernel, OnlyOneHolderOfTheLockAtATime) {
  const CTempFolder temp("velda-kernel");
  const std::string strScope = temp.Path().string();
  EXPECT_EQ(fw::CSingleInstanceLock::Probe("hSornHandle", strScope), fw::ELock::Ok);
  {
    fw::CSingleInstanceLock first;
    ASSERT_EQ(first.Acquire("hSornHandle", strScope), fw::ELock::Ok);
    EXPECT_EQ(fw::CSingleInstanceLock::Probe("hSornHandle", strScope), fw::ELock::HeldElsewhere);
    fw::CSingleInstanceLock second;
    EXPECT_EQ(second.Acquire("hSornHandle", strScope), fw::ELock::HeldElsewhere);
    // Another scope is another lock: runs in other folders never meet.
    fw::CSingleInstanceLock other;
    EXPECT_EQ(other.Acquire("hSornHandle", strScope + "-other"), fw::ELock::Ok);
  }
  // Released with its holder, as a mutex is when its process ends.
  fw::CSingleInstanceLock third;
  EXPECT_EQ(third.Acquire("hSornHandle", strScope), fw::ELock::Ok);
}

// A scope too long for a lock's name still names a lock of its own.
TEST(Kernel, LongScopesAreLocksOfTheirOwn) {
  const std::string strLong(300, 'a');
  EXPECT_LE(fw::LockAddress("hSornHandle", strLong + "1").size(), 107u);
  EXPECT_NE(fw::LockAddress("hSornHandle", strLong + "1"), fw::LockAddress("hSornHandle", strLong + "2"));
  fw::CSingleInstanceLock a;
  ASSERT_EQ(a.Acquire("hSornHandle", strLong + "1"), fw::ELock::Ok);
  EXPECT_EQ(fw::CSingleInstanceLock::Probe("hSornHandle", strLong + "1"), fw::ELock::HeldElsewhere);
  EXPECT_EQ(fw::CSingleInstanceLock::Probe("hSornHandle", strLong + "2"), fw::ELock::Ok);
}

#ifndef _WIN32
// With no file descriptor left the lock cannot be had at all: that is told apart from another
// holder, with the system's reason.
TEST(Kernel, NoLockAtAllIsNotASecondCopy) {
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  const int nFree = ::dup(0);  // the lowest free descriptor
  ASSERT_GE(nFree, 0);
  ::close(nFree);
  rlimit low = old;
  low.rlim_cur = static_cast<rlim_t>(nFree);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  fw::CSingleInstanceLock lock;
  const fw::ELock eResult = lock.Acquire("hSornHandle", "velda-no-fd-" + std::to_string(::getpid()));
  ::setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_EQ(eResult, fw::ELock::Unavailable);
  EXPECT_EQ(lock.Error(), "Too many open files");
}
#endif

}  // namespace
