// The simulated instrument fed fuzzed requests: the input is cut into messages at its F7 bytes,
// each framed F0 43 50 03 00 .. F7 unless it already starts with F0. The first byte chooses the
// settings (restart, packet size). Every reply must be one well-formed message, and the
// instrument's memory may change only through a written block.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "instrument/sim_instrument.h"

using namespace velda;

namespace {

class CHost : public CInstrumentHost {
 public:
  void Deliver(std::vector<std::uint8_t> aBytes) override {
    if (aBytes.size() < 2 || aBytes.front() != 0xF0 || aBytes.back() != 0xF7) __builtin_trap();
    for (std::size_t i = 1; i + 1 < aBytes.size(); ++i) {
      if (aBytes[i] >= 0x80) __builtin_trap();
    }
  }
  void Schedule(std::uint32_t nDelayMs, std::function<void()> fn) override {
    m_aQueue.emplace(std::make_pair(m_nNow + nDelayMs, m_nSeq++), std::move(fn));
  }
  void SetPresent(bool /*bPresent*/) override {}
  void RunAll() {
    while (!m_aQueue.empty()) {
      auto it = m_aQueue.begin();
      m_nNow = it->first.first;
      std::function<void()> fn = std::move(it->second);
      m_aQueue.erase(it);
      fn();
    }
  }

 private:
  std::uint64_t m_nNow = 0;
  std::uint64_t m_nSeq = 0;
  std::multimap<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> m_aQueue;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  if (nSize < 1) return 0;
  CInstrumentConfig config;
  config.bRestartOnModeOn = (pData[0] & 1) != 0;
  config.nPacketSize = (pData[0] & 2) != 0 ? 2450 : 1 + (pData[0] >> 2);
  CHost host;
  CSimInstrument instrument(config, host);
  // Update mode first, as an installer gets there.
  std::vector<std::uint8_t> aModeOn{0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x00};
  aModeOn.insert(aModeOn.end(), config.strKeyword.begin(), config.strKeyword.end());
  aModeOn.push_back(0xF7);
  for (int i = 0; i < 2; ++i) {
    instrument.OnMessage(aModeOn.data(), aModeOn.size());
    host.RunAll();
  }
  std::vector<std::uint8_t> aMsg;
  for (std::size_t i = 1; i < nSize; ++i) {
    if (aMsg.empty() && pData[i] != 0xF0) aMsg = {0xF0, 0x43, 0x50, 0x03, 0x00};
    aMsg.push_back(pData[i]);
    if (pData[i] != 0xF7 && i + 1 < nSize) continue;
    const std::uint32_t nWrittenBefore = instrument.Stats().nBlocksWritten;
    const std::uint64_t nBytesBefore =
        instrument.Memory().Devices().empty() ? 0 : instrument.Memory().Devices().begin()->second.WrittenCount();
    instrument.OnMessage(aMsg.data(), aMsg.size());
    host.RunAll();
    const std::uint64_t nBytesAfter =
        instrument.Memory().Devices().empty() ? 0 : instrument.Memory().Devices().begin()->second.WrittenCount();
    if (nBytesAfter != nBytesBefore && instrument.Stats().nBlocksWritten == nWrittenBefore) __builtin_trap();
    aMsg.clear();
  }
  return 0;
}
