// The input port: opens one input device, keeps three blocks queued with the driver, and copies
// every received system-exclusive byte into a ring queue from the driver's callback thread. The
// installer's thread takes the bytes out one at a time and is told by a posted WM_COMMAND that
// bytes are waiting.
#pragma once

#include <array>
#include <atomic>
#include <memory>

#include "fw/cstring.h"
#include "fw/types.h"
#include "midi/driver/midi_driver.h"

namespace velda {

using fw::CString;

// Status texts; every status posts the status id and is written to the trace.
inline constexpr const char* TXT_MIDI_IN_OPENED = "Open MIDI In Driver : ";
inline constexpr const char* TXT_MIDI_IN_CLOSED = "Close MIDI In Driver : ";
inline constexpr const char* TXT_MIDI_IN_RESIZED = "Change MIDI In Buffer Size : ";
inline constexpr const char* TXT_MIDI_IN_OVERRUN = "MIDI In Buffer Over Run !";
inline constexpr const char* TXT_MIDI_IN_DATA_ERROR = "MIDI In Data Error !";
inline constexpr const char* TXT_MIDI_IN_MORE_DATA = "No Keep up with MIDI In Driver !";
// The message box shown when another program holds the device.
inline constexpr const char* TXT_MIDI_IN_ALLOCATED = "already allocated MIDI Port";

constexpr UINT MIDI_IN_BLOCK_COUNT = 3;
constexpr UINT MIDI_IN_BLOCK_SIZE = 1024;     // a new port's queue size, used for the blocks
constexpr UINT MIDI_IN_QUEUE_SIZE = 0x1A000;  // 106,496: holds at most 106,495 unread bytes
constexpr DWORD MIDI_IN_CONFIRM_MS = 1000;    // longest wait for MIM_OPEN / MIM_CLOSE

// Port states.
constexpr BYTE MIDI_IN_NEW = 0;
constexpr BYTE MIDI_IN_OPEN = 1;
constexpr BYTE MIDI_IN_CLOSED = 3;

// Ring queue arithmetic: the index after n in a queue of nSize bytes (0 for an empty queue);
// the count of unread bytes; whether one more byte fits.
constexpr UINT NextRingIndex(UINT n, UINT nSize) { return n + 1 >= nSize ? 0 : n + 1; }
constexpr UINT RingUnread(UINT nRead, UINT nWrite, UINT nSize) {
  return nWrite >= nRead ? nWrite - nRead : nSize - nRead + nWrite;
}
constexpr bool RingHasRoom(UINT nRead, UINT nWrite, UINT nSize) { return NextRingIndex(nWrite, nSize) != nRead; }

class CMidiInPort {
 public:
  CMidiInPort();
  virtual ~CMidiInPort();
  CMidiInPort(const CMidiInPort&) = delete;
  CMidiInPort& operator=(const CMidiInPort&) = delete;

  // ---- Installer's thread.
  // Records the ids, opens and starts the device, then sets the queue to 106,496 bytes.
  BOOL Open(int nDevice, UINT nDataId, UINT nStatusId);
  // Opens, starts and supplies blocks to one device.
  BOOL OpenDevice(int nDevice);
  // Stops, resets and closes the device; TRUE when the port is closed.
  BOOL Close();
  // Allocates, prepares and queues the three blocks.
  BOOL PrepareBuffers();
  // Resets input, resizes and empties the queue, restarts input.
  BOOL ResizeQueue(int nBytes);
  // Takes the oldest byte (0..255); FALSE when the queue is empty.
  BOOL GetByte(int& nByte);

  // ---- Driver's thread.
  // The callback given to the driver. Its instance data is the port's key, looked up among the
  // live ports without a lock (CMidiInRegistry), so a handle that outlives its port never reaches
  // a deleted object.
  static void MidiInProc(HMIDIIN hMidiIn, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR dwParam2);
  void OnMidiInMessage(UINT wMsg, DWORD_PTR dwParam1, DWORD_PTR dwParam2);
  void OnLongData(MIDIHDR* pHdr);
  // Appends one byte; a full queue keeps what it holds and refuses the byte.
  void PutByte(BYTE b);

  // ---- Either thread.
  void NotifyData();
  // The installer's thread: the note is traced now.
  void NotifyStatus(const CString& strText);
  // The driver's thread: the constant note is traced later, from the installer's thread.
  void NotifyDriverStatus(const char* pszText);

  // ---- Inspection (tests, diagnostics).
  HMIDIIN Handle() const { return m_hMidiIn.load(); }
  BYTE State() const { return m_nState.load(); }
  const CString& Name() const { return m_strName; }
  UINT QueueSize() const { return m_nQueueSize; }
  UINT Unread() const { return RingUnread(m_nRead.load(), m_nWrite.load(), m_nQueueSize); }
  DWORD_PTR Key() const { return m_nKey; }
  bool HasBlocks() const { return m_apHdr[0] != nullptr; }
  const MIDIHDR* Header(UINT i) const { return i < MIDI_IN_BLOCK_COUNT ? m_apHdr[i].get() : nullptr; }

 private:
  // Releases the blocks: freed when the driver has let go of them, else kept for it.
  void ReleaseBlocks(bool bDriverLetGo);
  // Installer's thread, input stopped: queues again every block the driver has returned.
  void GiveBlocksBack();

  // The headers and blocks are owned directly, each its own allocation.
  std::array<std::unique_ptr<MIDIHDR>, MIDI_IN_BLOCK_COUNT> m_apHdr;
  std::atomic<HMIDIIN> m_hMidiIn{nullptr};
  std::array<std::unique_ptr<BYTE[]>, MIDI_IN_BLOCK_COUNT> m_apBlock;
  UINT m_nQueueSize = MIDI_IN_BLOCK_SIZE;
  std::atomic<UINT> m_nRead{0};   // written by the installer's thread only
  std::atomic<UINT> m_nWrite{0};  // written by the driver's thread only, after the byte is stored
  std::atomic<int> m_bPending{0};
  std::atomic<BYTE> m_nState{MIDI_IN_NEW};
  // Set while a reset returns the blocks: the callback then keeps them, since a driver may return
  // one block per call for as long as any is queued.
  std::atomic<bool> m_bHoldBlocks{false};
  CString m_strName;
  std::unique_ptr<BYTE[]> m_aQueue;
  UINT m_nDataId = 0;
  UINT m_nStatusId = 0;

  const DWORD_PTR m_nKey;           // the callback's instance data
  bool m_bOverrunReported = false;  // driver's thread: one status per run of refused bytes
  bool m_bInSysEx = false;          // driver's thread: a received message is still open
};

}  // namespace velda
