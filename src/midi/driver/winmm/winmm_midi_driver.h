// The Windows multimedia MIDI API behind the driver layer, passed through: device capabilities,
// opening with the input callback, long-message headers, the mapper. The system's MIDIHDR is
// byte-packed, so each of the layer's headers has a system header beside it (same data block),
// found through the layer header's reserved field; the system's flags and byte counts are copied
// back before the port's callback runs, and an output header is marked done when the system says
// so. A header prepared again on the handle it is prepared on keeps its system header, so giving a
// block back from the callback allocates nothing and takes no lock. System headers are never freed
// while the driver lives: the system's notification thread may still hold a done notice for one
// after its unprepare or its handle's close, and such a late notice is dropped.
// A refused long message gets a line in the trace, since the port then stays silent until it is
// reopened.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "midi/driver/midi_driver.h"

namespace velda {

class CWinmmMidiDriver : public CMidiDriver {
 public:
  CWinmmMidiDriver();
  ~CWinmmMidiDriver() override;
  CWinmmMidiDriver(const CWinmmMidiDriver&) = delete;
  CWinmmMidiDriver& operator=(const CWinmmMidiDriver&) = delete;

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

  // How many system headers were made so far (each prepare on a new handle makes one).
  std::size_t SystemHeaderCount();

  struct CSystemHeader;  // the system's header beside one of ours
  struct CInCallback;    // the port's callback and instance

 private:
  CSystemHeader* MakeShadow(MIDIHDR* pHdr, void* hOwner);
  // A handle closed: a late notice for any of its headers finds no header of ours.
  void DisownShadows(void* hOwner);

  std::mutex m_mx;
  std::vector<std::unique_ptr<CSystemHeader>> m_aShadows;
  std::map<HMIDIIN, std::unique_ptr<CInCallback>> m_inCallbacks;
};

}  // namespace velda
