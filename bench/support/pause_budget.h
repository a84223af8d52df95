// The pauses the protocol itself mandates for one run of the installer: what a perfect
// implementation on an instrument that answers at once would spend waiting. The real-time figure
// of the benchmark is the wall-clock time divided by this sum.
#pragma once

#include <cstdint>
#include <string>

namespace velda::bench {

inline constexpr std::uint64_t kStartupPauseMs = 5000;   // after the ports are opened
inline constexpr std::uint64_t kStartDelayMs = 1500;     // the start timer
inline constexpr std::uint64_t kReplyPauseMs = 15;       // per reply taken from the input
inline constexpr std::uint64_t kEntryLoadPauseMs = 100;  // per data entry loaded
inline constexpr std::uint64_t kPortClosePauseMs = 100;  // after each port closed by ClosePorts
inline constexpr std::uint64_t kInputStopPauseMs = 100;  // after each of the stops of an input close

// What happened in a run, as counted by the benchmark.
struct CPauseCounts {
  std::uint64_t nReplies = 0;  // replies the installer took from its input while its window lived
  std::uint64_t nEntriesLoaded = 0;
  std::uint64_t nPortCloses = 0;  // closes made by ClosePorts (port recovery, MIDI Port)
  std::uint64_t nInputStops = 0;  // stops of the input device that did not find it gone
};

// The sum in milliseconds: the start-up pause and the start timer once, the rest per count.
std::uint64_t MandatedPauseMs(const CPauseCounts& counts);

// The same sum written out term by term, e.g. "5000 + 1500 + 431 x 15 + 1 x 100 + 0 x 100 +
// 3 x 100 = 13365 ms".
std::string DescribePauseSum(const CPauseCounts& counts);

}  // namespace velda::bench
