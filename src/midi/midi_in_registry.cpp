#include "midi/midi_in_registry.h"

#include <thread>

namespace velda {

// Atomics with trivial destructors: the table outlives every late callback.
std::array<CMidiInRegistry::CSlot, CMidiInRegistry::kSlots> CMidiInRegistry::s_aSlots;
std::atomic<std::uintptr_t> CMidiInRegistry::s_nGeneration{0};

CMidiInRegistry::CSlot* CMidiInRegistry::SlotOf(std::uintptr_t nKey) {
  return nKey == 0 ? nullptr : &s_aSlots[nKey % kSlots];
}

std::uintptr_t CMidiInRegistry::Register(CMidiInPort* pPort) {
  const std::uintptr_t nGeneration = s_nGeneration.fetch_add(1) + 1;
  for (std::size_t i = 0; i < kSlots; ++i) {
    CSlot& slot = s_aSlots[i];
    const std::uintptr_t nKey = nGeneration * kSlots + i;
    // The port is set before the key is published: a callback that finds the key finds the port.
    std::uintptr_t nFree = 0;
    if (slot.pPort.load() != nullptr || !slot.nKey.compare_exchange_strong(nFree, kClaimed)) continue;
    slot.pPort.store(pPort);
    slot.nKey.store(nKey);
    return nKey;
  }
  return 0;
}

void CMidiInRegistry::Unregister(std::uintptr_t nKey) {
  CSlot* pSlot = SlotOf(nKey);
  if (pSlot == nullptr || pSlot->nKey.load() != nKey) return;
  // A callback that read the port before this store is counted in nInside; one that reads after
  // it finds no port.
  pSlot->pPort.store(nullptr);
  while (pSlot->nInside.load() != 0) std::this_thread::yield();
  pSlot->nKey.store(0);
}

}  // namespace velda
