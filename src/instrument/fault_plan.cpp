#include "instrument/fault_plan.h"

#include <array>
#include <utility>

namespace velda {
namespace {

constexpr std::array<std::pair<EInstrumentFault, std::string_view>, 11> kFaultNames = {{
    {EInstrumentFault::NoReply, "no-reply"},
    {EInstrumentFault::Refuse, "refuse"},
    {EInstrumentFault::Status02, "status02"},
    {EInstrumentFault::CorruptReply, "corrupt"},
    {EInstrumentFault::SplitReply, "split"},
    {EInstrumentFault::DoubleReply, "double"},
    {EInstrumentFault::ForeignReply, "foreign"},
    {EInstrumentFault::NeverReturn, "never-return"},
    {EInstrumentFault::SpoilStored, "spoil"},
    {EInstrumentFault::LateReply, "late"},
    {EInstrumentFault::Vanish, "vanish"},
}};

}  // namespace

EInstrumentFault CFaultPlan::FaultFor(EInstrumentRequest eRequest, std::uint32_t nOccurrence) const {
  for (const CFaultRule& rule : aRules) {
    if (rule.eRequest != eRequest || nOccurrence < rule.nOccurrence) continue;
    if (nOccurrence - rule.nOccurrence < rule.nCount) return rule.eFault;
  }
  return EInstrumentFault::None;
}

namespace sim {

std::string_view FaultName(EInstrumentFault eFault) {
  for (const auto& [e, strName] : kFaultNames) {
    if (e == eFault) return strName;
  }
  return "none";
}

std::optional<EInstrumentFault> FaultFromName(std::string_view strName) {
  for (const auto& [e, strFaultName] : kFaultNames) {
    if (strFaultName == strName) return e;
  }
  return std::nullopt;
}

}  // namespace sim
}  // namespace velda
