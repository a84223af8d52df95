// A MIDI driver that passes every call on to another and counts the calls that cost the installer
// a mandated pause: closing an input port stops its device three times, each stop followed by
// 100 ms, unless the first stop finds the device gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>

#include "midi/driver/midi_driver.h"

namespace velda::bench {

class CObservedMidiDriver : public CMidiDriver {
 public:
  explicit CObservedMidiDriver(CMidiDriver& inner) : m_inner(inner) {}

  // Stops followed by a pause.
  std::uint64_t InputStops() const { return m_nInStops.load(); }
  std::uint64_t InputCloses() const { return m_nInCloses.load(); }
  std::uint64_t OutputCloses() const { return m_nOutCloses.load(); }
  std::uint64_t LongMessages() const { return m_nLongMsgs.load(); }

  UINT InGetNumDevs() override { return m_inner.InGetNumDevs(); }
  MMRESULT InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) override {
    return m_inner.InGetDevCaps(uDeviceId, pCaps, cbCaps);
  }
  MMRESULT InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                  DWORD fdwOpen) override;
  MMRESULT InStart(HMIDIIN hMidiIn) override { return m_inner.InStart(hMidiIn); }
  MMRESULT InStop(HMIDIIN hMidiIn) override;
  MMRESULT InReset(HMIDIIN hMidiIn) override { return m_inner.InReset(hMidiIn); }
  MMRESULT InClose(HMIDIIN hMidiIn) override;
  MMRESULT InPrepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) override {
    return m_inner.InPrepareHeader(hMidiIn, pHdr, cbHdr);
  }
  MMRESULT InUnprepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) override {
    return m_inner.InUnprepareHeader(hMidiIn, pHdr, cbHdr);
  }
  MMRESULT InAddBuffer(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) override {
    return m_inner.InAddBuffer(hMidiIn, pHdr, cbHdr);
  }

  UINT OutGetNumDevs() override { return m_inner.OutGetNumDevs(); }
  MMRESULT OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) override {
    return m_inner.OutGetDevCaps(uDeviceId, pCaps, cbCaps);
  }
  MMRESULT OutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen) override {
    return m_inner.OutOpen(phMidiOut, uDeviceId, dwCallback, dwInstance, fdwOpen);
  }
  MMRESULT OutPrepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override {
    return m_inner.OutPrepareHeader(hMidiOut, pHdr, cbHdr);
  }
  MMRESULT OutUnprepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override {
    return m_inner.OutUnprepareHeader(hMidiOut, pHdr, cbHdr);
  }
  MMRESULT OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT OutReset(HMIDIOUT hMidiOut) override { return m_inner.OutReset(hMidiOut); }
  MMRESULT OutClose(HMIDIOUT hMidiOut) override;

 private:
  CMidiDriver& m_inner;
  std::mutex m_mx;
  std::set<HMIDIIN> m_stopped;  // handles stopped at least once since they were opened
  std::atomic<std::uint64_t> m_nInStops{0};
  std::atomic<std::uint64_t> m_nInCloses{0};
  std::atomic<std::uint64_t> m_nOutCloses{0};
  std::atomic<std::uint64_t> m_nLongMsgs{0};
};

}  // namespace velda::bench
