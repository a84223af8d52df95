// One whole installation in virtual time under a fault plan, and how it ended: the run the fault
// matrix and the soak repeat. The package uploads every request kind several times.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "instrument/fault_plan.h"
#include "instrument/instrument_memory.h"
#include "instrument/request_kind.h"
#include "instrument/sim_instrument.h"
#include "shell/outcome.h"

namespace velda::test {

// The written bytes of every bank, run by run.
using CImage = std::vector<std::tuple<std::uint8_t, std::uint32_t, std::vector<std::uint8_t>>>;
CImage ImageOf(const CInstrumentMemory& memory);

// The package the run installs, and the memory it must leave.
std::vector<std::uint8_t> FaultRunPackage();
const CImage& FaultRunImage();

struct CEnding {
  bool bTold = false;  // a box or the port dialog waits for the user
  std::string strBox;  // its text
  EOutcome eOutcome = EOutcome::None;
  bool bMemoryMatches = false;  // the instrument holds exactly the package's bytes
  std::uint64_t nEndMs = 0;     // virtual time the user was told
  std::uint32_t nFaultsApplied = 0;
  std::uint32_t aReceived[kInstrumentRequestKinds] = {};
  std::vector<std::string> aTrace;  // "<ms> <dir> <payload>", as --trace writes it
  std::string strReplayMismatch;
};

// Runs the installation until the user is told (or nMaxMs of virtual time passed), answering the
// four start-up questions; the ending box is then closed to settle the outcome.
CEnding RunInstallation(const CFaultPlan& plan, std::uint64_t nMaxMs = 30 * 60 * 1000);
CEnding RunInstallation(const CInstrumentConfig& config, std::uint64_t nMaxMs = 30 * 60 * 1000);

}  // namespace velda::test
