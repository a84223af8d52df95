// A driver that passes every call on to another driver unchanged: the base of the drivers that
// only add something on the way (other device names, counting, logging). A derived driver
// overrides the calls it changes and calls the base for the rest of the work.
#pragma once

#include "midi/driver/midi_driver.h"

namespace velda {

class CForwardingMidiDriver : public CMidiDriver {
 public:
  // inner must outlive this driver.
  explicit CForwardingMidiDriver(CMidiDriver& inner) : m_inner(inner) {}

  CMidiDriver& Inner() const { return m_inner; }

  UINT InGetNumDevs() override { return m_inner.InGetNumDevs(); }
  MMRESULT InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) override {
    return m_inner.InGetDevCaps(uDeviceId, pCaps, cbCaps);
  }
  MMRESULT InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                  DWORD fdwOpen) override {
    return m_inner.InOpen(phMidiIn, uDeviceId, dwCallback, dwInstance, fdwOpen);
  }
  MMRESULT InStart(HMIDIIN hMidiIn) override { return m_inner.InStart(hMidiIn); }
  MMRESULT InStop(HMIDIIN hMidiIn) override { return m_inner.InStop(hMidiIn); }
  MMRESULT InReset(HMIDIIN hMidiIn) override { return m_inner.InReset(hMidiIn); }
  MMRESULT InClose(HMIDIIN hMidiIn) override { return m_inner.InClose(hMidiIn); }
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
  MMRESULT OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override {
    return m_inner.OutLongMsg(hMidiOut, pHdr, cbHdr);
  }
  MMRESULT OutReset(HMIDIOUT hMidiOut) override { return m_inner.OutReset(hMidiOut); }
  MMRESULT OutClose(HMIDIOUT hMidiOut) override { return m_inner.OutClose(hMidiOut); }
  std::string InSystemName(UINT uDeviceId) override { return m_inner.InSystemName(uDeviceId); }
  std::string OutSystemName(UINT uDeviceId) override { return m_inner.OutSystemName(uDeviceId); }

 private:
  CMidiDriver& m_inner;
};

}  // namespace velda
