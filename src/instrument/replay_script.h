// A recorded session (the installer's --trace file) read back as what the instrument must answer:
// each request the installer sent, in order, with the replies that reached the installer after it
// and before its next request, timed from the request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velda {

struct CReplayReply {
  std::uint32_t nDelayMs = 0;  // after the request (after the start for replies before any request)
  std::vector<std::uint8_t> aBytes;
};

struct CReplayExchange {
  std::size_t nLine = 0;  // line of the request in the trace, from 1
  std::vector<std::uint8_t> aRequest;
  std::vector<CReplayReply> aReplies;
};

struct CReplayScript {
  std::vector<CReplayReply> aLeading;  // replies recorded before the first request
  std::vector<CReplayExchange> aExchanges;
};

// Reads trace text: "<ms> > HEX", "<ms> < HEX" and "<ms> # note" lines (notes are skipped, as are
// empty lines). A line of another shape is an error naming its number.
bool ParseReplayTrace(std::string_view strText, CReplayScript& script, std::string& strError);
bool LoadReplayTrace(const std::string& strPath, CReplayScript& script, std::string& strError);

// Bytes as the trace writes them: upper-case hex pairs separated by single spaces.
std::string TraceBytesText(const std::vector<std::uint8_t>& aBytes);

}  // namespace velda
