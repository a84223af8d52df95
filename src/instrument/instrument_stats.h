// What the simulated instrument saw and did, for tests to assert on.
#pragma once

#include <array>
#include <cstdint>

#include "instrument/request_kind.h"

namespace velda {

struct CInstrumentStats {
  std::array<std::uint32_t, kInstrumentRequestKinds> aReceived{};  // requests of each kind
  std::uint32_t nIgnored = 0;                                      // messages that are no request of the protocol
  std::uint32_t nIgnoredAbsent = 0;                                // messages that came while the devices were gone
  std::uint32_t nMalformed = 0;                                    // requests with fields no correct sender writes
  std::uint32_t nOutOfSequence = 0;                                // packets or writes that do not fit the open block
  std::uint32_t nRefusedOutsideUpdateMode = 0;
  std::uint32_t nWrongKeywords = 0;
  std::uint32_t nRestarts = 0;
  std::uint32_t nBadPacketChecksums = 0;  // packets answered 02 for their checksum
  std::uint32_t nResendsAsked = 0;        // packets answered 02 (checksum or fault)
  std::uint32_t nPacketsResent = 0;       // packets that came after a 02 for the same offset
  std::uint32_t nPacketsStored = 0;
  std::uint64_t nBytesStored = 0;
  std::uint32_t nBlocksAbandoned = 0;  // block starts that replaced an unwritten block
  std::uint32_t nBlocksWritten = 0;
  std::uint32_t nChecksumsMatched = 0;
  std::uint32_t nChecksumsFailed = 0;
  std::uint32_t nBadPacketSizes = 0;     // packets of another length than the protocol's (but a block's last)
  std::uint32_t nIncompleteWrites = 0;   // write blocks before the packets covered the block
  std::uint32_t nChecksumsMisnamed = 0;  // block checksums naming another block than the one just written
  std::uint32_t nEmptyChecksums = 0;     // block checksums of length 0
  std::uint32_t nFaultsApplied = 0;
  std::uint32_t nReplayMatched = 0;     // requests equal to the recorded ones
  std::uint32_t nReplayUnanswered = 0;  // requests after the replay lost its way
  std::uint32_t nDeliveries = 0;        // deliveries handed to the host
  std::uint32_t nDroppedAbsent = 0;     // deliveries dropped because the devices were gone

  std::uint32_t Received(EInstrumentRequest eRequest) const { return aReceived[static_cast<std::size_t>(eRequest)]; }
};

}  // namespace velda
