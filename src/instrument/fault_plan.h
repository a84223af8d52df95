// Faults the simulated instrument can be told to show, so that tests and users can watch the
// installer cope with a misbehaving instrument.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "instrument/request_kind.h"

namespace velda {

enum class EInstrumentFault : std::uint8_t {
  None,
  NoReply,       // the request is lost: not acted on, not answered
  Refuse,        // not acted on, answered with status 00
  Status02,      // not acted on, answered with status 02 ("send again")
  CorruptReply,  // acted on; one byte of the reply spoiled (see sim::CorruptReply)
  SplitReply,    // acted on; the reply comes in two deliveries, nSplitGapMs apart
  DoubleReply,   // acted on; the reply comes twice in one delivery
  ForeignReply,  // acted on; the reply carries another manufacturer's identifier
  NeverReturn,   // the devices vanish at this request and never come back; no reply
  SpoilStored,   // block checksum: acted on and answered as correct, then one stored byte of
                 // the block changes silently (only reading the memory back finds it)
  LateReply,     // acted on; the reply comes nLateMs late, after the installer has given up waiting
  Vanish,        // the request is lost, the devices vanish and come back after the restart time
};

// A fault for the occurrences nOccurrence .. nOccurrence + nCount - 1 (counted from 1) of one
// request kind.
struct CFaultRule {
  EInstrumentFault eFault = EInstrumentFault::None;
  EInstrumentRequest eRequest = EInstrumentRequest::Inquiry;
  std::uint32_t nOccurrence = 1;
  std::uint32_t nCount = 1;
};

// Bytes delivered unasked nAtMs after the instrument was created: an early, late or stray reply.
struct CUnsolicitedReply {
  std::uint32_t nAtMs = 0;
  std::vector<std::uint8_t> aBytes;
};

struct CFaultPlan {
  std::vector<CFaultRule> aRules;
  std::vector<CUnsolicitedReply> aUnsolicited;
  std::uint32_t nSplitGapMs = 5;
  std::uint32_t nLateMs = 125'000;  // beyond the longest wait for a reply

  // The fault of the first rule that covers this occurrence, None when no rule does.
  EInstrumentFault FaultFor(EInstrumentRequest eRequest, std::uint32_t nOccurrence) const;
};

namespace sim {

// The names used in fault settings: "no-reply", "refuse", "status02", "corrupt", "split",
// "double", "foreign", "never-return", "spoil", "late", "vanish".
std::string_view FaultName(EInstrumentFault eFault);
std::optional<EInstrumentFault> FaultFromName(std::string_view strName);

}  // namespace sim
}  // namespace velda
