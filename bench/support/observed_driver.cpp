#include "support/observed_driver.h"

namespace velda::bench {

MMRESULT CObservedMidiDriver::InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                                     DWORD fdwOpen) {
  const MMRESULT nResult = CForwardingMidiDriver::InOpen(phMidiIn, uDeviceId, dwCallback, dwInstance, fdwOpen);
  if (nResult == MMSYSERR_NOERROR && phMidiIn != nullptr) {
    std::lock_guard<std::mutex> lock(m_mx);
    m_stopped.erase(*phMidiIn);  // a handle value may come again
  }
  return nResult;
}

MMRESULT CObservedMidiDriver::InStop(HMIDIIN hMidiIn) {
  const MMRESULT nResult = CForwardingMidiDriver::InStop(hMidiIn);
  bool bFirst = false;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    bFirst = m_stopped.insert(hMidiIn).second;
  }
  // A first stop that finds the device gone (MMSYSERR_NODRIVER) ends the close's pauses at once;
  // after a first stop that found it, every stop is followed by a pause.
  if (!bFirst || nResult != MMSYSERR_NODRIVER) ++m_nInStops;
  return nResult;
}

MMRESULT CObservedMidiDriver::InClose(HMIDIIN hMidiIn) {
  ++m_nInCloses;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    m_stopped.erase(hMidiIn);
  }
  return CForwardingMidiDriver::InClose(hMidiIn);
}

MMRESULT CObservedMidiDriver::OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  ++m_nLongMsgs;
  return CForwardingMidiDriver::OutLongMsg(hMidiOut, pHdr, cbHdr);
}

MMRESULT CObservedMidiDriver::OutClose(HMIDIOUT hMidiOut) {
  ++m_nOutCloses;
  return CForwardingMidiDriver::OutClose(hMidiOut);
}

}  // namespace velda::bench
