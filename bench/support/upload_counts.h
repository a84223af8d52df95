// What an upload of the benchmark's package must cost in messages, worked out independently of
// the installer: the benchmark compares it with what the instrument counted, so that a run that
// skipped, repeated or resent anything is not reported as a measurement.
#pragma once

#include <cstdint>

namespace velda::bench {

// Data bytes in a full data packet.
inline constexpr std::uint32_t kPacketBytes = 2450;

struct CUploadCounts {
  std::uint64_t nBlocks = 0;   // block starts (and write blocks, and block checksums)
  std::uint64_t nPackets = 0;  // data packets
  // Every request of the whole run: inquiry, update mode on, set device, the blocks' requests,
  // update mode off and the final transfer-speed reset. Each is answered by one reply.
  std::uint64_t nRequests = 0;
};

// UPDATE_DEVICE over nBytes with block size nBlockSize: full blocks of nBlockSize, then the
// remainder as one last block; each block in packets of kPacketBytes and one shorter packet for
// its remainder. A block size above nBytes is cut to nBytes; 0 bytes or block size 0 upload
// nothing.
CUploadCounts CountUpload(std::uint64_t nBytes, std::uint64_t nBlockSize);

}  // namespace velda::bench
