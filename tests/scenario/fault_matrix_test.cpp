// Every fault the instrument can show, on the first, a middle and the last request of every kind
// of a whole installation. Whatever happens, the run ends either completed with the instrument
// holding exactly the package's bytes, or with the user told (a box, an outcome and its exit
// code), and never later than the waits allow. Prints the table of outcomes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "instrument/fault_plan.h"
#include "instrument/instrument_memory.h"
#include "instrument/request_kind.h"
#include "shell/outcome.h"
#include "shell/steps.h"
#include "shell/texts.h"
#include "support/fault_run.h"
#include "support/rig.h"
#include "support/scenario_util.h"

namespace velda::test {
namespace {

using V = std::vector<std::uint8_t>;
using R = EInstrumentRequest;
using F = EInstrumentFault;

// The longest wait for a reply, the port recovery (settle, close, reopen, two mode-ons) and a
// tick of slack: no told state may come later than this after the clean run's end.
constexpr std::uint64_t kLongestWaitMs = 240 * 500;
constexpr std::uint64_t kRecoveryMs = 10'000 + 7'500 + 7'500 + 5'000;

const CEnding& CleanRun() {
  static const CEnding s_clean = RunInstallation(CFaultPlan{});
  return s_clean;
}

// ---- the cells ----

struct CFaultColumn {
  const char* pszName;
  F eFault;
  std::uint32_t nCount;  // consecutive occurrences
  std::uint32_t nLateMs = 125'000;
};

const CFaultColumn kColumns[] = {
    {"no-reply", F::NoReply, 1},         {"refuse", F::Refuse, 1},
    {"status02x3", F::Status02, 3},      {"status02x4", F::Status02, 4},
    {"corrupt", F::CorruptReply, 1},     {"split", F::SplitReply, 1},
    {"double", F::DoubleReply, 1},       {"foreign", F::ForeignReply, 1},
    {"slow", F::LateReply, 1, 5'000},    {"late", F::LateReply, 1},
    {"never-return", F::NeverReturn, 1}, {"vanish", F::Vanish, 1},
};

enum class EPlace { First, Middle, Last };
const char* PlaceName(EPlace e) { return e == EPlace::First ? "first" : e == EPlace::Middle ? "middle" : "last"; }

struct CCell {
  R eRequest;
  EPlace ePlace;
  std::size_t nColumn;
};

std::vector<CCell> AllCells() {
  std::vector<CCell> a;
  for (std::size_t k = 0; k < kInstrumentRequestKinds; ++k) {
    for (const EPlace e : {EPlace::First, EPlace::Middle, EPlace::Last}) {
      for (std::size_t c = 0; c < std::size(kColumns); ++c) a.push_back({static_cast<R>(k), e, c});
    }
  }
  return a;
}

std::uint32_t OccurrenceOf(R eRequest, EPlace ePlace) {
  const std::uint32_t n = CleanRun().aReceived[static_cast<std::size_t>(eRequest)];
  if (ePlace == EPlace::First || n <= 1) return 1;
  return ePlace == EPlace::Middle ? (n + 1) / 2 : n;
}

// The letter a cell shows: C completed, R refused, T timed out, P port dialog, other outcomes by
// their exit code; X a breach.
struct CResult {
  std::string strCell;
  bool bBreach = false;
};

std::mutex g_mx;
std::map<std::tuple<std::size_t, int, std::size_t>, CResult> g_results;
double g_fSeconds = 0;

class FaultMatrix : public ::testing::TestWithParam<CCell> {};

TEST_P(FaultMatrix, EndsCompleteAndEqualOrTold) {
  const CCell& cell = GetParam();
  const CFaultColumn& column = kColumns[cell.nColumn];
  const CEnding& clean = CleanRun();
  ASSERT_EQ(clean.eOutcome, EOutcome::Completed) << clean.strBox;
  ASSERT_TRUE(clean.bMemoryMatches);

  const auto t0 = std::chrono::steady_clock::now();
  CFaultPlan plan;
  plan.nLateMs = column.nLateMs;
  plan.aRules.push_back(Fault(column.eFault, cell.eRequest, OccurrenceOf(cell.eRequest, cell.ePlace), column.nCount));
  const CEnding ending = RunInstallation(plan);
  const double fSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  CResult result;
  const bool bCompleted = ending.eOutcome == EOutcome::Completed;
  EXPECT_TRUE(ending.bTold) << "the run ended silently or hangs";
  EXPECT_TRUE(!bCompleted || ending.bMemoryMatches) << "completion reported over memory that differs";
  EXPECT_TRUE(!bCompleted || ending.strBox == TXT_COMPLETED) << ending.strBox;
  EXPECT_TRUE(bCompleted || ending.strBox != TXT_COMPLETED);
  EXPECT_TRUE(!ending.bTold || ending.eOutcome != EOutcome::None || ending.strBox.empty())
      << "a box without an outcome: " << ending.strBox;
  EXPECT_LE(ending.nEndMs, clean.nEndMs + kLongestWaitMs + kRecoveryMs + 500) << "told too late";
  EXPECT_GT(ending.nFaultsApplied, 0u) << "the fault never met its request";
  result.bBreach = ::testing::Test::HasFailure();
  if (result.bBreach) {
    result.strCell = "X";
  } else if (!ending.strBox.empty()) {
    result.strCell = bCompleted                              ? "C"
                     : ending.eOutcome == EOutcome::Refused  ? "R"
                     : ending.eOutcome == EOutcome::TimedOut ? "T"
                                                             : std::to_string(ExitCodeOf(ending.eOutcome));
  } else {
    result.strCell = "P";
  }
  std::lock_guard<std::mutex> lock(g_mx);
  g_results[{static_cast<std::size_t>(cell.eRequest), static_cast<int>(cell.ePlace), cell.nColumn}] = result;
  g_fSeconds += fSeconds;
}

std::string CellName(const ::testing::TestParamInfo<CCell>& param) {
  std::string str = std::string(sim::RequestName(param.param.eRequest)) + "_" + PlaceName(param.param.ePlace) + "_" +
                    kColumns[param.param.nColumn].pszName;
  for (char& c : str) {
    if (c == '-') c = '_';
  }
  return str;
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::ValuesIn(AllCells()), CellName);

// Prints the table once every cell has run.
class CTablePrinter : public ::testing::Environment {
 public:
  void TearDown() override {
    std::lock_guard<std::mutex> lock(g_mx);
    if (g_results.empty()) return;
    std::map<std::string, int> aCounts;
    std::printf(
        "\nFault matrix (C completed with memory equal, R refused, T timed out, P port dialog,\n"
        "digits: another exit code, X breach), occurrence in brackets\n%-22s",
        "request");
    for (const CFaultColumn& column : kColumns) std::printf(" %-12s", column.pszName);
    std::printf("\n");
    for (std::size_t k = 0; k < kInstrumentRequestKinds; ++k) {
      for (const EPlace e : {EPlace::First, EPlace::Middle, EPlace::Last}) {
        const std::string strRow = std::string(sim::RequestName(static_cast<R>(k))) + " " + PlaceName(e) + " (" +
                                   std::to_string(OccurrenceOf(static_cast<R>(k), e)) + ")";
        std::printf("%-22s", strRow.c_str());
        for (std::size_t c = 0; c < std::size(kColumns); ++c) {
          const auto it = g_results.find({k, static_cast<int>(e), c});
          const std::string str = it == g_results.end() ? "-" : it->second.strCell;
          if (it != g_results.end()) ++aCounts[str];
          std::printf(" %-12s", str.c_str());
        }
        std::printf("\n");
      }
    }
    std::printf("%zu cells in %.1f s:", g_results.size(), g_fSeconds);
    for (const auto& [str, n] : aCounts) std::printf(" %s=%d", str.c_str(), n);
    std::printf("\n");
  }
};

const auto* const g_pPrinter = ::testing::AddGlobalTestEnvironment(new CTablePrinter);

}  // namespace
}  // namespace velda::test
