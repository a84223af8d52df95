// A port leaving the registry while the driver's callback is still inside it: Unregister returns
// only once that callback has left, so the port is never destroyed under a running callback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "midi/midi_in_port.h"
#include "midi/midi_in_registry.h"

namespace velda::test {
namespace {

TEST(MidiInRegistry, UnregisterWaitsForACallbackStillInsideThePort) {
  CMidiInPort port;
  const std::uintptr_t nKey = CMidiInRegistry::Register(&port);
  ASSERT_NE(nKey, 0u);
  std::atomic<bool> bInside{false};
  std::atomic<bool> bRelease{false};
  std::atomic<bool> bLeft{false};
  std::thread driver([&] {
    CMidiInRegistry::WithPort(nKey, [&](CMidiInPort&) {
      bInside.store(true);
      while (!bRelease.load()) std::this_thread::yield();
      bLeft.store(true);
    });
  });
  while (!bInside.load()) std::this_thread::yield();

  std::atomic<bool> bUnregistered{false};
  std::atomic<bool> bLeftFirst{false};
  std::thread closer([&] {
    CMidiInRegistry::Unregister(nKey);
    bLeftFirst.store(bLeft.load());
    bUnregistered.store(true);
  });
  // Once the key reaches no port any more, Unregister is under way; it must not return while the
  // callback holds on.
  bool bFound = true;
  while (bFound) {
    bFound = false;
    CMidiInRegistry::WithPort(nKey, [&](CMidiInPort&) { bFound = true; });
  }
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (!bUnregistered.load() && std::chrono::steady_clock::now() < tEnd) std::this_thread::yield();
  EXPECT_FALSE(bUnregistered.load());

  bRelease.store(true);
  driver.join();
  closer.join();
  EXPECT_TRUE(bUnregistered.load());
  EXPECT_TRUE(bLeftFirst.load());  // the callback had left when Unregister returned
}

}  // namespace
}  // namespace velda::test
