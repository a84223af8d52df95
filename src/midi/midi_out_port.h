// The output port: one message buffer and header for its whole open life; each complete
// system-exclusive message is handed to the driver as one long message. The first failed
// hand-over latches: nothing more reaches the driver until a new port is opened.
#pragma once

#include <memory>

#include "fw/types.h"
#include "midi/driver/midi_driver.h"

namespace velda {

constexpr UINT MIDI_OUT_BUFFER_SIZE = 4096;
// How long a send waits for the driver to finish the previous message before dropping its own.
constexpr DWORD MIDI_OUT_BUSY_WAIT_MS = 1000;

class CMidiOutPort {
 public:
  CMidiOutPort();
  virtual ~CMidiOutPort();
  CMidiOutPort(const CMidiOutPort&) = delete;
  CMidiOutPort& operator=(const CMidiOutPort&) = delete;

  // Opens an output device by number, or the mapper (-1), which falls back to device 0.
  BOOL Open(int nDevice);
  // Resets and closes the device, frees the header and the buffer. Harmless when not open.
  void Close();
  // Copies the message (1..4096 bytes) into the buffer and hands it to the driver, unless the
  // port has latched a failure. Never overwrites a buffer the driver still holds.
  void Send(const BYTE* pData, UINT nLength);

  // ---- Inspection (tests, diagnostics).
  HMIDIOUT Handle() const { return m_hMidiOut; }
  MMRESULT Result() const { return m_nResult; }
  const MIDIHDR* Header() const { return m_pHdr.get(); }
  // The length of the message whose hand-over failed and latched the port; 0 when none did.
  UINT RefusedLength() const { return m_nRefusedLength; }

 private:
  // The driver has the last message handed over and has not finished it.
  bool IsHeldByDriver() const;

  // The handle, the last result (0: success; anything else latches) and the one header.
  HMIDIOUT m_hMidiOut = nullptr;
  MMRESULT m_nResult = MMSYSERR_NOERROR;
  std::unique_ptr<MIDIHDR> m_pHdr;

  std::unique_ptr<BYTE[]> m_pBuffer;  // what m_pHdr->lpData points to
  bool m_bHandedOver = false;         // a message went to the driver with this header
  UINT m_nRefusedLength = 0;          // see RefusedLength
};

}  // namespace velda
