// A whole installation in virtual time of a fuzzed package against the simulated instrument, with
// a fuzzed fault and fuzzed bytes arriving unasked (split into deliveries at fuzzed times), so the
// reply assembly and dispatch meet any stream. The installation must end told: a box or the port
// dialog waiting for the user, or the program ended. Input: fault, request kind, occurrence,
// count of unsolicited chunks, the chunks (time in 100 ms steps, length, bytes), then the package.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "instrument/fault_plan.h"
#include "shell/steps.h"
#include "support/rig.h"

using namespace velda;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  if (nSize < 4 || nSize > 64 * 1024) return 0;
  test::CRigOptions opt;
  CFaultPlan& plan = opt.instrument.faultPlan;
  CFaultRule rule;
  rule.eFault = static_cast<EInstrumentFault>(pData[0] % 11);
  rule.eRequest = static_cast<EInstrumentRequest>(pData[1] % kInstrumentRequestKinds);
  rule.nOccurrence = 1 + pData[2] % 16;
  if (rule.eFault != EInstrumentFault::None) plan.aRules.push_back(rule);
  std::size_t nPos = 4;
  for (int i = 0; i < pData[3] % 4 && nPos + 2 <= nSize; ++i) {
    CUnsolicitedReply reply;
    reply.nAtMs = pData[nPos] * 100u;
    const std::size_t nLen = pData[nPos + 1] % 32;
    nPos += 2;
    for (std::size_t j = 0; j < nLen && nPos < nSize; ++j) reply.aBytes.push_back(pData[nPos++]);
    plan.aUnsolicited.push_back(reply);
  }
  test::CTestRig rig(opt);
  rig.SetPackage(std::vector<std::uint8_t>(pData + nPos, pData + nSize));
  for (int i = 0; i < 4; ++i) rig.View().QueueAnswer(fw::IDOK);
  CScriptedView& view = rig.View();
  const bool bTold = rig.RunUntil(
      [&view] { return (view.OpenBox() != 0 && view.Boxes().size() > 4) || view.WindowOf(IDD_PORT_SELECT) != 0; },
      4ull * 3600 * 1000);
  if (!bTold && !rig.Ended()) __builtin_trap();  // stopped or hanging without telling the user
  return 0;
}
