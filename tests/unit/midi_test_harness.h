// What the MIDI transport tests run on: a virtual-time loop made current, an application with a
// main window that records the commands and device changes posted to it, a front end that
// records message boxes and answers them OK, the virtual driver behind a decorator that logs
// every driver call the ports make, and a trace sink that records every line.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fw/msgloop.h"
#include "fw/trace.h"
#include "fw/view.h"
#include "fw/wnd.h"
#include "midi/driver/midi_driver.h"
#include "midi/driver/virtual/virtual_midi_driver.h"

namespace velda::test {

struct CBoxRecord {
  std::string strText;
  std::string strCaption;
  fw::UINT uType = 0;
};

class CBoxFrontEnd : public fw::CFrontEnd {
 public:
  explicit CBoxFrontEnd(fw::CMsgLoop& loop) : m_loop(loop) {}
  void OnWindowCreated(fw::HWND, const fw::CDialogTemplate&) override {}
  void OnWindowShown(fw::HWND, bool) override {}
  void OnWindowDestroyed(fw::HWND) override {}
  void OnWindowIcon(fw::HWND, int, bool) override {}
  void OnControlChanged(fw::HWND, const fw::CControlState&) override {}
  void ShowMessageBox(int nBoxId, fw::HWND, const fw::CString& strText, const fw::CString& strCaption,
                      fw::UINT uType) override {
    m_aBoxes.push_back(CBoxRecord{strText.Str(), strCaption.Str(), uType});
    m_loop.PostInput(fw::CInputEvent::BoxAnswer(nBoxId, fw::IDOK));
  }
  void CloseMessageBox(int, int) override {}

  std::vector<CBoxRecord> m_aBoxes;

 private:
  fw::CMsgLoop& m_loop;
};

class CTestApp : public fw::CWinApp {
 public:
  explicit CTestApp(fw::CMsgLoop& loop) : fw::CWinApp(loop, "VELDA Installer") {}
  fw::BOOL InitInstance() override { return fw::TRUE; }
};

// The main window: records the command ids and device changes it receives.
class CRecordingWnd : public fw::CDialog {
 public:
  static constexpr fw::UINT kSentinel = 0xFFFF;
  CRecordingWnd() : fw::CDialog(fw::CDialogTemplate{}) {}

  std::vector<fw::UINT> m_aCommands;
  std::vector<fw::UINT> m_aDeviceChanges;
  bool m_bSentinel = false;

  std::size_t Count(fw::UINT nId) const {
    return static_cast<std::size_t>(std::count(m_aCommands.begin(), m_aCommands.end(), nId));
  }

 protected:
  fw::BOOL OnCommand(fw::WPARAM wParam, fw::LPARAM lParam) override {
    if (wParam == kSentinel) {
      m_bSentinel = true;
      return fw::TRUE;
    }
    EXPECT_EQ(lParam, 0);
    m_aCommands.push_back(static_cast<fw::UINT>(wParam));
    return fw::TRUE;
  }
  fw::BOOL OnDeviceChange(fw::UINT nEventType, fw::DWORD_PTR dwData) override {
    EXPECT_EQ(dwData, 0u);
    m_aDeviceChanges.push_back(nEventType);
    return fw::TRUE;
  }
};

class CTraceRecorder : public CTraceSink {
 public:
  void OnTraceLine(char cDir, const std::string& strPayload) override {
    std::lock_guard<std::mutex> lock(m_mx);
    m_aLines.emplace_back(cDir, strPayload);
  }
  std::vector<std::pair<char, std::string>> Lines() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_aLines;
  }
  std::vector<std::string> Of(char cDir) const {
    std::vector<std::string> a;
    for (const auto& [c, s] : Lines()) {
      if (c == cDir) a.push_back(s);
    }
    return a;
  }
  std::size_t CountNote(const std::string& strNote) const {
    const std::vector<std::string> a = Of('#');
    return static_cast<std::size_t>(std::count(a.begin(), a.end(), strNote));
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_mx);
    m_aLines.clear();
  }

 private:
  mutable std::mutex m_mx;
  std::vector<std::pair<char, std::string>> m_aLines;
};

// Forwards to another driver and logs the name of every call with its result: "midiInStop=0".
class CCallLogDriver : public CMidiDriver {
 public:
  explicit CCallLogDriver(CMidiDriver& inner) : m_inner(inner) {}

  std::vector<std::string> Calls() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_aCalls;
  }
  // The calls whose name starts with strPrefix, names only.
  std::vector<std::string> Names(const std::string& strPrefix = "midi") const {
    std::vector<std::string> a;
    for (const std::string& s : Calls()) {
      const std::string strName = s.substr(0, s.find('='));
      if (strName.rfind(strPrefix, 0) == 0) a.push_back(strName);
    }
    return a;
  }
  std::size_t Count(const std::string& strName) const {
    const std::vector<std::string> a = Names(strName);
    return static_cast<std::size_t>(std::count(a.begin(), a.end(), strName));
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_mx);
    m_aCalls.clear();
  }

  UINT InGetNumDevs() override { return m_inner.InGetNumDevs(); }
  MMRESULT InGetDevCaps(UINT_PTR u, MIDIINCAPS* p, UINT cb) override { return m_inner.InGetDevCaps(u, p, cb); }
  MMRESULT InOpen(HMIDIIN* ph, UINT u, DWORD_PTR cb, DWORD_PTR inst, DWORD f) override {
    return Call("midiInOpen", [&] { return m_inner.InOpen(ph, u, cb, inst, f); });
  }
  MMRESULT InStart(HMIDIIN h) override {
    return Call("midiInStart", [&] { return m_inner.InStart(h); });
  }
  MMRESULT InStop(HMIDIIN h) override {
    return Call("midiInStop", [&] { return m_inner.InStop(h); });
  }
  MMRESULT InReset(HMIDIIN h) override {
    return Call("midiInReset", [&] { return m_inner.InReset(h); });
  }
  MMRESULT InClose(HMIDIIN h) override {
    return Call("midiInClose", [&] { return m_inner.InClose(h); });
  }
  MMRESULT InPrepareHeader(HMIDIIN h, MIDIHDR* p, UINT cb) override {
    return Call("midiInPrepareHeader", [&] { return m_inner.InPrepareHeader(h, p, cb); });
  }
  MMRESULT InUnprepareHeader(HMIDIIN h, MIDIHDR* p, UINT cb) override {
    return Call("midiInUnprepareHeader", [&] { return m_inner.InUnprepareHeader(h, p, cb); });
  }
  MMRESULT InAddBuffer(HMIDIIN h, MIDIHDR* p, UINT cb) override {
    return Call("midiInAddBuffer", [&] { return m_inner.InAddBuffer(h, p, cb); });
  }
  UINT OutGetNumDevs() override { return m_inner.OutGetNumDevs(); }
  MMRESULT OutGetDevCaps(UINT_PTR u, MIDIOUTCAPS* p, UINT cb) override { return m_inner.OutGetDevCaps(u, p, cb); }
  MMRESULT OutOpen(HMIDIOUT* ph, UINT u, DWORD_PTR cb, DWORD_PTR inst, DWORD f) override {
    return Call("midiOutOpen", [&] { return m_inner.OutOpen(ph, u, cb, inst, f); });
  }
  MMRESULT OutPrepareHeader(HMIDIOUT h, MIDIHDR* p, UINT cb) override {
    return Call("midiOutPrepareHeader", [&] { return m_inner.OutPrepareHeader(h, p, cb); });
  }
  MMRESULT OutUnprepareHeader(HMIDIOUT h, MIDIHDR* p, UINT cb) override {
    return Call("midiOutUnprepareHeader", [&] { return m_inner.OutUnprepareHeader(h, p, cb); });
  }
  MMRESULT OutLongMsg(HMIDIOUT h, MIDIHDR* p, UINT cb) override {
    return Call("midiOutLongMsg", [&] { return m_inner.OutLongMsg(h, p, cb); });
  }
  MMRESULT OutReset(HMIDIOUT h) override {
    return Call("midiOutReset", [&] { return m_inner.OutReset(h); });
  }
  MMRESULT OutClose(HMIDIOUT h) override {
    return Call("midiOutClose", [&] { return m_inner.OutClose(h); });
  }

 private:
  // Logged in the order the calls begin (a call the callback makes inside a reset comes after
  // the reset), each with its result once it is known.
  template <class TFn>
  MMRESULT Call(const char* pszName, TFn fn) {
    std::size_t nIndex = 0;
    {
      std::lock_guard<std::mutex> lock(m_mx);
      nIndex = m_aCalls.size();
      m_aCalls.push_back(pszName);
    }
    const MMRESULT nResult = fn();
    std::lock_guard<std::mutex> lock(m_mx);
    m_aCalls[nIndex] += "=" + std::to_string(nResult);
    return nResult;
  }

  CMidiDriver& m_inner;
  mutable std::mutex m_mx;
  std::vector<std::string> m_aCalls;
};

class CMidiHarness {
 public:
  CMidiHarness() {
    m_loop.MakeCurrent();
    m_loop.SetFrontEnd(&m_frontEnd);
    m_app.SetMainWnd(&m_wnd);
    m_wnd.CreateFromTemplate(fw::CDialogTemplate{});
    SetMidiDriver(&m_log);
    SetTraceSink(&m_trace);
  }
  ~CMidiHarness() {
    SetTraceSink(nullptr);
    SetMidiDriver(nullptr);
  }
  CMidiHarness(const CMidiHarness&) = delete;
  CMidiHarness& operator=(const CMidiHarness&) = delete;

  // Runs the device events due now, then every message posted so far.
  void Settle() {
    m_loop.Sleep(0);
    Drain();
  }
  // Lets nMs of virtual time pass (device events run in time order), then dispatches.
  void Advance(fw::UINT nMs) {
    m_loop.Sleep(nMs);
    Drain();
  }
  // Dispatches every message posted so far.
  void Drain() {
    m_wnd.m_bSentinel = false;
    m_loop.Post(m_wnd.GetSafeHwnd(), fw::WM_COMMAND, CRecordingWnd::kSentinel, 0);
    m_loop.RunModal([this] { return m_wnd.m_bSentinel; });
  }
  std::uint64_t Now() const { return m_loop.Now(); }

  fw::CMsgLoop m_loop{fw::CMsgLoop::EClock::Virtual};
  CBoxFrontEnd m_frontEnd{m_loop};
  CTestApp m_app{m_loop};
  CRecordingWnd m_wnd;
  CVirtualMidiDriver m_driver{m_loop};
  CCallLogDriver m_log{m_driver};
  CTraceRecorder m_trace;
};

inline std::vector<BYTE> Bytes(std::initializer_list<int> a) {
  std::vector<BYTE> v;
  for (const int n : a) v.push_back(static_cast<BYTE>(n));
  return v;
}

// A system-exclusive message of nLength bytes: F0, a counting body, F7.
inline std::vector<BYTE> SysEx(std::size_t nLength, BYTE nSeed = 0) {
  std::vector<BYTE> v(nLength);
  for (std::size_t i = 0; i < nLength; ++i) v[i] = static_cast<BYTE>((nSeed + i) & 0x7F);
  v.front() = 0xF0;
  v.back() = 0xF7;
  return v;
}

}  // namespace velda::test
