#include "install_plan.h"
#include "hex8.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "front_end_chain.h"
#include "fw/msgloop.h"
#include "fw/trace.h"
#include "instrument/request_decoder.h"
#include "instrument/request_kind.h"
#include "midi/driver/virtual/instrument/virtual_setup.h"
#include "script/conditional.h"
#include "script/keyword_table.h"
#include "script/script_reader.h"
#include "shell/installer_app.h"
#include "shell/installer_dlg.h"
#include "shell/outcome.h"
#include "shell/steps.h"

namespace velda::uxs {

namespace {

// Virtual time after which a run that has not ended is given up: far beyond any real package.
constexpr std::uint64_t GIVE_UP_MS = 7ULL * 24 * 3600 * 1000;

std::vector<std::uint8_t> ParseHexPairs(const std::string& s) {
  std::vector<std::uint8_t> a;
  for (std::size_t i = 0; i + 2 <= s.size(); i += 3) {
    a.push_back(static_cast<std::uint8_t>(std::stoul(s.substr(i, 2), nullptr, 16)));
  }
  return a;
}

// Records every box's text and hands the calls on.
class CBoxRecorder : public app::CFrontEndForwarder {
 public:
  explicit CBoxRecorder(std::vector<std::string>& aBoxes) : m_aBoxes(aBoxes) {}
  void ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                      fw::UINT uType) override {
    m_aBoxes.push_back(strText.Str());
    CFrontEndForwarder::ShowMessageBox(nBoxId, hOwner, strText, strCaption, uType);
  }

 private:
  std::vector<std::string>& m_aBoxes;
};

// Everything happens on the loop's one thread: the trace lines come from the statement that is
// running, and the dialog and the instrument may be read while they arrive.
class CPlanRecorder : public CTraceSink {
 public:
  CPlanRecorder(CInstallPlan& plan, fw::CMsgLoop& loop, CInstallerApp& app, CSimInstrument& instrument)
      : m_plan(plan), m_loop(loop), m_app(app), m_instrument(instrument) {}

  // Step 10102 is about to run: the statement after the cursor starts.
  void OnNextStatement() {
    const CInstallerDlg* pDlg = m_app.Dialog();
    if (pDlg == nullptr) return;
    const CScriptText script{pDlg->m_strScript.View(), pDlg->m_nScriptLen};
    UINT nPos = pDlg->m_nScriptPos;
    fw::CString strLine;
    // An empty or comment line, or the end: this step starts no statement.
    if (ReadScriptLine(script, nPos, strLine).nResult <= LINE_PASSED_OVER) return;
    CPlanStatement st;
    st.nLine = 1;
    for (UINT i = 0; i < nPos && i < script.End(); ++i) {
      if (script.svText[i] == '\n') ++st.nLine;
    }
    st.strText = strLine.Str();
    fw::CString strKeyword;
    ReadScriptToken(script, nPos, strKeyword);
    st.bPassedOver = pDlg->m_nSkipState == SKIP_TO_ENDIF && FindKeyword(strKeyword) != STMT_ENDIF;
    m_plan.aStatements.push_back(std::move(st));
  }

  void OnTraceLine(char cDir, const std::string& strPayload) override {
    if (cDir == '<') {
      m_plan.nReceivedBytes += (strPayload.size() + 1) / 3;
      return;
    }
    if (cDir != '>') return;
    const std::vector<std::uint8_t> a = ParseHexPairs(strPayload);
    CPlanRequest r;
    r.nAtMs = m_loop.Now();
    r.nBytes = a.size();
    const std::optional<EInstrumentRequest> eKind = sim::ClassifyRequest(a.data(), a.size());
    r.strKind = eKind ? std::string(sim::RequestName(*eKind)) : "unknown";
    ++m_plan.nRequests;
    m_plan.nSentBytes += a.size();
    if (eKind == EInstrumentRequest::BlockStart) {
      if (const auto block = sim::DecodeBlockStart(a.data(), a.size())) {
        r.strDetail = "address " + Hex8(block->nAddress) + " length " + Hex8(block->nLength);
        NoteWrite(block->nAddress, block->nLength);
      }
      ++m_plan.nBlocks;
    } else if (eKind == EInstrumentRequest::DataPacket) {
      const sim::CDataPacket packet = sim::DecodeDataPacket(a.data(), a.size());
      r.strDetail = "offset " + Hex8(packet.nOffset) + " length " + std::to_string(packet.aData.size());
      ++m_plan.nPackets;
    } else if (eKind == EInstrumentRequest::SetDevice) {
      if (const auto nDevice = sim::DecodeSetDevice(a.data(), a.size()))
        r.strDetail = "device " + std::to_string(*nDevice);
    } else if (eKind == EInstrumentRequest::AreaCheck) {
      if (const auto check = sim::DecodeAreaCheck(a.data(), a.size())) {
        r.strDetail = "address " + Hex8(check->nAddress) + " length " + std::to_string(check->nLength);
      }
    } else if (eKind == EInstrumentRequest::BlockChecksum) {
      if (const auto sum = sim::DecodeBlockChecksum(a.data(), a.size())) {
        r.strDetail =
            "address " + Hex8(sum->nAddress) + " length " + Hex8(sum->nLength) + " sum " + Hex8(sum->nSum).substr(4);
      }
    }
    if (m_plan.aStatements.empty()) m_plan.aStatements.push_back({0, "(before the script)", false, {}});
    m_plan.aStatements.back().aRequests.push_back(std::move(r));
  }

 private:
  void NoteWrite(std::uint32_t nAddress, std::uint32_t nLength) {
    const CInstallerDlg* pDlg = m_app.Dialog();
    if (pDlg == nullptr || !IsSlotIndex(pDlg->m_nCurEntry)) return;
    const CDataEntry& entry = pDlg->m_aEntry[pDlg->m_nCurEntry];
    CPlanWrite w;
    w.nDevice = m_instrument.SelectedDevice();
    w.nAddress = nAddress;
    w.nEntryOffset = entry.nPos;
    // A block that asks for more than the entry holds carries only what is there.
    w.nLength = entry.nPos < entry.nSize ? std::min(nLength, entry.nSize - entry.nPos) : 0;
    w.strEntry = entry.strName.Str();
    w.nLine = m_plan.aStatements.empty() ? 0 : m_plan.aStatements.back().nLine;
    m_plan.aWrites.push_back(std::move(w));
  }

  CInstallPlan& m_plan;
  fw::CMsgLoop& m_loop;
  CInstallerApp& m_app;
  CSimInstrument& m_instrument;
};

}  // namespace

bool MakeInstallPlan(const std::string& strPackage, CInstrumentConfig config, std::uint32_t nRate, CInstallPlan& plan,
                     std::string& strError) {
  namespace fs = std::filesystem;
  if (!fs::is_regular_file(strPackage)) {
    strError = "cannot open " + strPackage;
    return false;
  }
  if (config.nRateBytesPerMs == 0) config.nRateBytesPerMs = nRate;
  plan = CInstallPlan{};
  plan.nRate = config.nRateBytesPerMs;

  // The lock of this run is its own: a plan never stands in the way of a real installation.
  std::error_code ec;
  const fs::path lockDir = fs::temp_directory_path(ec) / ("uxs-plan-" + std::to_string(::getpid()));
  fs::create_directories(lockDir, ec);

  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Virtual);
  CVirtualSetupOptions setup;
  setup.instrument = config;
  setup.instrument.strDumpFolder.clear();
  setup.bKeepOutMessages = false;
  std::unique_ptr<CVirtualSetup> pSetup = CVirtualSetup::Create(&loop, setup, strError);
  if (pSetup == nullptr) return false;
  CInstallerApp app(loop);
  app.SetPackagePath(strPackage);
  app.SetLockFolder(lockDir.string());

  CPlanRecorder recorder(plan, loop, app, pSetup->Instrument()->Instrument());
  CBoxRecorder boxes(plan.aBoxes);
  app::CAutoYes yes(loop, &boxes);
  EOutcome eOutcome = EOutcome::None;
  std::uint64_t nEndMs = 0;
  app::COutcomeTap tap(
      app,
      [&](EOutcome e) {
        if (eOutcome == EOutcome::None) nEndMs = loop.Now();
        eOutcome = e;
        yes.OnOutcome(e);
      },
      &yes);
  loop.SetFrontEnd(&tap);
  std::uint64_t nQuietAt = ~0ULL;
  loop.SetIdleHook([&](std::uint64_t nNextDue) {
    yes.OnIdle();
    if (loop.Now() > GIVE_UP_MS) loop.Abort();
    if (nNextDue != fw::CMsgLoop::kNever) return;
    // Nothing left to happen, twice at the same moment: the run waits for nobody.
    if (nQuietAt == loop.DispatchCount()) loop.Abort();
    nQuietAt = loop.DispatchCount();
  });
  loop.SetDispatchObserver([&](fw::HWND, fw::UINT msg, fw::WPARAM wParam, fw::LPARAM) {
    if (msg == fw::WM_COMMAND && fw::LOWORD(wParam) == ID_STEP_NEXT_STATEMENT) recorder.OnNextStatement();
  });
  SetMidiDriver(&pSetup->Driver());
  SetTraceSink(&recorder);

  app.InitInstance();

  SetTraceSink(nullptr);
  SetMidiDriver(nullptr);
  loop.SetIdleHook(nullptr);
  loop.SetDispatchObserver(nullptr);
  loop.SetFrontEnd(nullptr);
  pSetup.reset();
  fs::remove_all(lockDir, ec);

  plan.bCompleted = eOutcome == EOutcome::Completed;
  plan.strOutcome = eOutcome == EOutcome::None ? "not-completed" : NameOf(eOutcome);
  plan.nDurationMs = eOutcome == EOutcome::None ? loop.Now() : nEndMs;
  if (plan.nRate != 0) plan.nTransferMs = (plan.nSentBytes + plan.nReceivedBytes) / plan.nRate;
  return true;
}

}  // namespace velda::uxs
