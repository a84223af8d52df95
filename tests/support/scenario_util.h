// What the scenario tests share: the data and scripts they install, the faults they plan, and
// readings of what the program showed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "instrument/fault_plan.h"
#include "support/rig.h"

namespace velda::test {

// n bytes of a pseudo-random sequence chosen by nSeed: no short period, so data written at the
// wrong offset cannot read back as right.
std::vector<std::uint8_t> Pattern(std::size_t n, unsigned nSeed = 0);

// A script of these lines, each ended with CR LF.
std::string Script(const std::vector<std::string>& aLines);

// The message boxes shown with exactly this text, in order.
std::vector<CBoxRecord> BoxesWith(CTestRig& rig, const char* pszText);

// The "progress <id> ..." events of one bar, in order, as "<lower> <upper> <pos>".
std::vector<std::string> BarEvents(CTestRig& rig, int nId);

// A fault for the occurrences nOccurrence .. nOccurrence + nCount - 1 of one request kind.
CFaultRule Fault(EInstrumentFault eFault, EInstrumentRequest eRequest, std::uint32_t nOccurrence = 1,
                 std::uint32_t nCount = 1);

}  // namespace velda::test
