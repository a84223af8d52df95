// One whole run of the installer program against the simulated instrument, as a user runs it:
// the program's start-up, the four questions answered OK, the real message loop, the real port
// objects on the virtual MIDI driver, the instrument answering at once. On the virtual clock the
// instrument's events run on the installer's thread; on the real clock a device thread plays the
// driver's thread. The run is measured, then checked: a run that did not install the entry
// exactly is reported as a problem, never as a measurement.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fw/msgloop.h"
#include "support/bench_package.h"
#include "support/pause_budget.h"
#include "support/upload_counts.h"

namespace velda::bench {

struct CRunSetup {
  fw::CMsgLoop::EClock eClock = fw::CMsgLoop::EClock::Virtual;
  CBenchPlan plan;
  // Milliseconds on the loop's clock after which the run is abandoned (virtual or wall time).
  std::uint64_t nLimitMs = 3'600'000;
  // Counts the replies from the installer's trace (costs the formatting of every message); else
  // the instrument's count of replies is taken.
  bool bTraceReplies = false;
  // Settings of the simulated instrument ("key=value", as its hosts take them), applied after
  // the benchmark's own (latency 0, no restart into update mode): faults, to see that a broken
  // run is caught. The figures are defined for an instrument that answers at once.
  std::vector<std::string> aInstrumentSettings;
  // Samples the heap at every dispatch of the loop to find the installer's own share of memory
  // (costs CPU: the figures of CPU time are not taken from such a run).
  bool bHeapShare = false;
};

struct CRunReport {
  bool bOk = false;                     // the entry was installed exactly and the installation completed
  std::string strProblem;               // what was wrong, when not
  double dCpuSeconds = 0;               // CPU time of the process while the program ran
  double dWallSeconds = 0;              // wall-clock time while the program ran
  std::uint64_t nLoopMs = 0;            // the loop's clock when the program ended (virtual: protocol time)
  std::uint64_t nRssBeforeKiB = 0;      // resident set when the program started
  CUploadCounts expected;               // what the upload must cost
  CPauseCounts pauses;                  // what happened that the protocol pauses for
  std::uint64_t nRequestsSent = 0;      // messages handed to the driver
  std::uint64_t nRepliesDelivered = 0;  // replies the instrument handed to the driver
  std::uint64_t nPacketsStored = 0;
  std::uint64_t nBlocksConfirmed = 0;
  std::uint64_t nDispatched = 0;  // messages the loop dispatched
  // With bTraceReplies: wall-clock seconds from each request to its reply, summed, and from each
  // reply to the next request, summed (this holds the pause of each reply and any entry load).
  double dRoundTripSeconds = 0;
  double dAfterReplySeconds = 0;
  std::uint64_t nAfterReplyGaps = 0;  // replies followed by a request
  // With bHeapShare: the largest heap the installer held beyond what it held at its start, that
  // is the heap in use less the simulated instrument's memory, sampled at every dispatch; and the
  // instrument's memory at the end.
  std::uint64_t nInstallerPeakBytes = 0;
  std::uint64_t nInstrumentBytes = 0;
};

CRunReport RunInstall(const CRunSetup& setup);

}  // namespace velda::bench
