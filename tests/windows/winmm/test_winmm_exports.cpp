// The functions of winmm.dll that velda-installer.exe imports, for tests under Wine only: the
// simulated instrument's devices behind the real multimedia API. The system's MIDIHDR is
// byte-packed; each of the host's headers gets one of the driver layer's beside it.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "midi/driver/midi_driver.h"
#include "test_winmm_host.h"
// After the project's headers. mmsystem.h is left out: it declares these functions as imports.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

#pragma pack(push, 1)
struct CSysHdr {
  LPSTR lpData;
  ::DWORD dwBufferLength;
  ::DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  ::DWORD dwFlags;
  CSysHdr* lpNext;
  DWORD_PTR reserved;
  ::DWORD dwOffset;
  DWORD_PTR dwReserved[8];
};
#pragma pack(pop)

using FnInProc = void(CALLBACK*)(HANDLE, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
constexpr UINT MOM_DONE_ = 0x3C9;
constexpr UINT MIM_LONGDATA_ = 0x3C4;
constexpr UINT MIM_LONGERROR_ = 0x3C6;
constexpr ::DWORD CALLBACK_TYPEMASK_ = 0x00070000;
constexpr ::DWORD CALLBACK_FUNCTION_ = 0x00030000;

struct CCallback {
  FnInProc pfn = nullptr;
  DWORD_PTR dwInstance = 0;
};

std::mutex g_mx;
std::map<CSysHdr*, std::unique_ptr<velda::MIDIHDR>> g_shadows;
std::map<HANDLE, CCallback> g_outCallbacks;

velda::CMidiDriver& Driver() { return velda::testwinmm::HostDriver(); }

std::vector<std::unique_ptr<velda::MIDIHDR>> g_retired;  // may still be queued on a dead handle

// As the system does, a header's state lives in the header itself: one not marked prepared is a
// new one, even at the address of an earlier one (whose shadow the driver may still hold).
velda::MIDIHDR* ShadowOf(CSysHdr* p, bool bMake) {
  std::lock_guard<std::mutex> lock(g_mx);
  auto it = g_shadows.find(p);
  if (it != g_shadows.end() && bMake && (p->dwFlags & 0x2) == 0) {  // MHDR_PREPARED
    g_retired.push_back(std::move(it->second));
    g_shadows.erase(it);
    it = g_shadows.end();
  }
  if (it == g_shadows.end()) {
    if (!bMake) return nullptr;
    it = g_shadows.emplace(p, std::make_unique<velda::MIDIHDR>()).first;
  }
  velda::MIDIHDR* s = it->second.get();
  s->lpData = p->lpData;
  s->dwBufferLength = p->dwBufferLength;
  s->dwUser = reinterpret_cast<DWORD_PTR>(p);
  return s;
}

void CopyBack(const velda::MIDIHDR* s) {
  auto* p = reinterpret_cast<CSysHdr*>(s->dwUser);
  p->dwBytesRecorded = s->dwBytesRecorded;
  p->dwFlags = velda::LoadHeaderFlags(*s);
}

void CALLBACK OnDriverIn(velda::HMIDIIN h, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR dwParam2) {
  const auto* pCb = reinterpret_cast<const CCallback*>(dwInstance);
  if ((wMsg == MIM_LONGDATA_ || wMsg == MIM_LONGERROR_) && dwParam1 != 0) {
    const auto* s = reinterpret_cast<const velda::MIDIHDR*>(dwParam1);
    CopyBack(s);
    dwParam1 = s->dwUser;
  }
  if (pCb->pfn != nullptr) pCb->pfn(reinterpret_cast<HANDLE>(h), wMsg, pCb->dwInstance, dwParam1, dwParam2);
}

}  // namespace

void velda::testwinmm::BroadcastDeviceChange(unsigned long long wParam, long long lParam) {
  // What the system does when a device comes or goes: every top-level window of the process hears it.
  struct CArgs {
    WPARAM w;
    LPARAM l;
  } args{static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)};
  ::EnumWindows(
      [](HWND hWnd, LPARAM p) -> BOOL {
        ::DWORD nPid = 0;
        ::GetWindowThreadProcessId(hWnd, &nPid);
        if (nPid == ::GetCurrentProcessId()) {
          const auto* a = reinterpret_cast<const CArgs*>(p);
          ::PostMessageA(hWnd, WM_DEVICECHANGE, a->w, a->l);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&args));
}

// The system's headers declare these; this file must not include them (they declare imports).
#pragma GCC diagnostic ignored "-Wmissing-declarations"

extern "C" {

__declspec(dllexport) UINT WINAPI midiInGetNumDevs() { return Driver().InGetNumDevs(); }

__declspec(dllexport) UINT WINAPI midiInGetDevCapsA(UINT_PTR uId, void* pCaps, UINT cb) {
  return Driver().InGetDevCaps(uId, static_cast<velda::MIDIINCAPS*>(pCaps), cb);
}

__declspec(dllexport) UINT WINAPI
    midiInOpen(HANDLE* ph, UINT uId, DWORD_PTR dwCallback, DWORD_PTR dwInstance, ::DWORD fdwOpen) {
  auto* pCb = new CCallback;  // kept: a callback may come while the handle closes
  if ((fdwOpen & CALLBACK_TYPEMASK_) == CALLBACK_FUNCTION_) pCb->pfn = reinterpret_cast<FnInProc>(dwCallback);
  pCb->dwInstance = dwInstance;
  velda::HMIDIIN h = nullptr;
  const UINT r = Driver().InOpen(&h, uId, reinterpret_cast<DWORD_PTR>(&OnDriverIn), reinterpret_cast<DWORD_PTR>(pCb),
                                 (fdwOpen & ~CALLBACK_TYPEMASK_) | CALLBACK_FUNCTION_);
  if (ph != nullptr) *ph = reinterpret_cast<HANDLE>(h);
  return r;
}

__declspec(dllexport) UINT WINAPI midiInStart(HANDLE h) { return Driver().InStart(static_cast<velda::HMIDIIN>(h)); }
__declspec(dllexport) UINT WINAPI midiInStop(HANDLE h) { return Driver().InStop(static_cast<velda::HMIDIIN>(h)); }
__declspec(dllexport) UINT WINAPI midiInReset(HANDLE h) { return Driver().InReset(static_cast<velda::HMIDIIN>(h)); }
__declspec(dllexport) UINT WINAPI midiInClose(HANDLE h) { return Driver().InClose(static_cast<velda::HMIDIIN>(h)); }

__declspec(dllexport) UINT WINAPI midiInPrepareHeader(HANDLE h, CSysHdr* p, UINT /*cb*/) {
  velda::MIDIHDR* s = ShadowOf(p, true);
  const UINT r = Driver().InPrepareHeader(static_cast<velda::HMIDIIN>(h), s, sizeof *s);
  CopyBack(s);
  return r;
}

__declspec(dllexport) UINT WINAPI midiInUnprepareHeader(HANDLE h, CSysHdr* p, UINT /*cb*/) {
  velda::MIDIHDR* s = ShadowOf(p, false);
  if (s == nullptr) return 11;  // MMSYSERR_INVALPARAM
  const UINT r = Driver().InUnprepareHeader(static_cast<velda::HMIDIIN>(h), s, sizeof *s);
  CopyBack(s);
  return r;
}

__declspec(dllexport) UINT WINAPI midiInAddBuffer(HANDLE h, CSysHdr* p, UINT /*cb*/) {
  velda::MIDIHDR* s = ShadowOf(p, false);
  if (s == nullptr) return 64;  // MIDIERR_UNPREPARED
  p->dwFlags = (p->dwFlags | velda::MHDR_INQUEUE) & ~velda::MHDR_DONE;
  const UINT r = Driver().InAddBuffer(static_cast<velda::HMIDIIN>(h), s, sizeof *s);
  if (r != 0) CopyBack(s);
  return r;
}

__declspec(dllexport) UINT WINAPI midiOutGetNumDevs() { return Driver().OutGetNumDevs(); }

__declspec(dllexport) UINT WINAPI midiOutGetDevCapsA(UINT_PTR uId, void* pCaps, UINT cb) {
  return Driver().OutGetDevCaps(uId, static_cast<velda::MIDIOUTCAPS*>(pCaps), cb);
}

__declspec(dllexport) UINT WINAPI midiOutGetErrorTextA(UINT r, LPSTR psz, UINT cch) {
  if (psz == nullptr || cch == 0) return 11;
  const std::string s = "test winmm error " + std::to_string(r);
  lstrcpynA(psz, s.c_str(), static_cast<int>(cch));
  return 0;
}

__declspec(dllexport) UINT WINAPI midiInGetErrorTextA(UINT r, LPSTR psz, UINT cch) {
  return midiOutGetErrorTextA(r, psz, cch);
}

__declspec(dllexport) UINT WINAPI
    midiOutOpen(HANDLE* ph, UINT uId, DWORD_PTR dwCallback, DWORD_PTR dwInstance, ::DWORD fdwOpen) {
  velda::HMIDIOUT h = nullptr;
  const UINT r = Driver().OutOpen(&h, uId, 0, 0, 0);
  if (ph != nullptr) *ph = reinterpret_cast<HANDLE>(h);
  if (r == 0 && (fdwOpen & CALLBACK_TYPEMASK_) == CALLBACK_FUNCTION_) {
    std::lock_guard<std::mutex> lock(g_mx);
    g_outCallbacks[reinterpret_cast<HANDLE>(h)] = CCallback{reinterpret_cast<FnInProc>(dwCallback), dwInstance};
  }
  return r;
}

__declspec(dllexport) UINT WINAPI midiOutPrepareHeader(HANDLE h, CSysHdr* p, UINT /*cb*/) {
  velda::MIDIHDR* s = ShadowOf(p, true);
  const UINT r = Driver().OutPrepareHeader(static_cast<velda::HMIDIOUT>(h), s, sizeof *s);
  CopyBack(s);
  return r;
}

__declspec(dllexport) UINT WINAPI midiOutUnprepareHeader(HANDLE h, CSysHdr* p, UINT /*cb*/) {
  velda::MIDIHDR* s = ShadowOf(p, false);
  if (s == nullptr) return 11;
  const UINT r = Driver().OutUnprepareHeader(static_cast<velda::HMIDIOUT>(h), s, sizeof *s);
  CopyBack(s);
  return r;
}

__declspec(dllexport) UINT WINAPI midiOutLongMsg(HANDLE h, CSysHdr* p, UINT /*cb*/) {
  velda::MIDIHDR* s = ShadowOf(p, false);
  if (s == nullptr) return 64;
  const UINT r = Driver().OutLongMsg(static_cast<velda::HMIDIOUT>(h), s, sizeof *s);
  CopyBack(s);
  if (r == 0 && (p->dwFlags & velda::MHDR_DONE) != 0) {
    CCallback cb;
    {
      std::lock_guard<std::mutex> lock(g_mx);
      auto it = g_outCallbacks.find(h);
      if (it != g_outCallbacks.end()) cb = it->second;
    }
    if (cb.pfn != nullptr) cb.pfn(h, MOM_DONE_, cb.dwInstance, reinterpret_cast<DWORD_PTR>(p), 0);
  }
  return r;
}

__declspec(dllexport) UINT WINAPI midiOutReset(HANDLE h) { return Driver().OutReset(static_cast<velda::HMIDIOUT>(h)); }

__declspec(dllexport) UINT WINAPI midiOutClose(HANDLE h) {
  const UINT r = Driver().OutClose(static_cast<velda::HMIDIOUT>(h));
  {
    std::lock_guard<std::mutex> lock(g_mx);
    g_outCallbacks.erase(h);
  }
  velda::testwinmm::DumpMemory();
  return r;
}

}  // extern "C"
