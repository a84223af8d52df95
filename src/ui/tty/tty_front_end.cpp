#include "ui/tty/tty_front_end.h"

#include <utility>

#include "shell/resource.h"
#include "ui/tty/tty_answer.h"
#include "ui/tty/tty_text.h"

namespace velda::tty {

namespace {

bool SameProgress(const fw::CProgressState& a, const fw::CProgressState& b) {
  return a.nLower == b.nLower && a.nUpper == b.nUpper && a.nPos == b.nPos;
}

}  // namespace

CTtyFrontEnd::CTtyFrontEnd(fw::CMsgLoop& loop, std::FILE* pOut, const CTtyOptions& opt) : m_loop(loop), m_opt(opt) {
  CTtyRendererSetup setup;
  setup.pOut = pOut;
  setup.pScene = &m_scene;
  setup.fnNow = [&loop] { return loop.Now(); };
  setup.bShowCommands = !opt.bAutoYes;
  setup.nBarWidth = opt.nBarWidth;
  if (opt.bJson) {
    m_pRenderer = MakeJsonRenderer(setup);
  } else if (opt.bTerminal) {
    m_pRenderer = MakeLiveRenderer(setup);
  } else {
    m_pRenderer = MakePlainRenderer(setup);
  }
  if (opt.bAutoYes) m_pYes = std::make_unique<CYesPolicy>();
}

CTtyFrontEnd::~CTtyFrontEnd() = default;

void CTtyFrontEnd::Note(std::string_view strText) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_pRenderer->Note(strText);
}

void CTtyFrontEnd::Wake() { m_cv.notify_all(); }

void CTtyFrontEnd::WakeLoop() {
  // An input for no window: the loop takes it, drops it, and runs its idle hook again.
  m_loop.PostInput(fw::CInputEvent::Click(0, 0));
}

void CTtyFrontEnd::ShowCommandsHint() {
  if (m_pYes != nullptr || m_bHintShown) return;
  m_bHintShown = true;
  m_pRenderer->CommandsHint(*m_scene.MainWindow());
}

// ---- Windows and controls ----

void CTtyFrontEnd::OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) {
  std::lock_guard<std::mutex> lock(m_mx);
  CTtyWindow w;
  w.nTemplate = tmpl.nId;
  w.strCaption = tmpl.strCaption.Str();
  w.controls = fw::InitialControlStates(tmpl);
  m_scene.windows[hWnd] = std::move(w);
  if (tmpl.nId == IDD_INSTALLER) {
    m_scene.hMain = hWnd;
  } else if (tmpl.nId == IDD_PORT_SELECT) {
    m_scene.menu = CTtyMenu{hWnd, CTtyMenu::EStage::Off, -1};
  }
}

void CTtyFrontEnd::OnWindowShown(fw::HWND hWnd, bool bShow) {
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_scene.windows.find(hWnd);
  if (it == m_scene.windows.end() || it->second.bShown == bShow) return;
  CTtyWindow& w = it->second;
  w.bShown = bShow;
  if (hWnd == m_scene.hMain) {
    m_pRenderer->MainShown(w, bShow);
    DrainTypeAhead();
    Wake();
    return;
  }
  if (w.nTemplate != IDD_PORT_SELECT || !bShow || hWnd != m_scene.menu.hWnd) return;
  OpenMenu(w);
  Wake();
}

void CTtyFrontEnd::OnWindowDestroyed(fw::HWND hWnd) {
  std::lock_guard<std::mutex> lock(m_mx);
  if (hWnd == m_scene.hMain) {
    m_pRenderer->MainDestroyed();
    m_scene.hMain = 0;
  }
  if (hWnd == m_scene.menu.hWnd) {
    m_scene.menu = CTtyMenu{};
  }
  m_scene.windows.erase(hWnd);
  Wake();
}

void CTtyFrontEnd::OnWindowIcon(fw::HWND /*hWnd*/, int /*nIconId*/, bool /*bBig*/) {}

void CTtyFrontEnd::OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) {
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_scene.windows.find(hWnd);
  if (it == m_scene.windows.end()) return;
  CTtyWindow& w = it->second;
  const auto itOld = w.controls.find(ctl.tmpl.nId);
  const bool bHadOld = itOld != w.controls.end();
  const fw::CControlState old = bHadOld ? itOld->second : fw::CControlState{};
  w.controls[ctl.tmpl.nId] = ctl;
  if (hWnd == m_scene.hMain) {
    ReportControl(w, ctl, bHadOld ? &old : nullptr);
    DrainTypeAhead();
  }
  Wake();
}

void CTtyFrontEnd::ReportControl(const CTtyWindow& w, const fw::CControlState& ctl, const fw::CControlState* pOld) {
  const int nId = ctl.tmpl.nId;
  if (nId == IDC_STATUS) {
    if (pOld != nullptr && pOld->strText == ctl.strText) return;
    m_pRenderer->StatusChanged(w, ctl);
    return;
  }
  if (nId == IDC_PROGRESS_ALL || nId == IDC_PROGRESS_DATA) {
    if (pOld != nullptr && SameProgress(pOld->progress, ctl.progress)) return;
    m_pRenderer->BarChanged(ctl, pOld);
    return;
  }
  if (nId == IDC_MIDI_PORT || nId == fw::IDOK) {
    if (pOld != nullptr && pOld->bEnabled == ctl.bEnabled) return;
    m_pRenderer->ButtonChanged(ctl);
    if (!MainWaitsForUser()) m_bHintShown = false;  // the next wait tells its commands again
  }
}

bool CTtyFrontEnd::IsWaitingForUser() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_scene.BoxWaits() || m_scene.MenuOpen() || MainWaitsForUser();
}

// ---- Message boxes ----

void CTtyFrontEnd::ShowMessageBox(int nBoxId, fw::HWND /*hOwner*/, const fw::CString& strText,
                                  const fw::CString& strCaption, fw::UINT uType) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_scene.aBoxes.push_back(CTtyBox{nBoxId, uType, false});
  m_pRenderer->BoxShown(nBoxId, strText, strCaption, uType, m_pYes == nullptr && !m_bInputEnded);
  if (m_pYes != nullptr) {
    AnswerBox(m_scene.aBoxes.back(), CYesPolicy::BoxAnswer(), "yes");
    return;
  }
  DrainTypeAhead();
  if (m_bInputEnded && !m_scene.aBoxes.back().bAnswered) {
    AnswerBoxAsNobody(m_scene.aBoxes.back());
  }
}

void CTtyFrontEnd::AnswerBox(CTtyBox& box, int nAnswer, const char* pszBy) {
  box.bAnswered = true;
  m_loop.PostInput(fw::CInputEvent::BoxAnswer(box.nId, nAnswer));
  ++m_nInputSeq;
  m_pRenderer->BoxAnswered(box.nId, nAnswer, pszBy);
  Wake();
}

void CTtyFrontEnd::AnswerBoxAsNobody(CTtyBox& box) {
  AnswerBox(box, BoxButtonsOf(box.uType) == EBoxButtons::OkCancel ? fw::IDCANCEL : fw::IDOK, "end-of-input");
}

void CTtyFrontEnd::CloseMessageBox(int nBoxId, int nAnswer) {
  std::lock_guard<std::mutex> lock(m_mx);
  std::vector<CTtyBox>& aBoxes = m_scene.aBoxes;
  for (auto it = aBoxes.begin(); it != aBoxes.end(); ++it) {
    if (it->nId != nBoxId) continue;
    // The run ended with the box open: it goes with the answer the loop gave it.
    if (!it->bAnswered) m_pRenderer->BoxEnded(nBoxId, nAnswer);
    aBoxes.erase(it);
    break;
  }
  if (aBoxes.empty()) {
    m_pRenderer->Refresh();
    m_bHintShown = false;  // told again below the box, once the loop is idle
  }
  DrainTypeAhead();
  Wake();
}

// ---- The user ----

void CTtyFrontEnd::HandleWindowLine(std::string_view strLine) {
  const CTtyWindow* pMain = m_scene.MainWindow();
  if (pMain == nullptr) return;
  const fw::HWND hMain = m_scene.hMain;
  auto refuse = [&](const std::string& strWhy) { m_pRenderer->CommandRefused(strLine, strWhy); };
  switch (ParseWindowCommand(strLine)) {
    case EWindowCommand::MidiPort:
      if (!pMain->IsEnabled(IDC_MIDI_PORT)) return refuse("MIDI Port is not available now.");
      m_loop.PostInput(fw::CInputEvent::Click(hMain, IDC_MIDI_PORT));
      m_bCommandPending = true;
      break;
    case EWindowCommand::Close:
      if (!pMain->IsEnabled(fw::IDOK)) return refuse("Close is not available now; q closes the window.");
      m_loop.PostInput(fw::CInputEvent::Click(hMain, fw::IDOK));
      m_bCommandPending = true;
      break;
    case EWindowCommand::CloseBox:
      m_loop.PostInput(fw::CInputEvent::Close(hMain));
      m_bCommandPending = true;
      break;
    case EWindowCommand::None:
      return;
    case EWindowCommand::Invalid:
      return refuse("Commands: p = MIDI Port, c = Close, q = close the window.");
  }
  ++m_nInputSeq;
}

bool CTtyFrontEnd::PromptOpen() const {
  if (m_scene.BoxWaits() || m_scene.MenuOpen()) return true;
  // A button pressed is taken by the loop first: what it leads to is the next prompt.
  return m_scene.aBoxes.empty() && MainWaitsForUser() && !m_bCommandPending;
}

void CTtyFrontEnd::HandleLine(std::string_view strLine) {
  for (auto it = m_scene.aBoxes.rbegin(); it != m_scene.aBoxes.rend(); ++it) {
    if (it->bAnswered) continue;
    if (const std::optional<int> nAnswer = ParseBoxAnswer(strLine, it->uType)) {
      AnswerBox(*it, *nAnswer, "user");
    } else {
      m_pRenderer->NotAnAnswer(strLine, BoxButtonsOf(it->uType) == EBoxButtons::OkCancel
                                            ? "Please answer with Enter (OK) or c (Cancel)."
                                            : "Please press Enter (OK).");
    }
    return;
  }
  if (m_scene.MenuOpen()) {
    HandleMenuLine(strLine);
    return;
  }
  HandleWindowLine(strLine);
}

void CTtyFrontEnd::DrainTypeAhead() {
  while (!m_aTypeAhead.empty() && PromptOpen()) {
    const std::string s = std::move(m_aTypeAhead.front());
    m_aTypeAhead.pop_front();
    HandleLine(s);
  }
}

void CTtyFrontEnd::OnInputLine(std::string_view strLine) {
  std::lock_guard<std::mutex> lock(m_mx);
  if (m_bStopped) return;
  if (m_aTypeAhead.empty() && PromptOpen()) {
    HandleLine(strLine);
  } else if (m_aTypeAhead.empty() && m_scene.hMain != 0 && ParseWindowCommand(strLine) == EWindowCommand::CloseBox) {
    HandleWindowLine(strLine);  // q closes the window at once, whatever it shows
  } else {
    // Typed ahead (or piped in before its prompt): it answers the next prompt.
    m_aTypeAhead.emplace_back(strLine);
    DrainTypeAhead();
  }
  Wake();
}

void CTtyFrontEnd::OnInputEnd() {
  std::lock_guard<std::mutex> lock(m_mx);
  m_bInputEnded = true;
  DrainTypeAhead();
  for (CTtyBox& b : m_scene.aBoxes) {
    if (!b.bAnswered) AnswerBoxAsNobody(b);
  }
  if (m_scene.MenuOpen()) {
    FinishMenu(false, -1);
  }
  WakeLoop();  // a window that waits for the user is closed at the next idle moment
  Wake();
}

void CTtyFrontEnd::RequestClose() {
  std::lock_guard<std::mutex> lock(m_mx);
  if (m_bStopped) return;
  for (auto it = m_scene.aBoxes.rbegin(); it != m_scene.aBoxes.rend(); ++it) {
    if (!it->bAnswered) {
      // Esc: Cancel where the box has it, else OK.
      AnswerBox(*it, BoxButtonsOf(it->uType) == EBoxButtons::OkCancel ? fw::IDCANCEL : fw::IDOK, "close");
      break;
    }
  }
  if (m_scene.MenuOpen()) {
    FinishMenu(false, -1);
  }
  m_eClose = EClose::CloseBox;
  WakeLoop();
  Wake();
}

void CTtyFrontEnd::OnOutcome(EOutcome eOutcome) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_pRenderer->Outcome(eOutcome);
  if (m_pYes != nullptr) m_pYes->OnOutcome(eOutcome);
  Wake();
}

void CTtyFrontEnd::OnIdle(bool bMayBlock) {
  std::unique_lock<std::mutex> lock(m_mx);
  if (m_bCommandPending) {
    // The loop has taken the button: lines typed ahead go to what it led to.
    m_bCommandPending = false;
    DrainTypeAhead();
  }
  if (m_scene.aBoxes.empty() && MainWaitsForUser()) {
    // Told once the handler that enabled the buttons is through, so it names all of them.
    ShowCommandsHint();
  }
  for (;;) {
    if (m_bStopped) return;
    const bool bPrompting = !m_scene.aBoxes.empty() || m_scene.MenuOpen();
    const fw::HWND hMain = m_scene.hMain;
    if (!bPrompting && hMain != 0) {
      if (m_eClose == EClose::None && m_bInputEnded && MainWaitsForUser()) {
        m_eClose = EClose::CloseButton;  // nobody is left to press a button
      }
      const bool bCloseEnabled = m_scene.MainWindow()->IsEnabled(fw::IDOK);
      if (m_eClose != EClose::None) {
        if (m_eClose == EClose::CloseButton && bCloseEnabled) {
          m_loop.PostInput(fw::CInputEvent::Click(hMain, fw::IDOK));
        } else {
          m_loop.PostInput(fw::CInputEvent::Close(hMain));
        }
        m_eClose = EClose::None;
        if (m_pYes != nullptr) m_pYes->DropClose();
        return;
      }
      if (m_pYes != nullptr) {
        if (const std::optional<fw::CInputEvent> ev = m_pYes->TakeClose(hMain, bCloseEnabled)) {
          m_loop.PostInput(*ev);
          return;
        }
      }
    }
    const bool bWaiting = MainWaitsForUser() || m_scene.MenuOpen() || m_scene.BoxWaits();
    if (!bMayBlock || m_pYes != nullptr || m_bInputEnded || !bWaiting) return;
    // Virtual time stands still while the user thinks: wait for something the user does. Once
    // an answer is posted the loop must take it, so the wait ends there.
    const std::uint64_t nSeq = m_nInputSeq;
    const EClose eClose = m_eClose;
    m_cv.wait(lock, [&] { return m_bStopped || m_bInputEnded || m_nInputSeq != nSeq || m_eClose != eClose; });
    if (m_nInputSeq != nSeq) return;
  }
}

void CTtyFrontEnd::Stop() {
  std::lock_guard<std::mutex> lock(m_mx);
  m_bStopped = true;
  Wake();
}

void CTtyFrontEnd::Finish(EOutcome eOutcome, int nExitCode) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_pRenderer->Finish(eOutcome, nExitCode);
}

}  // namespace velda::tty
