#include "support/upload_counts.h"

namespace velda::bench {

namespace {

std::uint64_t PacketsOf(std::uint64_t nBlockLen) { return (nBlockLen + kPacketBytes - 1) / kPacketBytes; }

// Inquiry, update mode on and set device before the upload; update mode off and the transfer-
// speed reset after it.
constexpr std::uint64_t kRequestsAroundUpload = 5;

}  // namespace

CUploadCounts CountUpload(std::uint64_t nBytes, std::uint64_t nBlockSize) {
  CUploadCounts c;
  if (nBlockSize > nBytes) nBlockSize = nBytes;
  if (nBlockSize != 0) {
    const std::uint64_t nFull = nBytes / nBlockSize;
    const std::uint64_t nLast = nBytes % nBlockSize;
    c.nBlocks = nFull + (nLast != 0 ? 1 : 0);
    c.nPackets = nFull * PacketsOf(nBlockSize) + PacketsOf(nLast);
  }
  c.nRequests = kRequestsAroundUpload + c.nBlocks * 3 + c.nPackets;
  return c;
}

}  // namespace velda::bench
