// Web MIDI behind the driver layer: the browser's MIDIAccess (asked once, with SysEx) gives the
// device lists by name; SysEx goes out with MIDIOutput.send and comes in from onmidimessage, whose
// bytes fill the queued headers in order (a message may come split over several events); a reset
// returns the queued headers empty. onstatechange is the device change: the lists are taken anew
// and WM_DEVICECHANGE (DBT_DEVNODES_CHANGED, 0) goes to the installer's main window.
//
// The page has one thread: the page's MIDI events run while the installer waits, as a driver
// thread's callbacks would.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "midi/driver/midi_driver.h"

namespace velda {

class CWebMidiDriver : public CMidiDriver {
 public:
  // Asks the browser for MIDI access with SysEx (once for the page) and waits for the answer,
  // yielding to the page. Null with a sentence for the user when Web MIDI is missing or refused.
  static std::unique_ptr<CWebMidiDriver> Open(std::string& strError);
  ~CWebMidiDriver() override;
  CWebMidiDriver(const CWebMidiDriver&) = delete;
  CWebMidiDriver& operator=(const CWebMidiDriver&) = delete;

  // The page's MIDI events (from the exported entry points).
  void OnBytes(std::uint32_t nHandle, const BYTE* p, std::size_t n);
  void OnStateChange();
  static CWebMidiDriver* Current();

  UINT InGetNumDevs() override;
  MMRESULT InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) override;
  MMRESULT InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                  DWORD fdwOpen) override;
  MMRESULT InStart(HMIDIIN hMidiIn) override;
  MMRESULT InStop(HMIDIIN hMidiIn) override;
  MMRESULT InReset(HMIDIIN hMidiIn) override;
  MMRESULT InClose(HMIDIIN hMidiIn) override;
  MMRESULT InPrepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT InUnprepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT InAddBuffer(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) override;

  UINT OutGetNumDevs() override;
  MMRESULT OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) override;
  MMRESULT OutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen) override;
  MMRESULT OutPrepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT OutUnprepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT OutReset(HMIDIOUT hMidiOut) override;
  MMRESULT OutClose(HMIDIOUT hMidiOut) override;

 private:
  struct CInHandle {
    MIDIINPROC pfnCallback = nullptr;
    DWORD_PTR dwInstance = 0;
    bool bStarted = false;
    bool bInSysEx = false;  // an F0 came and its F7 has not
    std::deque<MIDIHDR*> aQueue;
  };

  CWebMidiDriver() = default;
  CInHandle* In(HMIDIIN h);
  void Give(std::uint32_t nHandle, CInHandle& in, UINT wMsg);
  void Call(std::uint32_t nHandle, const CInHandle& in, UINT wMsg, DWORD_PTR dwParam1, DWORD_PTR dwParam2) const;

  std::map<std::uint32_t, CInHandle> m_in;
};

}  // namespace velda
