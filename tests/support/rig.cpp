#include "support/rig.h"

#include <gtest/gtest.h>

#include <fstream>

#include "script/package_writer.h"

namespace velda::test {

std::vector<std::uint8_t> MakePackage(const std::string& strScript,
                                      const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& aEntries) {
  std::vector<CPackageEntry> aParts;
  aParts.reserve(aEntries.size());
  for (const auto& [name, data] : aEntries) aParts.push_back({name, data});
  std::vector<std::uint8_t> a;
  const CPackageWrite r = BuildPackage(strScript, aParts, a);
  EXPECT_TRUE(r.IsOk()) << r.strError;
  return a;
}

CTestRig::CTestRig(const CRigOptions& opt) {
  CVirtualSetupOptions virtualOpt;
  virtualOpt.bInstrument = opt.bInstrument;
  virtualOpt.eNaming = opt.eNaming;
  virtualOpt.instrument = opt.instrument;
  std::string strError;
  m_pVirtual = CVirtualSetup::Create(&m_loop, virtualOpt, strError);
  SetMidiDriver(&m_pVirtual->Driver());
  SetTraceSink(&m_trace);
  m_loop.SetFrontEnd(&m_view);
  m_pApp = std::make_unique<CInstallerApp>(m_loop);
  m_pApp->SetLockFolder(m_folder.Str());
  m_pApp->SetPackagePath(PackagePath().string());
  m_loop.SetIdleHook([this](std::uint64_t nNext) { OnIdle(nNext); });
  m_loop.SetDispatchObserver([this](fw::HWND h, fw::UINT msg, fw::WPARAM wParam, fw::LPARAM lParam) {
    if (h != m_pApp->GetMainHwnd()) return;
    std::lock_guard<std::mutex> lock(m_mx);
    if (msg == fw::WM_COMMAND) m_commands.emplace_back(m_loop.Now(), fw::LOWORD(wParam));
    if (msg == fw::WM_DEVICECHANGE) m_deviceChanges.push_back({m_loop.Now(), wParam, lParam});
  });
}

CTestRig::~CTestRig() {
  {
    std::lock_guard<std::mutex> lock(m_mx);
    m_bAbort = true;
    m_bPaused = false;
  }
  m_cv.notify_all();
  if (m_thread.joinable()) {
    m_loop.Abort();
    m_thread.join();
  }
  // The program has closed its ports: the devices can go.
  m_pApp.reset();
  SetTraceSink(nullptr);
  SetMidiDriver(nullptr);
  m_pVirtual.reset();
}

void CTestRig::SetPackage(const std::vector<std::uint8_t>& aBytes) {
  std::ofstream f(PackagePath(), std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(aBytes.data()), static_cast<std::streamsize>(aBytes.size()));
}

std::vector<std::vector<std::uint8_t>> CTestRig::Sent() const {
  if (m_pVirtual->Instrument() == nullptr) return {};
  return m_pVirtual->Driver().OutMessages(m_pVirtual->Instrument()->Link().OutDeviceId());
}

std::vector<std::pair<std::uint64_t, fw::UINT>> CTestRig::Commands() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_commands;
}

bool CTestRig::SawCommand(fw::UINT nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  for (const auto& [t, id] : m_commands) {
    if (id == nId) return true;
  }
  return false;
}

std::size_t CTestRig::CountCommand(fw::UINT nId) const { return CommandTimes(nId).size(); }

std::vector<std::uint64_t> CTestRig::CommandTimes(fw::UINT nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  std::vector<std::uint64_t> out;
  for (const auto& [t, id] : m_commands) {
    if (id == nId) out.push_back(t);
  }
  return out;
}

std::vector<CTestRig::CDeviceChange> CTestRig::DeviceChanges() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_deviceChanges;
}

int CTestRig::InstrumentInDevice() const {
  CHostedInstrument* pHosted = m_pVirtual->Instrument();
  return pHosted != nullptr ? pHosted->Link().InDeviceId() : -1;
}

int CTestRig::InstrumentOutDevice() const {
  CHostedInstrument* pHosted = m_pVirtual->Instrument();
  return pHosted != nullptr ? pHosted->Link().OutDeviceId() : -1;
}

void CTestRig::RunOnInstallerThread(std::function<void()> fn) { m_loop.ScheduleAfter(0, std::move(fn)); }

void CTestRig::ThreadMain() {
  m_pApp->InitInstance();
  std::lock_guard<std::mutex> lock(m_mx);
  m_bEnded = true;
  m_cv.notify_all();
}

void CTestRig::OnIdle(std::uint64_t nNextDue) {
  std::function<bool()> fnCond;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    if (m_bAbort) {
      m_loop.Abort();
      return;
    }
    fnCond = m_fnCond;
  }
  const bool bCond = fnCond && fnCond();
  std::unique_lock<std::mutex> lock(m_mx);
  const bool bQuiet = nNextDue == fw::CMsgLoop::kNever;
  if (!bCond && !bQuiet && nNextDue <= m_nDeadline) {
    return;  // keep running
  }
  if (!bCond && !bQuiet && m_loop.Now() < m_nDeadline) {
    // Stop exactly at the deadline: move the clock there, running the device events on the way.
    lock.unlock();
    m_loop.Sleep(static_cast<fw::UINT>(m_nDeadline - m_loop.Now()));
    return;
  }
  m_bPaused = true;
  m_cv.notify_all();
  m_cv.wait(lock, [this] { return !m_bPaused || m_bAbort; });
  if (m_bAbort) {
    m_loop.Abort();
  }
}

bool CTestRig::RunUntil(const std::function<bool()>& fnCond, std::uint64_t nMaxMs) {
  std::unique_lock<std::mutex> lock(m_mx);
  if (m_bEnded) {
    return fnCond && fnCond();
  }
  m_fnCond = fnCond;
  m_nDeadline = m_loop.Now() + nMaxMs;
  m_bPaused = false;
  if (!m_bStarted) {
    m_bStarted = true;
    m_thread = std::thread([this] { ThreadMain(); });
  }
  m_cv.notify_all();
  m_cv.wait(lock, [this] { return m_bPaused || m_bEnded; });
  m_fnCond = nullptr;
  lock.unlock();
  return fnCond && fnCond();
}

bool CTestRig::RunToEnd(std::uint64_t nMaxMs) {
  RunUntil([] { return false; }, nMaxMs);
  return Ended();
}

bool CTestRig::Ended() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_bEnded;
}

void CTestRig::Click(int nId) { m_loop.PostInput(fw::CInputEvent::Click(m_view.MainWindow(), nId)); }

void CTestRig::CloseBox() { m_loop.PostInput(fw::CInputEvent::Close(m_view.MainWindow())); }

void CTestRig::AnswerBox(int nAnswer) {
  const int nBox = m_view.OpenBox();
  if (nBox != 0) m_loop.PostInput(fw::CInputEvent::BoxAnswer(nBox, nAnswer));
}

}  // namespace velda::test
