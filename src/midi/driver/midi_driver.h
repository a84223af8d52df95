// The MIDI driver layer: the device directory and long-message input and output with the
// semantics of the Windows multimedia MIDI API, under our own names. The port objects are
// written once against the free functions below; a backend (the real multimedia API, RtMidi,
// or the in-process virtual devices) implements CMidiDriver and is made current for the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fw/cstring.h"
#include "fw/types.h"

namespace velda {

using fw::BOOL;
using fw::BYTE;
using fw::DWORD;
using fw::DWORD_PTR;
using fw::MMRESULT;
using fw::UINT;
using fw::UINT_PTR;
using fw::WORD;

// Results.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NODEVICE = 68;

// Input callback messages.
constexpr UINT MIM_OPEN = 0x3C1;
constexpr UINT MIM_CLOSE = 0x3C2;
constexpr UINT MIM_DATA = 0x3C3;
constexpr UINT MIM_LONGDATA = 0x3C4;
constexpr UINT MIM_ERROR = 0x3C5;
constexpr UINT MIM_LONGERROR = 0x3C6;
constexpr UINT MIM_MOREDATA = 0x3CC;

// Open flags.
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
constexpr DWORD MIDI_IO_STATUS = 0x00000020;

// Header flags.
constexpr DWORD MHDR_DONE = 0x00000001;
constexpr DWORD MHDR_PREPARED = 0x00000002;
constexpr DWORD MHDR_INQUEUE = 0x00000004;

// The output device that routes to a default device.
constexpr UINT MIDI_MAPPER = static_cast<UINT>(-1);

// Product names hold at most 31 characters and a terminating zero.
constexpr std::size_t MAXPNAMELEN = 32;

// Opaque handles: a backend decides what they stand for; null is no handle.
struct CMidiInHandleTag;
struct CMidiOutHandleTag;
using HMIDIIN = CMidiInHandleTag*;
using HMIDIOUT = CMidiOutHandleTag*;

// A long-message buffer header, laid out as the multimedia API's.
struct MIDIHDR {
  char* lpData = nullptr;
  DWORD dwBufferLength = 0;
  DWORD dwBytesRecorded = 0;
  DWORD_PTR dwUser = 0;
  DWORD dwFlags = 0;
  MIDIHDR* lpNext = nullptr;
  DWORD_PTR reserved = 0;
  DWORD dwOffset = 0;
  DWORD_PTR dwReserved[8] = {};
};

struct MIDIINCAPS {
  WORD wMid = 0;
  WORD wPid = 0;
  UINT vDriverVersion = 0;
  char szPname[MAXPNAMELEN] = {};
  DWORD dwSupport = 0;
};

struct MIDIOUTCAPS {
  WORD wMid = 0;
  WORD wPid = 0;
  UINT vDriverVersion = 0;
  char szPname[MAXPNAMELEN] = {};
  WORD wTechnology = 0;
  WORD wVoices = 0;
  WORD wNotes = 0;
  WORD wChannelMask = 0;
  DWORD dwSupport = 0;
};

// The input callback, called on the driver's thread (MIM_OPEN and MIM_CLOSE may also come on the
// thread that opens or closes, inside the call).
using MIDIINPROC = void (*)(HMIDIIN hMidiIn, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR dwParam2);

// One backend. Every call may come from the installer's thread; the input calls that give
// blocks back (prepare, add) also come from inside the input callback.
class CMidiDriver {
 public:
  virtual ~CMidiDriver() = default;

  virtual UINT InGetNumDevs() = 0;
  virtual MMRESULT InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) = 0;
  // dwCallback is a MIDIINPROC when fdwOpen holds CALLBACK_FUNCTION.
  virtual MMRESULT InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                          DWORD fdwOpen) = 0;
  virtual MMRESULT InStart(HMIDIIN hMidiIn) = 0;
  virtual MMRESULT InStop(HMIDIIN hMidiIn) = 0;
  // Stops input and returns every queued block, marked done, through the callback before
  // returning. A driver may return one block per round and go on while any is queued, so a block
  // given back to it during the reset comes back again: the callback keeps them.
  virtual MMRESULT InReset(HMIDIIN hMidiIn) = 0;
  virtual MMRESULT InClose(HMIDIIN hMidiIn) = 0;
  virtual MMRESULT InPrepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) = 0;
  virtual MMRESULT InUnprepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) = 0;
  virtual MMRESULT InAddBuffer(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) = 0;

  virtual UINT OutGetNumDevs() = 0;
  virtual MMRESULT OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) = 0;
  virtual MMRESULT OutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                           DWORD fdwOpen) = 0;
  virtual MMRESULT OutPrepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) = 0;
  virtual MMRESULT OutUnprepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) = 0;
  virtual MMRESULT OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) = 0;
  // Returns every message still queued, marked done.
  virtual MMRESULT OutReset(HMIDIOUT hMidiOut) = 0;
  virtual MMRESULT OutClose(HMIDIOUT hMidiOut) = 0;

  // The device's whole name in the system's own terms, where that says more than the product
  // name: on the ALSA sequencer "client:port 20:0", on JACK "client:port". Empty when the system
  // has nothing more to say (the multimedia API) or the number names no device.
  virtual std::string InSystemName(UINT /*uDeviceId*/) { return {}; }
  virtual std::string OutSystemName(UINT /*uDeviceId*/) { return {}; }
};

// The process-wide current driver (null: none). Set it before any port opens and keep it until
// every port is gone.
void SetMidiDriver(CMidiDriver* pDriver);
CMidiDriver* GetMidiDriver();

// The multimedia API's functions, forwarded to the current driver. With no driver there are no
// devices and every other call gives MMSYSERR_NODRIVER.
UINT midiInGetNumDevs();
MMRESULT midiInGetDevCapsA(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps);
MMRESULT midiInOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT midiInStart(HMIDIIN hMidiIn);
MMRESULT midiInStop(HMIDIIN hMidiIn);
MMRESULT midiInReset(HMIDIIN hMidiIn);
MMRESULT midiInClose(HMIDIIN hMidiIn);
MMRESULT midiInPrepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr);
MMRESULT midiInUnprepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr);
MMRESULT midiInAddBuffer(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr);

UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps);
MMRESULT midiOutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT midiOutPrepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr);
MMRESULT midiOutUnprepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr);
MMRESULT midiOutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr);
MMRESULT midiOutReset(HMIDIOUT hMidiOut);
MMRESULT midiOutClose(HMIDIOUT hMidiOut);

// ---- Helpers shared by the port objects and the backends ----

// A header's flags are written by the driver's thread while the installer's thread looks at
// them: both sides go through these (release on store, acquire on load).
DWORD LoadHeaderFlags(const MIDIHDR& hdr);
void StoreHeaderFlags(MIDIHDR& hdr, DWORD dwFlags);

// The product name held in a capabilities name field, which need not be terminated.
fw::CString PnameToString(const char (&szPname)[MAXPNAMELEN]);
// Stores a product name into a capabilities name field: at most 31 bytes, zero-terminated.
void StringToPname(const std::string& strName, char (&szPname)[MAXPNAMELEN]);

// A header and its block that a driver may still write into or read after their port gave up on
// them (the driver refused to close or to let go of the header): kept, never freed, until the
// process ends. Either may be null.
void KeepForDriver(std::unique_ptr<MIDIHDR> pHdr, std::unique_ptr<BYTE[]> pBuf);
// How many headers and blocks were kept so far.
std::size_t KeptForDriverCount();

// The system's whole name of a device of the current driver (empty: none; see CMidiDriver).
std::string MidiInSystemName(UINT uDeviceId);
std::string MidiOutSystemName(UINT uDeviceId);

// The first device whose product name equals strName byte for byte (case-sensitive), or -1.
int FindMidiInDevice(const std::string& strName);
int FindMidiOutDevice(const std::string& strName);

}  // namespace velda
