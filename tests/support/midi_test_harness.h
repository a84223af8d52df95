// What the MIDI transport tests run on: a virtual-time loop made current, an application with a
// main window that records the commands and device changes posted to it, the scripted
// front end answering every message box OK, the virtual driver behind a decorator that logs
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
#include "midi/driver/forwarding_midi_driver.h"
#include "midi/driver/virtual/virtual_midi_driver.h"
#include "support/recording_wnd.h"
#include "support/trace_recorder.h"
#include "ui/scripted/scripted_view.h"

namespace velda::test {

class CTestApp : public fw::CWinApp {
 public:
  explicit CTestApp(fw::CMsgLoop& loop) : fw::CWinApp(loop, "VELDA Installer") {}
  fw::BOOL InitInstance() override { return fw::TRUE; }
};

// Forwards to another driver and logs the name of every call with its result: "midiInStop=0".
class CCallLogDriver : public CForwardingMidiDriver {
 public:
  using CForwardingMidiDriver::CForwardingMidiDriver;

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

  MMRESULT InOpen(HMIDIIN* ph, UINT u, DWORD_PTR cb, DWORD_PTR inst, DWORD f) override {
    return Call("midiInOpen", [&] { return CForwardingMidiDriver::InOpen(ph, u, cb, inst, f); });
  }
  MMRESULT InStart(HMIDIIN h) override {
    return Call("midiInStart", [&] { return CForwardingMidiDriver::InStart(h); });
  }
  MMRESULT InStop(HMIDIIN h) override {
    return Call("midiInStop", [&] { return CForwardingMidiDriver::InStop(h); });
  }
  MMRESULT InReset(HMIDIIN h) override {
    return Call("midiInReset", [&] { return CForwardingMidiDriver::InReset(h); });
  }
  MMRESULT InClose(HMIDIIN h) override {
    return Call("midiInClose", [&] { return CForwardingMidiDriver::InClose(h); });
  }
  MMRESULT InPrepareHeader(HMIDIIN h, MIDIHDR* p, UINT cb) override {
    return Call("midiInPrepareHeader", [&] { return CForwardingMidiDriver::InPrepareHeader(h, p, cb); });
  }
  MMRESULT InUnprepareHeader(HMIDIIN h, MIDIHDR* p, UINT cb) override {
    return Call("midiInUnprepareHeader", [&] { return CForwardingMidiDriver::InUnprepareHeader(h, p, cb); });
  }
  MMRESULT InAddBuffer(HMIDIIN h, MIDIHDR* p, UINT cb) override {
    return Call("midiInAddBuffer", [&] { return CForwardingMidiDriver::InAddBuffer(h, p, cb); });
  }
  MMRESULT OutOpen(HMIDIOUT* ph, UINT u, DWORD_PTR cb, DWORD_PTR inst, DWORD f) override {
    return Call("midiOutOpen", [&] { return CForwardingMidiDriver::OutOpen(ph, u, cb, inst, f); });
  }
  MMRESULT OutPrepareHeader(HMIDIOUT h, MIDIHDR* p, UINT cb) override {
    return Call("midiOutPrepareHeader", [&] { return CForwardingMidiDriver::OutPrepareHeader(h, p, cb); });
  }
  MMRESULT OutUnprepareHeader(HMIDIOUT h, MIDIHDR* p, UINT cb) override {
    return Call("midiOutUnprepareHeader", [&] { return CForwardingMidiDriver::OutUnprepareHeader(h, p, cb); });
  }
  MMRESULT OutLongMsg(HMIDIOUT h, MIDIHDR* p, UINT cb) override {
    return Call("midiOutLongMsg", [&] { return CForwardingMidiDriver::OutLongMsg(h, p, cb); });
  }
  MMRESULT OutReset(HMIDIOUT h) override {
    return Call("midiOutReset", [&] { return CForwardingMidiDriver::OutReset(h); });
  }
  MMRESULT OutClose(HMIDIOUT h) override {
    return Call("midiOutClose", [&] { return CForwardingMidiDriver::OutClose(h); });
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

  mutable std::mutex m_mx;
  std::vector<std::string> m_aCalls;
};

class CMidiHarness {
 public:
  CMidiHarness() {
    m_loop.MakeCurrent();
    m_frontEnd.SetDefaultAnswer(fw::IDOK);
    m_loop.SetFrontEnd(&m_frontEnd);
    m_wnd.m_bExpectNoData = true;
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
  CScriptedView m_frontEnd{m_loop};
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
