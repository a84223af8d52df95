// Runs the installer as a user would, in virtual time, on a thread of its own: the program's
// start-up, the real message loop, the scripted view. The test thread drives it: it lets the
// installer run until a condition holds at an idle point, a virtual time is reached, or nothing
// is left to do, inspects it there (the installer thread is paused), and injects the user's input.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fw/msgloop.h"
#include "fw/trace.h"
#include "instrument/sim_instrument.h"
#include "midi/driver/virtual/instrument/virtual_setup.h"
#include "shell/installer_app.h"
#include "shell/installer_dlg.h"
#include "support/temp_folder.h"
#include "support/trace_recorder.h"
#include "ui/scripted/scripted_view.h"

namespace velda::test {

struct CRigOptions {
  bool bInstrument = true;                     // the simulated instrument ...
  EPortNaming eNaming = EPortNaming::Windows;  // ... on these port names
  CInstrumentConfig instrument{};              // its settings and fault plan
};

class CTestRig {
 public:
  explicit CTestRig(const CRigOptions& opt = {});
  ~CTestRig();
  CTestRig(const CTestRig&) = delete;
  CTestRig& operator=(const CTestRig&) = delete;

  fw::CMsgLoop& Loop() { return m_loop; }
  CScriptedView& View() { return m_view; }
  CInstallerApp& App() { return *m_pApp; }
  // The dialog while the program runs (null before and after).
  CInstallerDlg* Dlg() { return m_pApp->Dialog(); }
  const std::filesystem::path& Folder() const { return m_folder.Path(); }
  CVirtualMidiDriver& Driver() { return m_pVirtual->Driver(); }
  // The simulated instrument (with CRigOptions::bInstrument).
  CSimInstrument& Instrument() { return m_pVirtual->Instrument()->Instrument(); }
  // Its devices on the virtual driver (with CRigOptions::bInstrument).
  CVirtualInstrumentLink& InstrumentLink() { return m_pVirtual->Instrument()->Link(); }
  // Every message handed to the instrument's output device, in order.
  std::vector<std::vector<std::uint8_t>> Sent() const;
  const CTraceRecorder& Trace() const { return m_trace; }

  // Writes the package the program will read.
  void SetPackage(const std::vector<std::uint8_t>& aBytes);
  std::filesystem::path PackagePath() const { return m_folder / "velda.uxs"; }

  // Every step and tick the main window receives, with the virtual time: "<ms> <id>".
  std::vector<std::pair<std::uint64_t, fw::UINT>> Commands() const;
  // Whether the command was dispatched at least once.
  bool SawCommand(fw::UINT nId) const;
  // How often, and at which virtual times, the command was dispatched.
  std::size_t CountCommand(fw::UINT nId) const;
  std::vector<std::uint64_t> CommandTimes(fw::UINT nId) const;
  // Every WM_DEVICECHANGE the main window received: virtual time, event type, event data.
  struct CDeviceChange {
    std::uint64_t nAt = 0;
    fw::WPARAM nType = 0;
    fw::LPARAM nData = 0;
  };
  std::vector<CDeviceChange> DeviceChanges() const;
  // The driver ids of the simulated instrument's input and output devices (-1 without it).
  int InstrumentInDevice() const;
  int InstrumentOutDevice() const;
  // Runs fn on the installer thread at the current virtual time, once the run goes on: the way
  // to touch the program's state or post to it as the program itself would.
  void RunOnInstallerThread(std::function<void()> fn);

  // Runs until fnCond holds at an idle point (checked on the installer thread), until the virtual
  // clock has advanced by nMaxMs, or until the program has ended or has nothing left to do.
  // Returns fnCond's value at the stop.
  bool RunUntil(const std::function<bool()>& fnCond, std::uint64_t nMaxMs = 3'600'000);
  void RunFor(std::uint64_t nMs) { RunUntil(nullptr, nMs); }
  // Runs until the program ends (or nMaxMs of virtual time); true when it ended.
  bool RunToEnd(std::uint64_t nMaxMs = 36'000'000);
  bool Ended() const;
  std::uint64_t Now() const { return m_loop.Now(); }

  // The user's input.
  void Click(int nId);
  void CloseBox();              // the title bar's close box or Esc on the main window
  void AnswerBox(int nAnswer);  // the open message box

 private:
  void OnIdle(std::uint64_t nNextDue);
  void ThreadMain();

  CTempFolder m_folder;
  fw::CMsgLoop m_loop{fw::CMsgLoop::EClock::Virtual};
  CScriptedView m_view{m_loop};
  CTraceRecorder m_trace{&m_loop};
  std::unique_ptr<CVirtualSetup> m_pVirtual;
  std::unique_ptr<CInstallerApp> m_pApp;

  mutable std::mutex m_mx;
  std::condition_variable m_cv;
  std::thread m_thread;
  bool m_bStarted = false;
  bool m_bPaused = false;
  bool m_bEnded = false;
  bool m_bAbort = false;
  std::function<bool()> m_fnCond;
  std::uint64_t m_nDeadline = 0;
  std::vector<std::pair<std::uint64_t, fw::UINT>> m_commands;
  std::vector<CDeviceChange> m_deviceChanges;
};

// Builds a package: the script inverted, then the named entries.
std::vector<std::uint8_t> MakePackage(const std::string& strScript,
                                      const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& aEntries);

}  // namespace velda::test
