// The winmm suite's main. The test winmm.dll keeps its instrument's threads for the process's
// life, and under Wine the ordinary end of such a process sometimes never returns from the
// libraries' teardown (about one run in six, after every test has passed). So the results are
// flushed and the process ends at once, with the suite's exit code.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int nResult = RUN_ALL_TESTS();
  std::fflush(stdout);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(nResult));
  return nResult;
}
