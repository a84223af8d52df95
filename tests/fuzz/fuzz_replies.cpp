// Reply assembly and recognition fed a fuzzed byte stream: the assembler must give exactly the
// messages a plain reading of the stream finds (F0 .. F7 with no F0 between, short enough for
// the reply buffer), and classifying and decoding them stays inside their bytes. The first input
// byte chooses the buffer size, small ones drive the discarding of long messages.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/area_reply.h"
#include "protocol/reply_assembler.h"
#include "protocol/reply_table.h"

using namespace velda;
using fw::BYTE;

namespace {

using CMessages = std::vector<std::vector<BYTE>>;

CMessages Expected(const std::uint8_t* p, std::size_t n, std::size_t nMax) {
  CMessages aOut;
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] != 0xF0) continue;
    std::size_t j = i + 1;
    while (j < n && p[j] != 0xF0 && p[j] != 0xF7) ++j;
    if (j < n && p[j] == 0xF7 && j - i + 1 <= nMax) aOut.emplace_back(p + i, p + j + 1);
    i = j < n && p[j] == 0xF0 ? j - 1 : j;
  }
  return aOut;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  if (nSize < 1) return 0;
  const std::size_t nMax = pData[0] < 0x80 ? 3 + pData[0] % 32 : 4096;
  const std::uint8_t* p = pData + 1;
  const std::size_t n = nSize - 1;

  CReplyAssembler assembler(nMax);
  CMessages aGot;
  for (std::size_t i = 0; i < n; ++i) {
    if (assembler.Put(p[i])) aGot.push_back(assembler.Message());
  }
  if (aGot != Expected(p, n, nMax)) __builtin_trap();

  std::vector<BYTE> aArea(4096);
  for (const std::vector<BYTE>& msg : aGot) {
    if (!IsReplyHeader(msg.data(), msg.size())) continue;
    (void)ClassifyReply(msg.data(), msg.size());
    (void)ReplyStatus(msg.data(), msg.size());
    // Decoding into a buffer of the exact size the fuzzer chose: ASan catches a write beyond it.
    std::vector<BYTE> aOut(pData[0] % 16);
    const CAreaDecodeResult result = DecodeAreaReply(msg.data(), msg.size(), aOut.data(), aOut.size());
    if (result.nBytes > aOut.size()) __builtin_trap();
    (void)DecodeAreaReply(msg.data(), msg.size(), aArea.data(), aArea.size());
  }
  return 0;
}
