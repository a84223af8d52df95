// One open input: an RtMidi input (ALSA) or a port of our JACK client connected to a port, and
// the long-message buffer semantics on top of it. Messages arrive on the library's thread, whole
// (RtMidi) or as JACK events, of which a system-exclusive message may take several when a bridge
// has split it. Their bytes fill the queued headers in order (a message longer than a header goes
// on in the next one) and each header is returned with MIM_LONGDATA when it is full or its
// system-exclusive message has ended. A reset returns every queued header (empty ones included)
// inside the call.
//
// The callback allocates nothing and takes no lock that the installer holds across any work: the
// headers wait in a fixed ring guarded by a spin flag held for a few pointer moves.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/driver/midi_driver.h"

class RtMidiIn;

namespace velda::rtmidi {

class CJackClient;
class CJackPort;

class CRtMidiInput {
 public:
  CRtMidiInput(MIDIINPROC pfnCallback, DWORD_PTR dwInstance);
  ~CRtMidiInput();
  CRtMidiInput(const CRtMidiInput&) = delete;
  CRtMidiInput& operator=(const CRtMidiInput&) = delete;

  // Takes the RtMidi object (already connected) and starts receiving into this port.
  void Attach(std::unique_ptr<RtMidiIn> pIn);
  // Or a port of our JACK client, opened with OnJackBytes and this object.
  void AttachJack(CJackClient* pClient, CJackPort* pPort);
  static void OnJackBytes(const std::uint8_t* p, std::size_t n, void* pUser);
  HMIDIIN Handle() { return reinterpret_cast<HMIDIIN>(this); }

  MMRESULT Start();
  MMRESULT Stop();
  MMRESULT Reset();
  // Lets go of the RtMidi object (and so of its port and client) and of the queued headers,
  // which are not returned; reports MIM_CLOSE.
  void Close();
  MMRESULT AddBuffer(MIDIHDR* pHdr);
  // Reports MIM_OPEN (after Attach).
  void ConfirmOpen();

  // Bytes that arrived while no header was queued.
  std::uint64_t DroppedBytes() const { return m_nDropped.load(); }
  // Whether this thread is inside this input's callback right now.
  bool IsCallingBackHere() const;

 private:
  static void OnRtMessage(double dDelta, std::vector<unsigned char>* pMessage, void* pUser);
  void Receive(const unsigned char* p, std::size_t n);
  void Detach();
  void Deliver(const unsigned char* p, std::size_t n);
  void Call(UINT wMsg, DWORD_PTR dwParam1);
  DWORD ElapsedMs() const;
  MIDIHDR* Front();
  void PopFront();
  // Stops deliveries and waits until none runs on RtMidi's thread.
  void Quiesce();

  class CSpin {
   public:
    explicit CSpin(std::atomic_flag& flag);
    ~CSpin();
    CSpin(const CSpin&) = delete;
    CSpin& operator=(const CSpin&) = delete;

   private:
    std::atomic_flag& m_flag;
  };

  static constexpr std::size_t kRing = 64;

  MIDIINPROC m_pfnCallback;
  DWORD_PTR m_dwInstance;
  std::unique_ptr<RtMidiIn> m_pIn;
  CJackClient* m_pJack = nullptr;
  CJackPort* m_pJackPort = nullptr;
  bool m_bInSysEx = false;                  // a system-exclusive message has begun and not yet ended (library thread)
  std::atomic<std::int64_t> m_nStartNs{0};  // set on the installer's thread, read in the callback
  std::array<MIDIHDR*, kRing> m_aRing{};
  std::size_t m_nHead = 0;
  std::size_t m_nCount = 0;
  std::atomic_flag m_ringBusy = ATOMIC_FLAG_INIT;
  std::atomic<bool> m_bStarted{false};
  std::atomic<int> m_nBusy{0};
  std::atomic<std::uint64_t> m_nDropped{0};
};

}  // namespace velda::rtmidi
