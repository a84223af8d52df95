#include "support/pause_budget.h"

namespace velda::bench {

namespace {

std::string Term(std::uint64_t nCount, std::uint64_t nMs) {
  return std::to_string(nCount) + " x " + std::to_string(nMs);
}

}  // namespace

std::uint64_t MandatedPauseMs(const CPauseCounts& counts) {
  return kStartupPauseMs + kStartDelayMs + counts.nReplies * kReplyPauseMs + counts.nEntriesLoaded * kEntryLoadPauseMs +
         counts.nPortCloses * kPortClosePauseMs + counts.nInputStops * kInputStopPauseMs;
}

std::string DescribePauseSum(const CPauseCounts& counts) {
  return std::to_string(kStartupPauseMs) + " + " + std::to_string(kStartDelayMs) + " + " +
         Term(counts.nReplies, kReplyPauseMs) + " + " + Term(counts.nEntriesLoaded, kEntryLoadPauseMs) + " + " +
         Term(counts.nPortCloses, kPortClosePauseMs) + " + " + Term(counts.nInputStops, kInputStopPauseMs) + " = " +
         std::to_string(MandatedPauseMs(counts)) + " ms";
}

}  // namespace velda::bench
