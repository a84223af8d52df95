// The installation benchmark. Installs a package into the simulated instrument, which answers at
// once, and reports:
//  - on the virtual clock, for a large entry (16 MiB by default): the CPU time per data packet
//    and per MiB, the peak resident memory of the process, and the installer's own share of the
//    heap (what it holds beyond the simulated instrument's memory);
//  - on the real clock, for a small entry (1 MiB by default): the wall-clock time divided by the
//    sum of the pauses the protocol mandates for that very run.
// Every run is checked (completion, message counts, the instrument's memory) before its figures
// count. Exit code 0 when every run was sound, 1 otherwise; goals missed are reported, not fatal.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/install_run.h"
#include "support/process_usage.h"

namespace {

using velda::bench::CRunReport;
using velda::bench::CRunSetup;

constexpr double kGoalCpuPerPacketUs = 50.0;
constexpr double kGoalRealTimeRatio = 1.02;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kGoalShareSlackMiB = 8.0;

struct COptions {
  std::uint32_t nVirtualMiB = 16;
  std::uint32_t nRealTimeMiB = 1;
  std::uint32_t nBlockSize = 0x10000;
  int nRepeat = 3;
  bool bVirtual = true;
  bool bRealTime = true;
  std::vector<std::string> aInstrumentSettings;
};

void PrintUsage() {
  std::printf(
      "usage: bench_install [--virtual-mib N] [--realtime-mib N] [--block-size HEX] [--repeat N]\n"
      "                     [--instrument K=V]... [--no-virtual] [--no-realtime]\n"
      "  --virtual-mib N   entry size of the virtual-clock runs (default 16)\n"
      "  --realtime-mib N  entry size of the real-clock run (default 1)\n"
      "  --block-size HEX  UPDATE_DEVICE block size (default 10000)\n"
      "  --repeat N        virtual-clock runs, the CPU figures taken from the median (default 3)\n"
      "  --instrument K=V  a setting of the simulated instrument (e.g. fault=status02:data-packet:5),\n"
      "                    to see that a run that is not clean is reported and not measured\n");
}

// A whole number in base nBase with nothing after it, at most nMax; false otherwise.
bool ParseNumber(const char* psz, int nBase, unsigned long nMax, unsigned long& nOut) {
  char* pEnd = nullptr;
  errno = 0;
  const unsigned long n = std::strtoul(psz, &pEnd, nBase);
  if (pEnd == psz || *pEnd != '\0' || errno != 0 || n > nMax || psz[0] == '-') return false;
  nOut = n;
  return true;
}

bool ParseOptions(int argc, char** argv, COptions& opt) {
  // Packages hold 32-bit lengths: entries up to 4095 MiB.
  constexpr unsigned long kMaxMiB = 4095;
  for (int i = 1; i < argc; ++i) {
    const std::string strArg = argv[i];
    const char* pszValue = i + 1 < argc ? argv[i + 1] : nullptr;
    unsigned long n = 0;
    if (strArg == "--no-virtual") {
      opt.bVirtual = false;
      continue;
    }
    if (strArg == "--no-realtime") {
      opt.bRealTime = false;
      continue;
    }
    if (pszValue == nullptr) return false;
    ++i;
    if (strArg == "--instrument") {
      opt.aInstrumentSettings.emplace_back(pszValue);
    } else if (strArg == "--virtual-mib" && ParseNumber(pszValue, 10, kMaxMiB, n) && n != 0) {
      opt.nVirtualMiB = static_cast<std::uint32_t>(n);
    } else if (strArg == "--realtime-mib" && ParseNumber(pszValue, 10, kMaxMiB, n) && n != 0) {
      opt.nRealTimeMiB = static_cast<std::uint32_t>(n);
    } else if (strArg == "--block-size" && ParseNumber(pszValue, 16, 0xFFFFFFFFul, n) && n != 0) {
      opt.nBlockSize = static_cast<std::uint32_t>(n);
    } else if (strArg == "--repeat" && ParseNumber(pszValue, 10, 1000, n) && n != 0) {
      opt.nRepeat = static_cast<int>(n);
    } else {
      return false;
    }
  }
  return true;
}

std::string CpuModel() {
  std::ifstream f("/proc/cpuinfo");
  std::string strLine;
  while (std::getline(f, strLine)) {
    if (strLine.rfind("model name", 0) == 0) {
      const std::size_t n = strLine.find(':');
      return n == std::string::npos ? strLine : strLine.substr(n + 2);
    }
  }
  return "unknown";
}

// The bytes of the package file the plan makes: the script, then the one entry.
std::uint64_t PackageBytes(const velda::bench::CBenchPlan& plan) {
  return 4 + velda::bench::BenchScript(plan).size() + 4 + plan.strEntryName.size() + 4 + std::uint64_t{plan.nEntrySize};
}

const char* Verdict(bool bMet) { return bMet ? "met" : "MISSED"; }

void PrintRun(const char* pszTitle, const CRunReport& r) {
  std::printf("  %s: %s\n", pszTitle, r.bOk ? "installed and verified" : ("FAILED: " + r.strProblem).c_str());
  std::printf("    blocks %llu, data packets %llu, requests %llu, replies %llu, loop dispatches %llu\n",
              static_cast<unsigned long long>(r.nBlocksConfirmed), static_cast<unsigned long long>(r.nPacketsStored),
              static_cast<unsigned long long>(r.nRequestsSent), static_cast<unsigned long long>(r.nRepliesDelivered),
              static_cast<unsigned long long>(r.nDispatched));
  std::printf("    CPU %.3f s, wall %.3f s, loop clock at the end %llu ms\n", r.dCpuSeconds, r.dWallSeconds,
              static_cast<unsigned long long>(r.nLoopMs));
  std::printf("    mandated pauses: %s\n", velda::bench::DescribePauseSum(r.pauses).c_str());
}

// Virtual-clock runs: CPU per packet and per MiB (median of the runs), peak resident memory.
bool RunVirtual(const COptions& opt, bool& bGoalMet) {
  CRunSetup setup;
  setup.eClock = fw::CMsgLoop::EClock::Virtual;
  setup.plan.nEntrySize = opt.nVirtualMiB << 20;
  setup.plan.nBlockSize = opt.nBlockSize;
  setup.aInstrumentSettings = opt.aInstrumentSettings;
  std::printf("Virtual clock, %u MiB entry, block size %X, %d run(s)\n", opt.nVirtualMiB, opt.nBlockSize, opt.nRepeat);
  std::vector<double> aCpu;
  bool bSound = true;
  std::uint64_t nPackets = 0;
  std::uint64_t nRssBeforeKiB = 0;
  for (int i = 0; i < opt.nRepeat; ++i) {
    const CRunReport r = velda::bench::RunInstall(setup);
    const std::string strTitle = "run " + std::to_string(i + 1);
    PrintRun(strTitle.c_str(), r);
    if (i == 0) nRssBeforeKiB = r.nRssBeforeKiB;
    bSound = bSound && r.bOk;
    aCpu.push_back(r.dCpuSeconds);
    nPackets = r.nPacketsStored;
  }
  if (!bSound || nPackets == 0) return false;
  std::sort(aCpu.begin(), aCpu.end());
  const double dMedian = aCpu[aCpu.size() / 2];
  const double dPerPacketUs = dMedian / static_cast<double>(nPackets) * 1e6;
  const double dPerMiBMs = dMedian / (static_cast<double>(setup.plan.nEntrySize) / kMiB) * 1e3;
  bGoalMet = dPerPacketUs < kGoalCpuPerPacketUs;
  std::printf("  CPU per data packet: %.1f us (median; min %.1f us)  goal < %.0f us: %s\n", dPerPacketUs,
              aCpu.front() / static_cast<double>(nPackets) * 1e6, kGoalCpuPerPacketUs, Verdict(bGoalMet));
  std::printf("  CPU per MiB: %.2f ms (median)\n", dPerMiBMs);
  const std::uint64_t nPeakKiB = velda::bench::PeakRssKiB();
  std::printf("  peak resident memory of the process: %llu KiB (%.1f MiB; %llu KiB before the first run)\n",
              static_cast<unsigned long long>(nPeakKiB), static_cast<double>(nPeakKiB) / 1024.0,
              static_cast<unsigned long long>(nRssBeforeKiB));

  // One more run, sampling the heap at every dispatch, for the installer's own share of it.
  setup.bHeapShare = true;
  const CRunReport share = velda::bench::RunInstall(setup);
  PrintRun("heap-sampling run", share);
  if (!share.bOk) return false;
  const double dPackage = static_cast<double>(PackageBytes(setup.plan));
  const double dShare = static_cast<double>(share.nInstallerPeakBytes);
  const bool bShareMet = dShare <= dPackage + kGoalShareSlackMiB * kMiB;
  std::printf("  the installer's own share of the heap at its peak: %.1f MiB = %.3f x the package (%.1f MiB)\n",
              dShare / kMiB, dShare / dPackage, dPackage / kMiB);
  std::printf("    goal <= 1 x package + %.0f MiB: %s; the simulated instrument's memory at the end: %.1f MiB\n\n",
              kGoalShareSlackMiB, Verdict(bShareMet), static_cast<double>(share.nInstrumentBytes) / kMiB);
  bGoalMet = bGoalMet && bShareMet;
  return true;
}

// Real-clock run, after a virtual twin of the same package whose protocol time checks the count
// of mandated pauses.
bool RunRealTime(const COptions& opt, bool& bGoalMet) {
  CRunSetup setup;
  setup.plan.nEntrySize = opt.nRealTimeMiB << 20;
  setup.plan.nBlockSize = opt.nBlockSize;
  setup.bTraceReplies = true;
  setup.aInstrumentSettings = opt.aInstrumentSettings;
  std::printf("Real clock, %u MiB entry, block size %X\n", opt.nRealTimeMiB, opt.nBlockSize);

  setup.eClock = fw::CMsgLoop::EClock::Virtual;
  // Its protocol time equals the mandated sum (checked by the run): the count of pauses is whole.
  const CRunReport twin = velda::bench::RunInstall(setup);
  PrintRun("virtual twin", twin);
  const std::uint64_t nTwinMandated = velda::bench::MandatedPauseMs(twin.pauses);
  if (!twin.bOk) return false;

  setup.eClock = fw::CMsgLoop::EClock::Real;
  setup.nLimitMs = nTwinMandated * 4 + 60'000;
  const CRunReport r = velda::bench::RunInstall(setup);
  PrintRun("real clock", r);
  if (!r.bOk) return false;
  if (r.pauses.nReplies != twin.pauses.nReplies) {
    // On the real clock the reply to the last request (the transfer-speed reset) races the
    // closing of the window; once the window is gone it is not taken and costs no pause.
    const bool bLastOnly = r.pauses.nReplies + 1 == twin.pauses.nReplies;
    std::printf("    replies taken: %llu here, %llu in the virtual twin%s\n",
                static_cast<unsigned long long>(r.pauses.nReplies),
                static_cast<unsigned long long>(twin.pauses.nReplies),
                bLastOnly ? " (the last one came after the window closed)" : "");
  }
  const double dMandated = static_cast<double>(velda::bench::MandatedPauseMs(r.pauses)) / 1e3;
  const double dRatio = r.dWallSeconds / dMandated;
  bGoalMet = dRatio <= kGoalRealTimeRatio;
  std::printf("  wall %.3f s / mandated %.3f s = %.4f  goal <= %.2f: %s\n", r.dWallSeconds, dMandated, dRatio,
              kGoalRealTimeRatio, Verdict(bGoalMet));
  // Between a reply and the next request lie the reply's pause and, here, the entry's load.
  const double dPausesBetween = static_cast<double>(r.nAfterReplyGaps * velda::bench::kReplyPauseMs +
                                                    r.pauses.nEntriesLoaded * velda::bench::kEntryLoadPauseMs) /
                                1e3;
  std::printf("  overhead beyond the mandated pauses: %.1f ms (CPU of the run %.1f ms)\n",
              (r.dWallSeconds - dMandated) * 1e3, r.dCpuSeconds * 1e3);
  std::printf("    of which request-to-reply round trips %.1f ms, reply-to-next-request beyond the pauses %.1f ms\n\n",
              r.dRoundTripSeconds * 1e3, (r.dAfterReplySeconds - dPausesBetween) * 1e3);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  COptions opt;
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    PrintUsage();
    return 0;
  }
  if (!ParseOptions(argc, argv, opt)) {
    PrintUsage();
    return 2;
  }
  std::printf("Machine: %u processors, %s\n\n", std::thread::hardware_concurrency(), CpuModel().c_str());
  bool bSound = true;
  bool bCpuGoal = false;
  bool bRatioGoal = false;
  // The large run first, so that the peak resident memory is its own.
  if (opt.bVirtual) bSound = RunVirtual(opt, bCpuGoal) && bSound;
  if (opt.bRealTime) bSound = RunRealTime(opt, bRatioGoal) && bSound;
  const bool bGoals = (!opt.bVirtual || bCpuGoal) && (!opt.bRealTime || bRatioGoal);
  if (!bSound) {
    std::printf("Result: A RUN FAILED; its figures are not measurements\n");
    return 1;
  }
  std::printf("Result: all runs sound; goals %s\n", bGoals ? "met" : "MISSED");
  return 0;
}
