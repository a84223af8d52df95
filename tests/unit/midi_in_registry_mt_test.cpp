// Ports closed and destroyed on one thread while the driver's thread keeps calling the input
// callback with their keys, live and stale: the callback takes no lock, and no callback reaches a
// port after it left the registry (ThreadSanitizer and AddressSanitizer watch every access).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "midi/midi_in_port.h"
#include "midi/midi_in_registry.h"

namespace velda::test {
namespace {

TEST(MidiInRegistryThreads, PortsGoWhileTheDriverDelivers) {
  std::atomic<DWORD_PTR> nLive{0};
  std::atomic<bool> bStop{false};
  std::atomic<std::uint64_t> nCalls{0};
  std::thread driver([&] {
    while (!bStop.load()) {
      const DWORD_PTR nKey = nLive.load();
      // The live key, and one a handle of a port gone long ago would carry.
      CMidiInPort::MidiInProc(nullptr, MIM_MOREDATA, nKey, 0, 0);
      CMidiInPort::MidiInProc(nullptr, MIM_ERROR, nKey - CMidiInRegistry::kSlots, 0, 0);
      nCalls.fetch_add(1);
    }
  });
  std::uint64_t nSeen = 0;
  for (int i = 0; i < 3000; ++i) {
    auto pPort = std::make_unique<CMidiInPort>();
    nLive.store(pPort->Key());
    // Let the driver reach this port before it goes.
    for (const std::uint64_t n = nCalls.load(); nCalls.load() == n && i % 16 == 0;) std::this_thread::yield();
    pPort.reset();
    nSeen = nCalls.load();
  }
  bStop.store(true);
  driver.join();
  EXPECT_GT(nSeen, 0u);
  // Every slot came free again.
  std::vector<std::unique_ptr<CMidiInPort>> aPorts;
  for (std::size_t i = 0; i < CMidiInRegistry::kSlots; ++i) aPorts.push_back(std::make_unique<CMidiInPort>());
  for (const auto& pPort : aPorts) EXPECT_NE(pPort->Key(), 0u);
}

}  // namespace
}  // namespace velda::test
