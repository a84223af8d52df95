// The soak (make soak): many consecutive virtual installations in one process, each under a random
// fault from a fixed seed. Every run must end completed with the package's memory or with the user
// told, and the resident memory must stay flat from the first runs to the last.
//   soak [RUNS [SEED]]      (default 2000 runs, seed 12)
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "midi/driver/midi_driver.h"
#include "support/fault_run.h"

namespace {

using namespace velda;

// Resident memory now, in KiB.
long ResidentKiB() {
  std::ifstream in("/proc/self/status");
  std::string strLine;
  while (std::getline(in, strLine)) {
    if (strLine.rfind("VmRSS:", 0) == 0) return std::strtol(strLine.c_str() + 6, nullptr, 10);
  }
  return 0;
}

double Mean(const std::vector<long>& a, std::size_t nFrom, std::size_t nTo) {
  double f = 0;
  for (std::size_t i = nFrom; i < nTo; ++i) f += static_cast<double>(a[i]);
  return nTo > nFrom ? f / static_cast<double>(nTo - nFrom) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int nRuns = argc > 1 ? std::atoi(argv[1]) : 2000;
  const unsigned nSeed = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 12;
  std::mt19937 rng(nSeed);
  std::vector<long> aRss;
  int nBreaches = 0;
  int nCompleted = 0;
  int nTold = 0;
  for (int i = 0; i < nRuns; ++i) {
    CFaultPlan plan;
    const int nRules = static_cast<int>(rng() % 3);
    for (int r = 0; r < nRules; ++r) {
      CFaultRule rule;
      rule.eFault = static_cast<EInstrumentFault>(1 + rng() % 10);
      rule.eRequest = static_cast<EInstrumentRequest>(rng() % kInstrumentRequestKinds);
      rule.nOccurrence = 1 + rng() % 9;
      rule.nCount = 1 + rng() % 4;
      plan.aRules.push_back(rule);
    }
    plan.nLateMs = rng() % 2 == 0 ? 5'000 : 125'000;
    const test::CEnding ending = test::RunInstallation(plan);
    const bool bCompleted = ending.eOutcome == EOutcome::Completed;
    if (!ending.bTold || (bCompleted && !ending.bMemoryMatches)) {
      ++nBreaches;
      std::printf("run %d: breach (%s, box \"%s\")\n", i, NameOf(ending.eOutcome), ending.strBox.c_str());
    }
    nCompleted += bCompleted ? 1 : 0;
    nTold += bCompleted ? 0 : 1;
    aRss.push_back(ResidentKiB());
  }
  const std::size_t nQuarter = aRss.size() / 4;
  const double fFirst = Mean(aRss, 0, nQuarter);
  const double fLast = Mean(aRss, aRss.size() - nQuarter, aRss.size());
  const bool bFlat = fLast <= fFirst + 2048;
  std::printf("buffers kept for drivers that would not let go: %zu\n", KeptForDriverCount());
  std::printf("resident memory by quarter (KiB):");
  for (std::size_t q = 0; q < 4; ++q) std::printf(" %.0f", Mean(aRss, q * nQuarter, (q + 1) * nQuarter));
  std::printf("\n");
  std::printf(
      "soak: %d runs, seed %u: %d completed with equal memory, %d told, %d breaches; "
      "resident memory first quarter %.0f KiB, last quarter %.0f KiB (%s)\n",
      nRuns, nSeed, nCompleted, nTold, nBreaches, fFirst, fLast, bFlat ? "flat" : "GROWING");
  return nBreaches == 0 && bFlat ? 0 : 1;
}
