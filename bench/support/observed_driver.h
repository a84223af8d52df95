// A MIDI driver that passes every call on to another and counts the calls that cost the installer
// a mandated pause: closing an input port stops its device three times, each stop followed by
// 100 ms, unless the first stop finds the device gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>

#include "midi/driver/forwarding_midi_driver.h"

namespace velda::bench {

class CObservedMidiDriver : public CForwardingMidiDriver {
 public:
  using CForwardingMidiDriver::CForwardingMidiDriver;

  // Stops followed by a pause.
  std::uint64_t InputStops() const { return m_nInStops.load(); }
  std::uint64_t InputCloses() const { return m_nInCloses.load(); }
  std::uint64_t OutputCloses() const { return m_nOutCloses.load(); }
  std::uint64_t LongMessages() const { return m_nLongMsgs.load(); }

  MMRESULT InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                  DWORD fdwOpen) override;
  MMRESULT InStop(HMIDIIN hMidiIn) override;
  MMRESULT InClose(HMIDIIN hMidiIn) override;
  MMRESULT OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT OutClose(HMIDIOUT hMidiOut) override;

 private:
  std::mutex m_mx;
  std::set<HMIDIIN> m_stopped;  // handles stopped at least once since they were opened
  std::atomic<std::uint64_t> m_nInStops{0};
  std::atomic<std::uint64_t> m_nInCloses{0};
  std::atomic<std::uint64_t> m_nOutCloses{0};
  std::atomic<std::uint64_t> m_nLongMsgs{0};
};

}  // namespace velda::bench
