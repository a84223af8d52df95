#include "support/process_usage.h"

#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

namespace velda::bench {

double ProcessCpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::uint64_t PeakRssKiB() {
  rusage ru{};
  ::getrusage(RUSAGE_SELF, &ru);
  return static_cast<std::uint64_t>(ru.ru_maxrss);  // KiB on Linux
}

std::uint64_t CurrentRssKiB() {
  std::ifstream f("/proc/self/status");
  std::string strLine;
  while (std::getline(f, strLine)) {
    if (strLine.rfind("VmRSS:", 0) == 0) return std::strtoull(strLine.c_str() + 6, nullptr, 10);
  }
  return 0;
}

std::uint64_t HeapInUseBytes() {
  const struct mallinfo2 mi = ::mallinfo2();
  return static_cast<std::uint64_t>(mi.uordblks) + static_cast<std::uint64_t>(mi.hblkhd);
}

}  // namespace velda::bench
