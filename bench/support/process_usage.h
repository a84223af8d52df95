// What the process has used so far: CPU time of all its threads, and resident memory.
#pragma once

#include <cstdint>

namespace velda::bench {

// CPU time of the whole process (every thread, user and system), in seconds.
double ProcessCpuSeconds();
// Wall-clock seconds on the monotonic clock, from an arbitrary origin.
double WallSeconds();
// The largest resident set the process has had, in KiB.
std::uint64_t PeakRssKiB();
// The resident set now, in KiB (0 when it cannot be read).
std::uint64_t CurrentRssKiB();
// Bytes of the heap allocated and not yet freed, over every arena (the C library's own count).
std::uint64_t HeapInUseBytes();

// The largest value a sampled figure reached.
class CPeak {
 public:
  void Sample(std::uint64_t n) { m_nPeak = n > m_nPeak ? n : m_nPeak; }
  std::uint64_t Peak() const { return m_nPeak; }

 private:
  std::uint64_t m_nPeak = 0;
};

}  // namespace velda::bench
