#include "support/install_run.h"

#include <stdlib.h>  // mkdtemp

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fw/trace.h"
#include "instrument/sim_instrument.h"
#include "midi/driver/midi_driver.h"
#include "midi/driver/virtual/instrument/virtual_setup.h"
#include "shell/installer_app.h"
#include "shell/steps.h"
#include "shell/texts.h"
#include "support/observed_driver.h"
#include "support/process_usage.h"
#include "ui/scripted/scripted_view.h"

namespace velda::bench {

namespace {

// A folder of its own for the package and the single-instance lock, removed afterwards.
class CTempFolder {
 public:
  CTempFolder() {
    std::string strTemplate = (std::filesystem::temp_directory_path() / "velda-bench-XXXXXX").string();
    if (::mkdtemp(strTemplate.data()) != nullptr) m_path = strTemplate;
  }
  ~CTempFolder() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;
  bool IsMade() const { return !m_path.empty(); }
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

// Counts the replies the installer takes from its input: each one, while the window lives,
// costs the mandated pause. It also times, on the installer's thread, each wait from a request
// handed to the driver to its reply taken from the input (the round trip through the driver's
// thread and the instrument), and each gap from a reply to the next request (the mandated pause
// and the installer's own work).
class CReplyCounter : public CTraceSink {
 public:
  void OnTraceLine(char cDir, const std::string& /*strPayload*/) override {
    if (cDir != '<' && cDir != '>') return;
    const double dNow = WallSeconds();
    std::lock_guard<std::mutex> lock(m_mx);
    if (cDir == '<') {
      ++m_nReplies;
      if (m_cLast == '>') m_dRoundTrips += dNow - m_dLast;
    } else if (m_cLast == '<') {
      m_dAfterReplies += dNow - m_dLast;
      ++m_nGaps;
    }
    m_cLast = cDir;
    m_dLast = dNow;
  }
  std::uint64_t Replies() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_nReplies;
  }
  double RoundTripSeconds() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_dRoundTrips;
  }
  double AfterReplySeconds() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_dAfterReplies;
  }
  std::uint64_t AfterReplyGaps() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_nGaps;
  }

 private:
  mutable std::mutex m_mx;
  std::uint64_t m_nReplies = 0;
  char m_cLast = 0;
  double m_dLast = 0;
  double m_dRoundTrips = 0;
  double m_dAfterReplies = 0;
  std::uint64_t m_nGaps = 0;  // replies followed by a request
};

// Ends a real-time run that overstays its limit, so that a broken run ends with a report.
class CWatchdog {
 public:
  CWatchdog(fw::CMsgLoop& loop, std::uint64_t nLimitMs)
      : m_thread([this, &loop, nLimitMs] {
          std::unique_lock<std::mutex> lock(m_mx);
          if (!m_cv.wait_for(lock, std::chrono::milliseconds(nLimitMs), [this] { return m_bDone; })) loop.Abort();
        }) {}
  ~CWatchdog() {
    {
      std::lock_guard<std::mutex> lock(m_mx);
      m_bDone = true;
    }
    m_cv.notify_all();
    m_thread.join();
  }
  CWatchdog(const CWatchdog&) = delete;
  CWatchdog& operator=(const CWatchdog&) = delete;

 private:
  std::mutex m_mx;
  std::condition_variable m_cv;
  bool m_bDone = false;
  std::thread m_thread;  // last: starts once the rest is ready
};

// A box's text on one line: CR and LF written as \r and \n.
std::string OneLine(const std::string& str) {
  std::string strOut;
  for (char c : str) {
    if (c == '\r') {
      strOut += "\\r";
    } else if (c == '\n') {
      strOut += "\\n";
    } else {
      strOut += c;
    }
  }
  return strOut;
}

// The entry's bytes in the instrument's memory, compared a slice at a time; "" when they match.
std::string CheckMemory(const CSimInstrument& instrument, const CBenchPlan& plan) {
  const CSparseMemory* pBank = instrument.Memory().FindDevice(plan.nDevice);
  if (pBank == nullptr) return "nothing was written to device " + std::to_string(plan.nDevice);
  if (!pBank->AllWritten(plan.nAddress, plan.nEntrySize)) return "the entry's range was not written whole";
  if (pBank->WrittenCount() != plan.nEntrySize) return "bytes were written outside the entry's range";
  std::vector<std::uint8_t> aSlice(1u << 16);
  for (std::uint64_t nDone = 0; nDone < plan.nEntrySize;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(aSlice.size(), plan.nEntrySize - nDone));
    pBank->Read(static_cast<std::uint32_t>(plan.nAddress + nDone), aSlice.data(), n);
    for (std::size_t i = 0; i < n; ++i) {
      if (aSlice[i] != EntryByte(nDone + i)) {
        return "memory differs from the entry at offset " + std::to_string(nDone + i);
      }
    }
    nDone += n;
  }
  return {};
}

std::uint64_t InstrumentHeldBytes(const CSimInstrument& instrument) {
  std::uint64_t n = 0;
  for (const auto& [nDevice, bank] : instrument.Memory().Devices()) n += bank.HeldBytes();
  return n;
}

// On the virtual clock, with an instrument that answers at once, time passes only in the mandated
// pauses: anything more is a wait that should not have happened (a time-out tick, a resend, a
// busy wait). "" when the two agree.
std::string CheckProtocolTime(const CRunReport& r) {
  const std::uint64_t nMandated = MandatedPauseMs(r.pauses);
  if (r.nLoopMs == nMandated) return {};
  return "the protocol time " + std::to_string(r.nLoopMs) + " ms differs from the mandated pauses " +
         std::to_string(nMandated) + " ms";
}

// What the instrument and the driver counted against what the upload must cost; "" when equal.
std::string CheckCounts(const CRunReport& r, const CInstrumentStats& stats) {
  const auto Mismatch = [](const char* pszWhat, std::uint64_t nGot, std::uint64_t nWant) {
    return std::string(pszWhat) + ": " + std::to_string(nGot) + ", expected " + std::to_string(nWant);
  };
  if (r.nPacketsStored != r.expected.nPackets) return Mismatch("packets stored", r.nPacketsStored, r.expected.nPackets);
  if (r.nBlocksConfirmed != r.expected.nBlocks) {
    return Mismatch("blocks confirmed", r.nBlocksConfirmed, r.expected.nBlocks);
  }
  if (r.nRequestsSent != r.expected.nRequests) return Mismatch("requests sent", r.nRequestsSent, r.expected.nRequests);
  if (r.nRepliesDelivered != r.expected.nRequests) {
    return Mismatch("replies delivered", r.nRepliesDelivered, r.expected.nRequests);
  }
  const std::uint64_t nTrouble = std::uint64_t{stats.nMalformed} + stats.nOutOfSequence + stats.nChecksumsFailed +
                                 stats.nResendsAsked + stats.nIgnored + stats.nRestarts + stats.nFaultsApplied;
  if (nTrouble != 0) return "the instrument saw malformed, out-of-sequence, failed, resent or ignored requests";
  return {};
}

}  // namespace

CRunReport RunInstall(const CRunSetup& setup) {
  CRunReport r;
  r.expected = CountUpload(setup.plan.nEntrySize, setup.plan.nBlockSize);
  CTempFolder folder;
  if (!folder.IsMade()) {
    r.strProblem = "cannot make a temporary folder";
    return r;
  }
  const std::string strPackage = (folder.Path() / "velda.uxs").string();
  if (!WriteBenchPackage(strPackage, setup.plan, r.strProblem)) return r;

  const bool bReal = setup.eClock == fw::CMsgLoop::EClock::Real;
  fw::CMsgLoop loop(setup.eClock);
  CVirtualSetupOptions virtualOpt;
  virtualOpt.instrument.nLatencyMs = 0;
  virtualOpt.bKeepOutMessages = false;  // the run counts its messages through the observer
  // No restart into update mode: the only pauses are then the protocol's own, and no port
  // recovery (20 s of pauses and a device-settle timer) enters the figures.
  virtualOpt.instrument.bRestartOnModeOn = false;
  virtualOpt.aSettings = setup.aInstrumentSettings;
  std::unique_ptr<CVirtualSetup> pVirtual = CVirtualSetup::Create(bReal ? nullptr : &loop, virtualOpt, r.strProblem);
  if (pVirtual == nullptr) return r;
  CObservedMidiDriver observed(pVirtual->Driver());
  SetMidiDriver(&observed);
  CReplyCounter replies;
  if (setup.bTraceReplies) SetTraceSink(&replies);

  CScriptedView view(loop);
  view.SetDefaultAnswer(fw::IDOK);
  loop.SetFrontEnd(&view);
  auto pApp = std::make_unique<CInstallerApp>(loop);
  pApp->SetLockFolder(folder.Path().string());
  pApp->SetPackagePath(strPackage);

  std::uint64_t nEntriesLoaded = 0;
  std::uint64_t nPortsChanged = 0;
  CInstallerApp* pAppRaw = pApp.get();
  const std::uint64_t nHeapBefore = HeapInUseBytes() - InstrumentHeldBytes(pVirtual->Instrument()->Instrument());
  CPeak installerHeap;
  loop.SetDispatchObserver([&, pAppRaw](fw::HWND h, fw::UINT msg, fw::WPARAM wParam, fw::LPARAM) {
    if (setup.bHeapShare) {
      const std::uint64_t nHeld = HeapInUseBytes() - InstrumentHeldBytes(pVirtual->Instrument()->Instrument());
      installerHeap.Sample(nHeld > nHeapBefore ? nHeld - nHeapBefore : 0);
    }
    if (msg != fw::WM_COMMAND || h != pAppRaw->GetMainHwnd()) return;
    const fw::UINT nId = fw::LOWORD(wParam);
    if (nId == ID_MARK_DATA_FILE_OPENED) ++nEntriesLoaded;
    if (nId == ID_MARK_PORTS_CHANGED) ++nPortsChanged;
  });
  if (!bReal) {
    loop.SetIdleHook([&loop, nLimit = setup.nLimitMs](std::uint64_t) {
      if (loop.Now() > nLimit) loop.Abort();
    });
  }

  r.nRssBeforeKiB = CurrentRssKiB();
  {
    std::unique_ptr<CWatchdog> pWatchdog;
    if (bReal) pWatchdog = std::make_unique<CWatchdog>(loop, setup.nLimitMs);
    const double dCpu0 = ProcessCpuSeconds();
    const double dWall0 = WallSeconds();
    pApp->InitInstance();
    r.dWallSeconds = WallSeconds() - dWall0;
    r.dCpuSeconds = ProcessCpuSeconds() - dCpu0;
    r.nLoopMs = loop.Now();
  }
  std::string strNoDump;
  pVirtual->Finish(strNoDump, r.strProblem);  // the ports are closed: nothing more to deliver
  r.nDispatched = loop.DispatchCount();
  r.nInstallerPeakBytes = installerHeap.Peak();
  r.nInstrumentBytes = InstrumentHeldBytes(pVirtual->Instrument()->Instrument());

  const CSimInstrument& instrument = pVirtual->Instrument()->Instrument();
  const CInstrumentStats& stats = instrument.Stats();
  r.nRequestsSent = observed.LongMessages();
  r.nRepliesDelivered = stats.nDeliveries;
  r.nPacketsStored = stats.nPacketsStored;
  r.nBlocksConfirmed = stats.nChecksumsMatched;
  r.pauses.nReplies = setup.bTraceReplies ? replies.Replies() : stats.nDeliveries;
  r.dRoundTripSeconds = replies.RoundTripSeconds();
  r.dAfterReplySeconds = replies.AfterReplySeconds();
  r.nAfterReplyGaps = replies.AfterReplyGaps();
  r.pauses.nEntriesLoaded = nEntriesLoaded;
  r.pauses.nPortCloses = 0;
  r.pauses.nInputStops = observed.InputStops();

  const std::vector<CBoxRecord> aBoxes = view.Boxes();
  if (loop.IsAborted()) {
    r.strProblem = "the run was abandoned at " + std::to_string(r.nLoopMs) + " ms";
  } else if (aBoxes.empty() || aBoxes.back().strText != TXT_COMPLETED) {
    r.strProblem = "the installation did not complete: last box \"" +
                   (aBoxes.empty() ? std::string() : OneLine(aBoxes.back().strText)) + "\"";
  } else if (nPortsChanged != 0) {
    r.strProblem = "the ports were recovered during the run";
  } else if (!bReal) {
    r.strProblem = CheckProtocolTime(r);
  }
  if (r.strProblem.empty()) r.strProblem = CheckCounts(r, stats);
  if (r.strProblem.empty()) r.strProblem = CheckMemory(instrument, setup.plan);
  r.bOk = r.strProblem.empty();

  SetTraceSink(nullptr);
  pApp.reset();
  loop.SetFrontEnd(nullptr);
  SetMidiDriver(nullptr);
  pVirtual.reset();
  return r;
}

}  // namespace velda::bench
