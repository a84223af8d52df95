// The test control of the virtual devices: input injected, output observed and faulted, and the
// state inspected.
#include "midi/driver/virtual/virtual_midi_driver.h"

namespace velda {

using namespace vmidi;

// ---------------------------------------------------------------------------------------------
// Input deliveries

void CVirtualMidiDriver::InjectBytes(int nId, std::vector<BYTE> aBytes, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::Bytes, std::move(aBytes), 0, nDelayMs);
}

void CVirtualMidiDriver::InjectLongError(int nId, std::vector<BYTE> aBytes, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::LongError, std::move(aBytes), 0, nDelayMs);
}

void CVirtualMidiDriver::InjectEmptyBlock(int nId, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::EmptyBlock, {}, 0, nDelayMs);
}

void CVirtualMidiDriver::InjectShort(int nId, DWORD dwMsg, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::Short, {}, dwMsg, nDelayMs);
}

void CVirtualMidiDriver::InjectMoreData(int nId, DWORD dwMsg, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::MoreData, {}, dwMsg, nDelayMs);
}

void CVirtualMidiDriver::InjectError(int nId, DWORD dwMsg, std::uint32_t nDelayMs) {
  ScheduleInject(nId, EInject::Error, {}, dwMsg, nDelayMs);
}

void CVirtualMidiDriver::ScheduleInject(int nId, EInject eKind, std::vector<BYTE> aBytes, DWORD dwMsg,
                                        std::uint32_t nDelayMs) {
  Schedule(nDelayMs, [this, nId, eKind, aBytes = std::move(aBytes), dwMsg] { RunInject(nId, eKind, aBytes, dwMsg); });
}

// ---------------------------------------------------------------------------------------------
// Output observation, faults and inspection

void CVirtualMidiDriver::SetOutSink(int nId, FnOutSink fnSink) {
  std::lock_guard<std::mutex> lock(m_mx);
  if (COutDevice* pDev = DeviceAt(m_aOut, nId)) {
    pDev->fnSink = std::move(fnSink);
  }
}

void CVirtualMidiDriver::SetKeepOutMessages(bool bKeep) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_bKeepOutMessages = bKeep;
}

std::vector<std::vector<BYTE>> CVirtualMidiDriver::OutMessages(int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  const COutDevice* pDev = DeviceAt(m_aOut, nId);
  return pDev != nullptr ? pDev->aMessages : std::vector<std::vector<BYTE>>{};
}

void CVirtualMidiDriver::FailNextLongMsg(int nId, MMRESULT nResult) {
  std::lock_guard<std::mutex> lock(m_mx);
  if (COutDevice* pDev = DeviceAt(m_aOut, nId)) {
    pDev->nFailNext = nResult;
  }
}

void CVirtualMidiDriver::ReleaseOutMessages(int nId) {
  std::lock_guard<std::mutex> lock(m_mx);
  for (auto& [n, h] : m_outHandles) {
    if (h.nDevice == nId) {
      ReturnHeld(h.aHeld);
    }
  }
}

bool CVirtualMidiDriver::IsInOpen(int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  return HasHandleOn(m_inHandles, nId);
}

bool CVirtualMidiDriver::IsOutOpen(int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  return HasHandleOn(m_outHandles, nId);
}

std::size_t CVirtualMidiDriver::QueuedInBlocks(int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  std::size_t n = 0;
  for (const auto& [nHandle, h] : m_inHandles) {
    if (h.nDevice == nId) {
      n += h.aQueue.size();
    }
  }
  return n;
}

std::uint64_t CVirtualMidiDriver::DroppedInBytes(int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  const CInDevice* pDev = DeviceAt(m_aIn, nId);
  return pDev != nullptr ? pDev->nDropped : 0;
}

std::size_t CVirtualMidiDriver::OpenInHandles() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_inHandles.size();
}

std::size_t CVirtualMidiDriver::OpenOutHandles() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_outHandles.size();
}

}  // namespace velda
