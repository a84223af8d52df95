#include "midi/driver/webmidi/webmidi_midi_driver.h"

#include <emscripten.h>

#include <cstring>
#include <vector>

#include "fw/trace.h"
#include "fw/wnd.h"

// The page's side: globalThis.veldaMidi holds the access, the port lists (connected ports, as
// the lists were when last taken) and the open ports by handle.
// clang-format off
EM_JS(void, velda_midi_request, (), {
  var m = globalThis.veldaMidi || (globalThis.veldaMidi = {state: "", error: "", ins: [], outs: [], open: {}, next: 1});
  if (m.state !== "") return;  // asked once for the page
  var take = function() {
    var conn = function(map) { var a = []; map.forEach(function(p) { if (p.state !== "disconnected") a.push(p); }); return a; };
    m.ins = conn(m.access.inputs);
    m.outs = conn(m.access.outputs);
  };
  m.take = take;
  if (!globalThis.navigator || !navigator.requestMIDIAccess) { m.state = "missing"; return; }
  m.state = "pending";
  navigator.requestMIDIAccess({sysex: true}).then(function(access) {
    m.access = access;
    take();
    access.onstatechange = function() { take(); Module._velda_webmidi_statechange(); };
    m.state = "ok";
  }, function(e) { m.state = "refused"; m.error = (e && (e.message || e.name)) ? String(e.message || e.name) : ""; });
});
EM_JS(int, velda_midi_state, (), {
  var s = globalThis.veldaMidi ? globalThis.veldaMidi.state : "";
  return s === "ok" ? 1 : s === "pending" ? 0 : s === "missing" ? 2 : 3;
});
EM_JS(char*, velda_midi_error, (), {
  var s = globalThis.veldaMidi ? globalThis.veldaMidi.error : "";
  var n = lengthBytesUTF8(s) + 1; var p = _malloc(n); stringToUTF8(s, p, n); return p;
});
EM_JS(int, velda_midi_count, (int bOut), { return globalThis.veldaMidi[bOut ? "outs" : "ins"].length; });
EM_JS(char*, velda_midi_name, (int bOut, int i), {
  var a = globalThis.veldaMidi[bOut ? "outs" : "ins"];
  var s = (i >= 0 && i < a.length) ? String(a[i].name || "") : "";
  var n = lengthBytesUTF8(s) + 1; var p = _malloc(n); stringToUTF8(s, p, n); return p;
});
// Opens port i of a list as handle h: 0 when done, else 1 (no such port).
EM_JS(int, velda_midi_open, (int bOut, int i, int h), {
  var m = globalThis.veldaMidi;
  var a = m[bOut ? "outs" : "ins"];
  if (i < 0 || i >= a.length) return 1;
  var port = a[i];
  m.open[h] = port;
  if (!bOut) {
    port.onmidimessage = function(e) {
      var d = e.data; var p = _malloc(d.length); HEAPU8.set(d, p);
      Module._velda_webmidi_bytes(h, p, d.length);
      _free(p);
    };
  }
  if (port.open) { var r = port.open(); if (r && r.catch) r.catch(function() {}); }
  return 0;
});
EM_JS(void, velda_midi_close, (int h), {
  var m = globalThis.veldaMidi; var port = m.open[h];
  if (!port) return;
  delete m.open[h];
  if (port.onmidimessage !== undefined) port.onmidimessage = null;
  if (port.close) { var r = port.close(); if (r && r.catch) r.catch(function() {}); }
});
// Sends n bytes: 0 when the port took them, 1 when the port is gone or refused them.
EM_JS(int, velda_midi_send, (int h, const unsigned char* p, int n), {
  var port = globalThis.veldaMidi.open[h];
  if (!port || port.state === "disconnected") return 1;
  try { port.send(Array.from(HEAPU8.subarray(p, p + n))); } catch (e) { return 1; }
  return 0;
});
// clang-format on

namespace velda {

namespace {

CWebMidiDriver* g_pCurrent = nullptr;
std::uint32_t g_nNextHandle = 1;

std::string TakeJsString(char* p) {
  std::string s = p != nullptr ? p : "";
  std::free(p);
  return s;
}

std::uint32_t HandleOf(const void* h) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h)); }

template <typename H>
H ToHandle(std::uint32_t n) {
  return reinterpret_cast<H>(static_cast<std::uintptr_t>(n));
}

void SetFlag(MIDIHDR& hdr, DWORD dwSet, DWORD dwClear) {
  StoreHeaderFlags(hdr, (LoadHeaderFlags(hdr) | dwSet) & ~dwClear);
}

// An output handle's number: odd numbers are outputs, so no handle stands for both.
bool IsOutHandle(std::uint32_t n) { return (n & 1U) != 0; }

}  // namespace

std::unique_ptr<CWebMidiDriver> CWebMidiDriver::Open(std::string& strError) {
  velda_midi_request();
  int nState = velda_midi_state();
  while (nState == 0) {
    emscripten_sleep(20);  // the permission prompt: the page stays alive meanwhile
    nState = velda_midi_state();
  }
  if (nState == 2) {
    strError =
        "this browser has no Web MIDI: use a current Chrome, Edge, Opera or Firefox (Safari has none), "
        "or the installer for your desktop";
    return nullptr;
  }
  if (nState == 3) {
    const std::string strWhy = TakeJsString(velda_midi_error());
    strError = "the browser did not allow MIDI with SysEx for this page";
    if (!strWhy.empty()) strError += " (" + strWhy + ")";
    strError += ": allow MIDI device access in the site settings and load the page again";
    return nullptr;
  }
  std::unique_ptr<CWebMidiDriver> p(new CWebMidiDriver());
  g_pCurrent = p.get();
  return p;
}

CWebMidiDriver::~CWebMidiDriver() {
  for (const auto& [n, in] : m_in) velda_midi_close(static_cast<int>(n));
  if (g_pCurrent == this) g_pCurrent = nullptr;
}

CWebMidiDriver* CWebMidiDriver::Current() { return g_pCurrent; }

void CWebMidiDriver::OnStateChange() { fw::PostToMainWindow(fw::WM_DEVICECHANGE, fw::DBT_DEVNODES_CHANGED, 0); }

void CWebMidiDriver::Call(std::uint32_t nHandle, const CInHandle& in, UINT wMsg, DWORD_PTR dwParam1,
                          DWORD_PTR dwParam2) const {
  if (in.pfnCallback != nullptr) in.pfnCallback(ToHandle<HMIDIIN>(nHandle), wMsg, in.dwInstance, dwParam1, dwParam2);
}

// The head of the queue is done and goes back to its port.
void CWebMidiDriver::Give(std::uint32_t nHandle, CInHandle& in, UINT wMsg) {
  MIDIHDR* pHdr = in.aQueue.front();
  in.aQueue.pop_front();
  SetFlag(*pHdr, MHDR_DONE, MHDR_INQUEUE);
  Call(nHandle, in, wMsg, reinterpret_cast<DWORD_PTR>(pHdr), 0);
}

void CWebMidiDriver::OnBytes(std::uint32_t nHandle, const BYTE* p, std::size_t n) {
  auto it = m_in.find(nHandle);
  if (it == m_in.end() || !it->second.bStarted) return;  // not started: input is dropped
  CInHandle& in = it->second;
  for (std::size_t i = 0; i < n; ++i) {
    const BYTE b = p[i];
    if (b >= 0xF8) continue;  // real-time bytes may come inside SysEx and are not part of it
    if (b == 0xF0) in.bInSysEx = true;
    if (!in.bInSysEx) {
      // A short message outside SysEx: the installer reads SysEx only.
      continue;
    }
    if (in.aQueue.empty()) {
      Call(nHandle, in, MIM_LONGERROR, 0, 0);  // no buffer for it: the rest of this message is lost
      in.bInSysEx = false;
      continue;
    }
    MIDIHDR& hdr = *in.aQueue.front();
    hdr.lpData[hdr.dwBytesRecorded++] = static_cast<char>(b);
    if (b == 0xF7) {
      in.bInSysEx = false;
      Give(nHandle, in, MIM_LONGDATA);
      // Another message in the same event goes on in the next header.
      it = m_in.find(nHandle);
      if (it == m_in.end()) return;
    } else if (hdr.dwBytesRecorded >= hdr.dwBufferLength) {
      Give(nHandle, in, MIM_LONGDATA);  // full: the message goes on in the next header
      it = m_in.find(nHandle);
      if (it == m_in.end()) return;
    }
  }
}

CWebMidiDriver::CInHandle* CWebMidiDriver::In(HMIDIIN h) {
  const auto it = m_in.find(HandleOf(h));
  return it == m_in.end() ? nullptr : &it->second;
}

UINT CWebMidiDriver::InGetNumDevs() { return static_cast<UINT>(velda_midi_count(0)); }

MMRESULT CWebMidiDriver::InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) {
  if (pCaps == nullptr || cbCaps < sizeof(MIDIINCAPS)) return MMSYSERR_INVALPARAM;
  if (uDeviceId >= InGetNumDevs()) return MMSYSERR_BADDEVICEID;
  *pCaps = MIDIINCAPS{};
  StringToPname(TakeJsString(velda_midi_name(0, static_cast<int>(uDeviceId))), pCaps->szPname);
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                                DWORD fdwOpen) {
  if (phMidiIn == nullptr) return MMSYSERR_INVALPARAM;
  *phMidiIn = nullptr;
  const DWORD dwType = fdwOpen & CALLBACK_TYPEMASK;
  if (dwType != CALLBACK_NULL && dwType != CALLBACK_FUNCTION) return MMSYSERR_INVALFLAG;
  const std::uint32_t n = 2 * g_nNextHandle++;
  if (velda_midi_open(0, static_cast<int>(uDeviceId), static_cast<int>(n)) != 0) return MMSYSERR_BADDEVICEID;
  CInHandle& in = m_in[n];
  in.pfnCallback = dwType == CALLBACK_FUNCTION ? reinterpret_cast<MIDIINPROC>(dwCallback) : nullptr;
  in.dwInstance = dwInstance;
  *phMidiIn = ToHandle<HMIDIIN>(n);
  Call(n, in, MIM_OPEN, 0, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::InStart(HMIDIIN hMidiIn) {
  CInHandle* p = In(hMidiIn);
  if (p == nullptr) return MMSYSERR_INVALHANDLE;
  p->bStarted = true;
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::InStop(HMIDIIN hMidiIn) {
  CInHandle* p = In(hMidiIn);
  if (p == nullptr) return MMSYSERR_INVALHANDLE;
  p->bStarted = false;
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::InReset(HMIDIIN hMidiIn) {
  const std::uint32_t n = HandleOf(hMidiIn);
  CInHandle* p = In(hMidiIn);
  if (p == nullptr) return MMSYSERR_INVALHANDLE;
  p->bStarted = false;
  p->bInSysEx = false;
  // Every queued header goes back; a partly filled one keeps what it holds.
  while ((p = In(hMidiIn)) != nullptr && !p->aQueue.empty()) Give(n, *p, MIM_LONGDATA);
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::InClose(HMIDIIN hMidiIn) {
  const std::uint32_t n = HandleOf(hMidiIn);
  CInHandle* p = In(hMidiIn);
  if (p == nullptr) return MMSYSERR_INVALHANDLE;
  if (!p->aQueue.empty()) return MIDIERR_STILLPLAYING;
  velda_midi_close(static_cast<int>(n));
  const CInHandle in = *p;
  m_in.erase(n);
  Call(n, in, MIM_CLOSE, 0, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::InPrepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  if (In(hMidiIn) == nullptr) return MMSYSERR_INVALHANDLE;
  if (pHdr == nullptr || cbHdr < sizeof(MIDIHDR) || pHdr->lpData == nullptr) return MMSYSERR_INVALPARAM;
  SetFlag(*pHdr, MHDR_PREPARED, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::InUnprepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  if (In(hMidiIn) == nullptr) return MMSYSERR_INVALHANDLE;
  if (pHdr == nullptr || cbHdr < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  if ((LoadHeaderFlags(*pHdr) & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
  SetFlag(*pHdr, 0, MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::InAddBuffer(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  CInHandle* p = In(hMidiIn);
  if (p == nullptr) return MMSYSERR_INVALHANDLE;
  if (pHdr == nullptr || cbHdr < sizeof(MIDIHDR) || pHdr->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  if ((LoadHeaderFlags(*pHdr) & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  if ((LoadHeaderFlags(*pHdr) & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
  pHdr->dwBytesRecorded = 0;
  SetFlag(*pHdr, MHDR_INQUEUE, MHDR_DONE);
  p->aQueue.push_back(pHdr);
  return MMSYSERR_NOERROR;
}

UINT CWebMidiDriver::OutGetNumDevs() { return static_cast<UINT>(velda_midi_count(1)); }

MMRESULT CWebMidiDriver::OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) {
  if (pCaps == nullptr || cbCaps < sizeof(MIDIOUTCAPS)) return MMSYSERR_INVALPARAM;
  if (uDeviceId >= OutGetNumDevs()) return MMSYSERR_BADDEVICEID;
  *pCaps = MIDIOUTCAPS{};
  StringToPname(TakeJsString(velda_midi_name(1, static_cast<int>(uDeviceId))), pCaps->szPname);
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::OutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR /*dwCallback*/,
                                 DWORD_PTR /*dwInstance*/, DWORD /*fdwOpen*/) {
  if (phMidiOut == nullptr) return MMSYSERR_INVALPARAM;
  *phMidiOut = nullptr;
  const std::uint32_t n = 2 * g_nNextHandle++ + 1;
  if (velda_midi_open(1, static_cast<int>(uDeviceId), static_cast<int>(n)) != 0) return MMSYSERR_BADDEVICEID;
  *phMidiOut = ToHandle<HMIDIOUT>(n);
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::OutPrepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  if (!IsOutHandle(HandleOf(hMidiOut))) return MMSYSERR_INVALHANDLE;
  if (pHdr == nullptr || cbHdr < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  SetFlag(*pHdr, MHDR_PREPARED, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::OutUnprepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  if (!IsOutHandle(HandleOf(hMidiOut))) return MMSYSERR_INVALHANDLE;
  if (pHdr == nullptr || cbHdr < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  SetFlag(*pHdr, 0, MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  const std::uint32_t n = HandleOf(hMidiOut);
  if (!IsOutHandle(n)) return MMSYSERR_INVALHANDLE;
  if (pHdr == nullptr || cbHdr < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  if ((LoadHeaderFlags(*pHdr) & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  if (velda_midi_send(static_cast<int>(n), reinterpret_cast<const unsigned char*>(pHdr->lpData),
                      static_cast<int>(pHdr->dwBufferLength)) != 0) {
    TraceNote("Web MIDI output refused a message (the port is gone or SysEx is not allowed)");
    return MIDIERR_NODEVICE;
  }
  SetFlag(*pHdr, MHDR_DONE, 0);  // the browser has taken a copy of the bytes
  return MMSYSERR_NOERROR;
}

MMRESULT CWebMidiDriver::OutReset(HMIDIOUT hMidiOut) {
  return IsOutHandle(HandleOf(hMidiOut)) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT CWebMidiDriver::OutClose(HMIDIOUT hMidiOut) {
  const std::uint32_t n = HandleOf(hMidiOut);
  if (!IsOutHandle(n)) return MMSYSERR_INVALHANDLE;
  velda_midi_close(static_cast<int>(n));
  return MMSYSERR_NOERROR;
}

}  // namespace velda

// The page's MIDI events.
extern "C" EMSCRIPTEN_KEEPALIVE void velda_webmidi_bytes(int nHandle, const unsigned char* p, int n) {
  if (velda::CWebMidiDriver* pDriver = velda::CWebMidiDriver::Current()) {
    pDriver->OnBytes(static_cast<std::uint32_t>(nHandle), p, static_cast<std::size_t>(n));
  }
}

extern "C" EMSCRIPTEN_KEEPALIVE void velda_webmidi_statechange() {
  if (velda::CWebMidiDriver* pDriver = velda::CWebMidiDriver::Current()) pDriver->OnStateChange();
}
