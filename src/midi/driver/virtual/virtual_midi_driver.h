// In-process MIDI devices behind the driver interface: the simulated instrument's pair of devices
// and devices that misbehave the ways real ones do, for tests.
//
// Threads and time: every device event (a delivery of input, a delayed confirmation, handing an
// output message to its receiver) runs from the scheduler given to the constructor. In virtual
// time that is the message loop itself, so events run on the installer's thread when the virtual
// clock reaches them (inside a Sleep or when the loop is idle); in real time it is a device
// thread, which then plays the driver's thread. The input callback is called from those events,
// except for what a real driver also reports inside the call: MIM_OPEN inside midiInOpen and
// MIM_CLOSE inside midiInClose (unless a device delays them), and the blocks that midiInReset
// returns, inside midiInReset. The driver holds no lock while it calls back, so the callback may
// give blocks back at once. After midiInStop, midiInReset or midiInClose returns, no callback for
// that handle is still running on another thread.
//
// Device numbers are positions among the devices present, in the order the devices were added;
// every change of the lists is reported to the installer as WM_DEVICECHANGE/DBT_DEVNODES_CHANGED.
// Each device can be open through one handle at a time (a second open gives MMSYSERR_ALLOCATED).
// When a device vanishes, its open handle stays valid but dead: start, stop and reset give
// MMSYSERR_NODRIVER, nothing more arrives, and midiInClose lets go of its blocks without
// returning them.
//
// Owners: the scheduler must outlive the driver; events that come due after the driver is gone do
// nothing.
//
// The class is written in parts: virtual_device_table.* (the devices, the handles and the checks
// on them), virtual_midi_driver.cpp (adding devices, presence), virtual_midi_in.cpp (the input
// side), virtual_midi_out.cpp (the output side) and virtual_test_control.cpp (injection,
// observation, faults, inspection).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fw/scheduler.h"
#include "midi/driver/midi_driver.h"
#include "midi/driver/virtual/life_gate.h"
#include "midi/driver/virtual/virtual_device_table.h"

namespace velda {

// The product names under which the simulated instrument's devices appear.
inline constexpr const char* VIRTUAL_INSTRUMENT_IN = "HALVEN USB IN 0-1";
inline constexpr const char* VIRTUAL_INSTRUMENT_OUT = "HALVEN USB OUT 0-1";

// How an instrument's ports are named. Windows: as the instrument's own USB-MIDI driver names
// them, an input "HALVEN USB IN 0-1" and an output "HALVEN USB OUT 0-1". LinuxUsb: as Linux's
// USB-MIDI driver names a USB device's port after its product string: one port for both
// directions, "HALVEN USB MIDI 1" of sequencer client "HALVEN USB" (its first client number is 20).
enum class EPortNaming { Windows, LinuxUsb };
struct CInstrumentPortNames {
  std::string strIn;  // the product names of the input and the output device
  std::string strOut;
  std::string strSystem;  // both devices' whole system name; empty: none
};
CInstrumentPortNames InstrumentPortNames(EPortNaming eNaming);

class CVirtualMidiDriver : public CMidiDriver {
 public:
  using FnOutSink = FnVirtualOutSink;

  explicit CVirtualMidiDriver(fw::CScheduler& scheduler);
  ~CVirtualMidiDriver() override;
  CVirtualMidiDriver(const CVirtualMidiDriver&) = delete;
  CVirtualMidiDriver& operator=(const CVirtualMidiDriver&) = delete;

  fw::CScheduler& Scheduler() const { return m_scheduler; }

  // ---- Devices. The returned id names the device for good; names longer than 31 bytes are cut.
  int AddInDevice(const std::string& strName, const CVirtualInOptions& opt = {});
  int AddOutDevice(const std::string& strName, const CVirtualOutOptions& opt = {});
  // A device vanishes (unplugged) or comes back; one device change is reported per call.
  void SetInPresent(int nId, bool bPresent);
  void SetOutPresent(int nId, bool bPresent);
  void SetPairPresent(int nInId, int nOutId, bool bPresent);
  // The whole name the system gives a device beside its product name (ALSA: "client:port 20:0").
  void SetInSystemName(int nId, const std::string& strName);
  void SetOutSystemName(int nId, const std::string& strName);
  // With the mapper available, opening MIDI_MAPPER opens output device 0; without it (the
  // default) the open gives MIDIERR_NODEVICE.
  void SetMapperAvailable(bool bAvailable);

  // ---- Input deliveries, run as device events nDelayMs from now, in the order asked for. They
  // reach the device's open handle if input is started; otherwise they are dropped.
  // System-exclusive bytes: they fill the queued blocks in order; a block is returned
  // (MIM_LONGDATA) when it is full, after an F7, and at the end of the delivery.
  void InjectBytes(int nId, std::vector<BYTE> aBytes, std::uint32_t nDelayMs = 0);
  // The same, the last block returned with MIM_LONGERROR (an incomplete message).
  void InjectLongError(int nId, std::vector<BYTE> aBytes, std::uint32_t nDelayMs = 0);
  // The first queued block returned with no bytes.
  void InjectEmptyBlock(int nId, std::uint32_t nDelayMs = 0);
  // A short message (MIM_DATA), the driver falling behind (MIM_MOREDATA, or MIM_DATA when the
  // handle was opened without MIDI_IO_STATUS), an invalid short message (MIM_ERROR).
  void InjectShort(int nId, DWORD dwMsg, std::uint32_t nDelayMs = 0);
  void InjectMoreData(int nId, DWORD dwMsg, std::uint32_t nDelayMs = 0);
  void InjectError(int nId, DWORD dwMsg, std::uint32_t nDelayMs = 0);

  // ---- Output.
  // The receiver of every message handed to the device, called from a device event.
  void SetOutSink(int nId, FnOutSink fnSink);
  // Every message the device accepted, in order.
  std::vector<std::vector<BYTE>> OutMessages(int nId) const;
  // Whether OutMessages keeps a copy of every message (on by default, for tests). A long run in
  // the program turns it off: a 16 MiB upload would otherwise hold 18 MiB of copies.
  void SetKeepOutMessages(bool bKeep);
  // The next midiOutLongMsg on the device gives this result and hands nothing over.
  void FailNextLongMsg(int nId, MMRESULT nResult);
  // Messages held by a bHoldMessages device are done now.
  void ReleaseOutMessages(int nId);

  // ---- Inspection.
  bool IsInOpen(int nId) const;
  bool IsOutOpen(int nId) const;
  std::size_t QueuedInBlocks(int nId) const;
  std::uint64_t DroppedInBytes(int nId) const;
  // Open handles, dead ones (of vanished devices) included.
  std::size_t OpenInHandles() const;
  std::size_t OpenOutHandles() const;

  // ---- CMidiDriver.
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
  std::string InSystemName(UINT uDeviceId) override;
  std::string OutSystemName(UINT uDeviceId) override;

 private:
  using CInDevice = CVirtualInDevice;
  using COutDevice = CVirtualOutDevice;
  using CInHandle = CVirtualInHandle;
  using COutHandle = CVirtualOutHandle;

  // One call of the input callback, made after the lock is let go.
  struct CCall {
    MIDIINPROC pfnCallback = nullptr;
    HMIDIIN hMidiIn = nullptr;
    DWORD_PTR dwInstance = 0;
    UINT wMsg = 0;
    DWORD_PTR dwParam1 = 0;
    DWORD_PTR dwParam2 = 0;
  };
  enum class EInject { Bytes, LongError, EmptyBlock, Short, MoreData, Error };

  void Schedule(std::uint32_t nDelayMs, std::function<void()> fn);
  // Inputs and outputs alike.
  template <class TDevice>
  int AddDevice(std::vector<TDevice>& aDevices, const std::string& strName, const decltype(TDevice::opt)& opt);
  void ScheduleInject(int nId, EInject eKind, std::vector<BYTE> aBytes, DWORD dwMsg, std::uint32_t nDelayMs);
  void RunInject(int nId, EInject eKind, const std::vector<BYTE>& aBytes, DWORD dwMsg);
  void DeliverBlocks(int nId, const std::vector<BYTE>& aBytes, UINT wLastMsg);
  // The started handle that receives the device's input, or null; lock held.
  CInHandle* ReceivingHandle(int nId, std::uint32_t& nHandle);
  // A callback made from a device event is in flight from Begin (lock held) to End.
  static void BeginEventCall(CInHandle& h);
  void EndEventCall(std::uint32_t nHandle);
  static void Invoke(const CCall& call);
  // MIM_OPEN or MIM_CLOSE: reported inside the call when nDelayMs is 0, else that much later.
  void Confirm(const CCall& call, std::uint32_t nDelayMs);
  // Waits, lock held, until no device event runs a callback of the handle on another thread.
  void WaitForCallbacks(std::unique_lock<std::mutex>& lock, std::uint32_t nHandle);
  // midiInStop, lock held: the input stops and the callbacks still running elsewhere end.
  MMRESULT StopInput(std::unique_lock<std::mutex>& lock, HMIDIIN hMidiIn);
  void ChangePresence(const std::vector<int>& aIn, const std::vector<int>& aOut, bool bPresent);
  void ReleaseHeld(std::uint32_t nHandle, MIDIHDR* pHdr);

  CInHandle* FindIn(HMIDIIN h, std::uint32_t* pnHandle = nullptr);
  COutHandle* FindOut(HMIDIOUT h, std::uint32_t* pnHandle = nullptr);

  fw::CScheduler& m_scheduler;
  mutable std::mutex m_mx;
  std::condition_variable m_cv;
  std::vector<CInDevice> m_aIn;
  std::vector<COutDevice> m_aOut;
  std::map<std::uint32_t, CInHandle> m_inHandles;
  std::map<std::uint32_t, COutHandle> m_outHandles;
  std::uint32_t m_nNextHandle = 1;
  bool m_bMapperAvailable = false;
  bool m_bKeepOutMessages = true;
  CLifeGate m_gate;  // last: closed first, before the state above goes
};

}  // namespace velda
