// The live input ports by key, for the driver's input callback. Lock-free: the callback neither
// allocates nor waits. A key names a slot and the generation that filled it, so a handle that
// outlived its port finds a key nobody holds; a port leaving its slot waits until no callback is
// inside it, so a late callback never reaches a closed or destroyed port.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace velda {

class CMidiInPort;

class CMidiInRegistry {
 public:
  static constexpr std::size_t kSlots = 256;

  // A key for the port (never 0); 0 when every slot is taken.
  static std::uintptr_t Register(CMidiInPort* pPort);
  // The key no longer reaches its port; returns once no callback is inside the slot any more.
  static void Unregister(std::uintptr_t nKey);

  // Runs fn(port) when the key is live; a callback entering now is sure the port stays until fn
  // returns. Never waits, never allocates.
  template <class F>
  static void WithPort(std::uintptr_t nKey, F&& fn) {
    CSlot* pSlot = SlotOf(nKey);
    if (pSlot == nullptr) return;
    pSlot->nInside.fetch_add(1);
    CMidiInPort* pPort = pSlot->nKey.load() == nKey ? pSlot->pPort.load() : nullptr;
    if (pPort != nullptr) fn(*pPort);
    pSlot->nInside.fetch_sub(1);
  }

 private:
  struct CSlot {
    std::atomic<std::uintptr_t> nKey{0};  // 0: free
    std::atomic<CMidiInPort*> pPort{nullptr};
    std::atomic<int> nInside{0};  // callbacks running on the slot's port
  };
  static constexpr std::uintptr_t kClaimed = 1;  // a slot being filled: no key is below kSlots
  static CSlot* SlotOf(std::uintptr_t nKey);
  static std::array<CSlot, kSlots> s_aSlots;
  static std::atomic<std::uintptr_t> s_nGeneration;
};

}  // namespace velda
