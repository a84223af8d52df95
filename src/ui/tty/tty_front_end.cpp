#include "ui/tty/tty_front_end.h"

#include <utility>

#include "shell/resource.h"
#include "ui/tty/tty_answer.h"
#include "ui/tty/tty_json.h"
#include "ui/tty/tty_text.h"

namespace velda::tty {

namespace {

bool SameProgress(const fw::CProgressState& a, const fw::CProgressState& b) {
  return a.nLower == b.nLower && a.nUpper == b.nUpper && a.nPos == b.nPos;
}

const char* BarName(int nId) { return nId == IDC_PROGRESS_ALL ? "all" : "data"; }
const char* ButtonName(int nId) { return nId == IDC_MIDI_PORT ? "midi-port" : "close"; }
const char* ButtonLabel(int nId) { return nId == IDC_MIDI_PORT ? "MIDI Port" : "Close"; }

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace

bool LeavesWindowWaiting(EOutcome eOutcome) {
  return eOutcome == EOutcome::TimedOut || eOutcome == EOutcome::PortError || eOutcome == EOutcome::ScriptError ||
         eOutcome == EOutcome::PackageError;
}

CTtyFrontEnd::CTtyFrontEnd(fw::CMsgLoop& loop, std::FILE* pOut, const CTtyOptions& opt)
    : m_loop(loop), m_pOut(pOut), m_opt(opt) {}

CTtyFrontEnd::~CTtyFrontEnd() = default;

// ---- Output ----

void CTtyFrontEnd::Emit(const std::string& strLine) {
  Freeze();
  std::fputs(strLine.c_str(), m_pOut);
  std::fputc('\n', m_pOut);
  std::fflush(m_pOut);
}

void CTtyFrontEnd::EmitJson(const std::string& strObject) {
  std::fputs(strObject.c_str(), m_pOut);
  std::fputc('\n', m_pOut);
  std::fflush(m_pOut);
}

void CTtyFrontEnd::Note(std::string_view strText) {
  std::lock_guard<std::mutex> lock(m_mx);
  if (m_opt.bJson) {
    EmitJson(CJsonObject().Add("t", Now()).Add("event", "note").Add("text", strText).Str());
  } else {
    Emit(DisplayText(strText));
  }
}

CTtyFrontEnd::CWindow* CTtyFrontEnd::MainWindow() {
  const auto it = m_windows.find(m_hMain);
  return it == m_windows.end() ? nullptr : &it->second;
}

const CTtyFrontEnd::CWindow* CTtyFrontEnd::MainWindow() const {
  const auto it = m_windows.find(m_hMain);
  return it == m_windows.end() ? nullptr : &it->second;
}

std::vector<std::string> CTtyFrontEnd::LiveLines() const {
  std::vector<std::string> aLines;
  const CWindow* pMain = MainWindow();
  if (pMain == nullptr) return aLines;
  auto control = [&](int nId) -> const fw::CControlState* {
    const auto it = pMain->controls.find(nId);
    return it == pMain->controls.end() ? nullptr : &it->second;
  };
  const fw::CControlState* pAll = control(IDC_PROGRESS_ALL);
  const fw::CControlState* pData = control(IDC_PROGRESS_DATA);
  const fw::CControlState* pStatus = control(IDC_STATUS);
  aLines.push_back(FormatBarLine("All ", pAll != nullptr ? pAll->progress : fw::CProgressState{}, m_opt.nBarWidth, ""));
  aLines.push_back(
      FormatBarLine("Data", pData != nullptr ? pData->progress : fw::CProgressState{}, m_opt.nBarWidth, "bytes"));
  std::string strStatus = "Status: ";
  if (pStatus != nullptr) strStatus += DisplayText(pStatus->strText.View());
  for (const int nId : {IDC_MIDI_PORT, fw::IDOK}) {
    const fw::CControlState* pButton = control(nId);
    if (pButton != nullptr && pButton->bEnabled && !m_opt.bAutoYes) {
      strStatus += nId == IDC_MIDI_PORT ? "   [p] MIDI Port" : "   [c] Close";
    }
  }
  aLines.push_back(strStatus);
  return aLines;
}

void CTtyFrontEnd::Redraw() {
  if (!m_opt.bTerminal || m_opt.bJson) return;
  const CWindow* pMain = MainWindow();
  if (pMain == nullptr || !pMain->bShown || !m_aBoxes.empty() || m_menu.eStage == CMenu::EStage::In ||
      m_menu.eStage == CMenu::EStage::Out) {
    return;  // the block stays as it was while a prompt waits below it
  }
  std::vector<std::string> aLines = LiveLines();
  if (m_nDrawnLines != 0 && aLines == m_aDrawn) return;
  std::string strOut;
  if (m_nDrawnLines != 0) {
    strOut += "\x1b[" + std::to_string(m_nDrawnLines) + "A";
  }
  for (const std::string& s : aLines) {
    strOut += "\r\x1b[2K";
    strOut += s;
    strOut += '\n';
  }
  std::fputs(strOut.c_str(), m_pOut);
  std::fflush(m_pOut);
  m_nDrawnLines = aLines.size();
  m_aDrawn = std::move(aLines);
}

void CTtyFrontEnd::Freeze() {
  m_nDrawnLines = 0;
  m_aDrawn.clear();
}

void CTtyFrontEnd::Wake() { m_cv.notify_all(); }

void CTtyFrontEnd::WakeLoop() {
  // An input for no window: the loop takes it, drops it, and runs its idle hook again.
  m_loop.PostInput(fw::CInputEvent::Click(0, 0));
}

void CTtyFrontEnd::ShowCommandsHint() {
  if (m_opt.bAutoYes || m_opt.bJson || m_bHintShown) return;
  m_bHintShown = true;
  if (m_opt.bTerminal) {
    Redraw();  // the status line carries the buttons
    return;
  }
  std::string s = "Waiting for you:";
  const CWindow* pMain = MainWindow();
  for (const int nId : {IDC_MIDI_PORT, fw::IDOK}) {
    const auto it = pMain->controls.find(nId);
    if (it != pMain->controls.end() && it->second.bEnabled) {
      s += nId == IDC_MIDI_PORT ? " p = MIDI Port," : " c = Close,";
    }
  }
  s += " q = close the window";
  Emit(s);
}

// ---- Windows and controls ----

void CTtyFrontEnd::OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) {
  std::lock_guard<std::mutex> lock(m_mx);
  CWindow w;
  w.nTemplate = tmpl.nId;
  w.strCaption = tmpl.strCaption.Str();
  w.controls = fw::InitialControlStates(tmpl);
  m_windows[hWnd] = std::move(w);
  if (tmpl.nId == IDD_INSTALLER) {
    m_hMain = hWnd;
  } else if (tmpl.nId == IDD_PORT_SELECT) {
    m_menu = CMenu{hWnd, CMenu::EStage::Off, -1};
  }
}

void CTtyFrontEnd::OnWindowShown(fw::HWND hWnd, bool bShow) {
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_windows.find(hWnd);
  if (it == m_windows.end() || it->second.bShown == bShow) return;
  CWindow& w = it->second;
  w.bShown = bShow;
  if (hWnd == m_hMain) {
    if (m_opt.bJson) {
      EmitJson(
          CJsonObject().Add("t", Now()).Add("event", "window").Add("title", w.strCaption).Add("shown", bShow).Str());
    } else if (bShow) {
      Emit(DisplayText(w.strCaption));
      if (m_opt.bTerminal) {
        Redraw();
      } else {
        // The window's first look, one line per part.
        const auto st = w.controls.find(IDC_STATUS);
        Emit("Status: " + (st != w.controls.end() ? DisplayText(st->second.strText.View()) : std::string()));
      }
    } else {
      Freeze();
    }
    DrainTypeAhead();
    Wake();
    return;
  }
  if (w.nTemplate != IDD_PORT_SELECT || !bShow || hWnd != m_menu.hWnd) return;
  // The port dialog becomes the numbered menu.
  m_menu.eStage = CMenu::EStage::In;
  m_menu.nInPick = -1;
  Freeze();
  if (m_opt.bJson) {
    std::vector<std::string> aIn;
    std::vector<std::string> aOut;
    for (const fw::CString& s : w.controls[IDC_IN_PORT].aItems) aIn.push_back(s.Str());
    for (const fw::CString& s : w.controls[IDC_OUT_PORT].aItems) aOut.push_back(s.Str());
    EmitJson(CJsonObject()
                 .Add("t", Now())
                 .Add("event", "ports")
                 .Add("title", w.strCaption)
                 .Add("in", aIn)
                 .Add("out", aOut)
                 .Add("in_sel", w.controls[IDC_IN_PORT].nCurSel)
                 .Add("out_sel", w.controls[IDC_OUT_PORT].nCurSel)
                 .Str());
  } else {
    Emit("== " + DisplayText(w.strCaption) + " ==");
  }
  if (m_opt.bAutoYes) {
    FinishMenu(true, -1);
  } else {
    ShowMenuList(IDC_IN_PORT, "In Port");
    DrainTypeAhead();
    if (m_bInputEnded && (m_menu.eStage == CMenu::EStage::In || m_menu.eStage == CMenu::EStage::Out)) {
      FinishMenu(false, -1);
    }
  }
  Wake();
}

void CTtyFrontEnd::OnWindowDestroyed(fw::HWND hWnd) {
  std::lock_guard<std::mutex> lock(m_mx);
  if (hWnd == m_hMain) {
    Freeze();
    m_hMain = 0;
  }
  if (hWnd == m_menu.hWnd) {
    m_menu = CMenu{};
  }
  m_windows.erase(hWnd);
  Wake();
}

void CTtyFrontEnd::OnWindowIcon(fw::HWND /*hWnd*/, int /*nIconId*/, bool /*bBig*/) {}

void CTtyFrontEnd::OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) {
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_windows.find(hWnd);
  if (it == m_windows.end()) return;
  CWindow& w = it->second;
  const auto itOld = w.controls.find(ctl.tmpl.nId);
  const bool bHadOld = itOld != w.controls.end();
  const fw::CControlState old = bHadOld ? itOld->second : fw::CControlState{};
  w.controls[ctl.tmpl.nId] = ctl;
  if (hWnd == m_hMain) {
    ReportControl(w, ctl, bHadOld ? &old : nullptr);
    DrainTypeAhead();
  }
  Wake();
}

void CTtyFrontEnd::ReportControl(const CWindow& w, const fw::CControlState& ctl, const fw::CControlState* pOld) {
  const int nId = ctl.tmpl.nId;
  const bool bLive = m_opt.bTerminal && !m_opt.bJson;
  if (nId == IDC_STATUS) {
    if (pOld != nullptr && pOld->strText == ctl.strText) return;
    if (m_opt.bJson) {
      EmitJson(CJsonObject().Add("t", Now()).Add("event", "status").Add("text", ctl.strText.View()).Str());
    } else if (bLive) {
      Redraw();
    } else if (w.bShown) {
      Emit("Status: " + DisplayText(ctl.strText.View()));
    }
    return;
  }
  if (nId == IDC_PROGRESS_ALL || nId == IDC_PROGRESS_DATA) {
    const fw::CProgressState& st = ctl.progress;
    if (pOld != nullptr && SameProgress(pOld->progress, st)) return;
    if (m_opt.bJson) {
      EmitJson(CJsonObject()
                   .Add("t", Now())
                   .Add("event", "bar")
                   .Add("bar", BarName(nId))
                   .Add("lower", st.nLower)
                   .Add("upper", st.nUpper)
                   .Add("pos", st.nPos)
                   .Add("percent", ProgressPercent(st))
                   .Str());
    } else if (bLive) {
      Redraw();
    } else {
      // A plain line only when what the bar shows changes: its percentage or its range.
      const bool bRangeChanged =
          pOld == nullptr || pOld->progress.nLower != st.nLower || pOld->progress.nUpper != st.nUpper;
      if (bRangeChanged || ProgressPercent(pOld->progress) != ProgressPercent(st)) {
        Emit((nId == IDC_PROGRESS_ALL ? "All:  " : "Data: ") +
             FormatBarCounts(st, nId == IDC_PROGRESS_ALL ? "" : "bytes"));
      }
    }
    return;
  }
  if (nId == IDC_MIDI_PORT || nId == fw::IDOK) {
    if (pOld != nullptr && pOld->bEnabled == ctl.bEnabled) return;
    if (m_opt.bJson) {
      EmitJson(CJsonObject()
                   .Add("t", Now())
                   .Add("event", "button")
                   .Add("button", ButtonName(nId))
                   .Add("enabled", ctl.bEnabled)
                   .Str());
    } else if (bLive) {
      Redraw();
    } else {
      Emit(std::string(ButtonLabel(nId)) + (ctl.bEnabled ? ": enabled" : ": disabled"));
    }
    if (!MainWaitsForUser()) m_bHintShown = false;  // the next wait tells its commands again
  }
}

bool CTtyFrontEnd::MainWaitsForUser() const {
  const CWindow* pMain = MainWindow();
  if (pMain == nullptr || !pMain->bShown) return false;
  for (const int nId : {IDC_MIDI_PORT, fw::IDOK}) {
    const auto it = pMain->controls.find(nId);
    if (it != pMain->controls.end() && it->second.bEnabled) return true;
  }
  return false;
}

bool CTtyFrontEnd::IsWaitingForUser() const {
  std::lock_guard<std::mutex> lock(m_mx);
  for (const CBox& b : m_aBoxes) {
    if (!b.bAnswered) return true;
  }
  return m_menu.eStage == CMenu::EStage::In || m_menu.eStage == CMenu::EStage::Out || MainWaitsForUser();
}

// ---- Message boxes ----

void CTtyFrontEnd::ShowMessageBox(int nBoxId, fw::HWND /*hOwner*/, const fw::CString& strText,
                                  const fw::CString& strCaption, fw::UINT uType) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_aBoxes.push_back(CBox{nBoxId, uType, false});
  const EBoxButtons eButtons = BoxButtonsOf(uType);
  if (m_opt.bJson) {
    EmitJson(CJsonObject()
                 .Add("t", Now())
                 .Add("event", "box")
                 .Add("box", nBoxId)
                 .Add("caption", strCaption.View())
                 .Add("text", strText.View())
                 .Add("buttons", BoxButtonsName(eButtons))
                 .Add("icon", BoxIconName(uType))
                 .Str());
  } else {
    Emit("[" + DisplayText(strCaption.View()) + "]");
    for (const std::string& s : SplitBoxLines(strText.View())) {
      Emit("  " + DisplayText(s));
    }
    if (!m_opt.bAutoYes && !m_bInputEnded) {
      Emit(eButtons == EBoxButtons::OkCancel ? "Enter = OK, c = Cancel" : "Enter = OK");
    }
  }
  if (m_opt.bAutoYes) {
    AnswerBox(m_aBoxes.back(), fw::IDOK, "yes");
    return;
  }
  DrainTypeAhead();
  if (m_bInputEnded && !m_aBoxes.back().bAnswered) {
    AnswerBoxAsNobody(m_aBoxes.back());
  }
}

void CTtyFrontEnd::AnswerBox(CBox& box, int nAnswer, const char* pszBy) {
  box.bAnswered = true;
  m_loop.PostInput(fw::CInputEvent::BoxAnswer(box.nId, nAnswer));
  ++m_nInputSeq;
  if (m_opt.bJson) {
    EmitJson(CJsonObject()
                 .Add("t", Now())
                 .Add("event", "answer")
                 .Add("box", box.nId)
                 .Add("answer", Lower(AnswerName(nAnswer)))
                 .Add("by", pszBy)
                 .Str());
  } else {
    std::string s = "-> " + AnswerName(nAnswer);
    if (std::string_view(pszBy) == "yes") s += " (--yes)";
    if (std::string_view(pszBy) == "end-of-input") s += " (end of input)";
    Emit(s);
  }
  Wake();
}

void CTtyFrontEnd::AnswerBoxAsNobody(CBox& box) {
  AnswerBox(box, BoxButtonsOf(box.uType) == EBoxButtons::OkCancel ? fw::IDCANCEL : fw::IDOK, "end-of-input");
}

void CTtyFrontEnd::CloseMessageBox(int nBoxId, int nAnswer) {
  std::lock_guard<std::mutex> lock(m_mx);
  for (auto it = m_aBoxes.begin(); it != m_aBoxes.end(); ++it) {
    if (it->nId != nBoxId) continue;
    if (!it->bAnswered) {
      // The run ended with the box open: it goes with the answer the loop gave it.
      if (m_opt.bJson) {
        EmitJson(CJsonObject()
                     .Add("t", Now())
                     .Add("event", "answer")
                     .Add("box", nBoxId)
                     .Add("answer", Lower(AnswerName(nAnswer)))
                     .Add("by", "end")
                     .Str());
      }
    }
    m_aBoxes.erase(it);
    break;
  }
  if (m_aBoxes.empty()) {
    Redraw();
    m_bHintShown = false;  // told again below the box, once the loop is idle
  }
  DrainTypeAhead();
  Wake();
}

// ---- The port menu ----

void CTtyFrontEnd::ShowMenuList(int nId, const char* pszTitle) {
  if (m_opt.bJson) return;  // the ports event carried both lists
  CWindow& w = m_windows[m_menu.hWnd];
  const fw::CControlState& ctl = w.controls[nId];
  Emit(std::string(pszTitle) + ":");
  if (ctl.aItems.empty()) {
    Emit("  (no devices)");
  }
  for (std::size_t i = 0; i < ctl.aItems.size(); ++i) {
    std::string s = "  " + std::to_string(i + 1) + ") " + DisplayText(ctl.aItems[i].View());
    if (static_cast<int>(i) == ctl.nCurSel) s += "  *";
    Emit(s);
  }
  Emit("Number, Enter keeps the marked entry, c = Cancel");
}

void CTtyFrontEnd::HandleMenuLine(std::string_view strLine) {
  CWindow& w = m_windows[m_menu.hWnd];
  const int nId = m_menu.eStage == CMenu::EStage::In ? IDC_IN_PORT : IDC_OUT_PORT;
  const CMenuChoice choice = ParseMenuChoice(strLine, static_cast<int>(w.controls[nId].aItems.size()));
  switch (choice.eKind) {
    case CMenuChoice::EKind::Cancel:
      FinishMenu(false, -1);
      return;
    case CMenuChoice::EKind::Invalid:
      if (m_opt.bJson) {
        EmitJson(CJsonObject().Add("t", Now()).Add("event", "input-error").Add("line", strLine).Str());
      } else {
        Emit("Please type a number from the list, Enter, or c.");
      }
      return;
    case CMenuChoice::EKind::Keep:
    case CMenuChoice::EKind::Pick:
      break;
  }
  if (m_menu.eStage == CMenu::EStage::In) {
    m_menu.nInPick = choice.nPos;
    m_menu.eStage = CMenu::EStage::Out;
    ShowMenuList(IDC_OUT_PORT, "Out Port");
    return;
  }
  FinishMenu(true, choice.nPos);
}

void CTtyFrontEnd::FinishMenu(bool bOk, int nOutPick) {
  const fw::HWND h = m_menu.hWnd;
  m_menu.eStage = CMenu::EStage::Done;
  if (bOk) {
    if (m_menu.nInPick >= 0) m_loop.PostInput(fw::CInputEvent::ComboSel(h, IDC_IN_PORT, m_menu.nInPick));
    if (nOutPick >= 0) m_loop.PostInput(fw::CInputEvent::ComboSel(h, IDC_OUT_PORT, nOutPick));
  }
  m_loop.PostInput(fw::CInputEvent::Click(h, bOk ? fw::IDOK : fw::IDCANCEL));
  ++m_nInputSeq;
  if (m_opt.bJson) {
    EmitJson(CJsonObject()
                 .Add("t", Now())
                 .Add("event", "ports-answer")
                 .Add("answer", bOk ? "ok" : "cancel")
                 .Add("in_pick", m_menu.nInPick)
                 .Add("out_pick", nOutPick)
                 .Str());
  } else {
    Emit(bOk ? "-> OK" : "-> Cancel");
  }
  Wake();
}

// ---- The user ----

void CTtyFrontEnd::HandleWindowLine(std::string_view strLine) {
  const CWindow* pMain = MainWindow();
  if (pMain == nullptr) return;
  auto enabled = [&](int nId) {
    const auto it = pMain->controls.find(nId);
    return it != pMain->controls.end() && it->second.bEnabled;
  };
  auto refuse = [&](const std::string& strWhy) {
    if (m_opt.bJson) {
      EmitJson(
          CJsonObject().Add("t", Now()).Add("event", "input-error").Add("line", strLine).Add("reason", strWhy).Str());
    } else {
      Emit(strWhy);
    }
  };
  switch (ParseWindowCommand(strLine)) {
    case EWindowCommand::MidiPort:
      if (!enabled(IDC_MIDI_PORT)) return refuse("MIDI Port is not available now.");
      m_loop.PostInput(fw::CInputEvent::Click(m_hMain, IDC_MIDI_PORT));
      m_bCommandPending = true;
      break;
    case EWindowCommand::Close:
      if (!enabled(fw::IDOK)) return refuse("Close is not available now; q closes the window.");
      m_loop.PostInput(fw::CInputEvent::Click(m_hMain, fw::IDOK));
      m_bCommandPending = true;
      break;
    case EWindowCommand::CloseBox:
      m_loop.PostInput(fw::CInputEvent::Close(m_hMain));
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
  for (const CBox& b : m_aBoxes) {
    if (!b.bAnswered) return true;
  }
  if (m_menu.eStage == CMenu::EStage::In || m_menu.eStage == CMenu::EStage::Out) return true;
  // A button pressed is taken by the loop first: what it leads to is the next prompt.
  return m_aBoxes.empty() && MainWaitsForUser() && !m_bCommandPending;
}

void CTtyFrontEnd::HandleLine(std::string_view strLine) {
  for (auto it = m_aBoxes.rbegin(); it != m_aBoxes.rend(); ++it) {
    if (it->bAnswered) continue;
    if (const std::optional<int> nAnswer = ParseBoxAnswer(strLine, it->uType)) {
      AnswerBox(*it, *nAnswer, "user");
    } else if (m_opt.bJson) {
      EmitJson(CJsonObject().Add("t", Now()).Add("event", "input-error").Add("line", strLine).Str());
    } else {
      Emit(BoxButtonsOf(it->uType) == EBoxButtons::OkCancel ? "Please answer with Enter (OK) or c (Cancel)."
                                                            : "Please press Enter (OK).");
    }
    return;
  }
  if (m_menu.eStage == CMenu::EStage::In || m_menu.eStage == CMenu::EStage::Out) {
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
  } else if (m_aTypeAhead.empty() && m_hMain != 0 && ParseWindowCommand(strLine) == EWindowCommand::CloseBox) {
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
  for (CBox& b : m_aBoxes) {
    if (!b.bAnswered) AnswerBoxAsNobody(b);
  }
  if (m_menu.eStage == CMenu::EStage::In || m_menu.eStage == CMenu::EStage::Out) {
    FinishMenu(false, -1);
  }
  WakeLoop();  // a window that waits for the user is closed at the next idle moment
  Wake();
}

void CTtyFrontEnd::RequestClose() {
  std::lock_guard<std::mutex> lock(m_mx);
  if (m_bStopped) return;
  for (auto it = m_aBoxes.rbegin(); it != m_aBoxes.rend(); ++it) {
    if (!it->bAnswered) {
      // Esc: Cancel where the box has it, else OK.
      AnswerBox(*it, BoxButtonsOf(it->uType) == EBoxButtons::OkCancel ? fw::IDCANCEL : fw::IDOK, "close");
      break;
    }
  }
  if (m_menu.eStage == CMenu::EStage::In || m_menu.eStage == CMenu::EStage::Out) {
    FinishMenu(false, -1);
  }
  m_eClose = EClose::CloseBox;
  WakeLoop();
  Wake();
}

void CTtyFrontEnd::OnOutcome(EOutcome eOutcome) {
  std::lock_guard<std::mutex> lock(m_mx);
  if (m_opt.bJson) {
    // None comes when a run (re)starts: nothing is decided yet.
    EmitJson(CJsonObject()
                 .Add("t", Now())
                 .Add("event", "outcome")
                 .Add("outcome", eOutcome == EOutcome::None ? "running" : NameOf(eOutcome))
                 .Str());
  }
  if (m_opt.bAutoYes && LeavesWindowWaiting(eOutcome) && m_eClose == EClose::None) {
    m_eClose = EClose::CloseButton;
  }
  Wake();
}

void CTtyFrontEnd::OnIdle(bool bMayBlock) {
  std::unique_lock<std::mutex> lock(m_mx);
  if (m_bCommandPending) {
    // The loop has taken the button: lines typed ahead go to what it led to.
    m_bCommandPending = false;
    DrainTypeAhead();
  }
  if (m_aBoxes.empty() && MainWaitsForUser()) {
    // Told once the handler that enabled the buttons is through, so it names all of them.
    ShowCommandsHint();
  }
  for (;;) {
    if (m_bStopped) return;
    const bool bPrompting =
        !m_aBoxes.empty() || m_menu.eStage == CMenu::EStage::In || m_menu.eStage == CMenu::EStage::Out;
    if (!bPrompting && m_hMain != 0) {
      if (m_eClose == EClose::None && m_bInputEnded && MainWaitsForUser()) {
        m_eClose = EClose::CloseButton;  // nobody is left to press a button
      }
      if (m_eClose != EClose::None) {
        const CWindow* pMain = MainWindow();
        const auto it = pMain->controls.find(fw::IDOK);
        const bool bCloseEnabled = it != pMain->controls.end() && it->second.bEnabled;
        if (m_eClose == EClose::CloseButton && bCloseEnabled) {
          m_loop.PostInput(fw::CInputEvent::Click(m_hMain, fw::IDOK));
        } else {
          m_loop.PostInput(fw::CInputEvent::Close(m_hMain));
        }
        m_eClose = EClose::None;
        return;
      }
    }
    bool bWaiting = MainWaitsForUser() || m_menu.eStage == CMenu::EStage::In || m_menu.eStage == CMenu::EStage::Out;
    for (const CBox& b : m_aBoxes) {
      bWaiting = bWaiting || !b.bAnswered;
    }
    if (!bMayBlock || m_opt.bAutoYes || m_bInputEnded || !bWaiting) return;
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
  if (m_opt.bJson) {
    EmitJson(CJsonObject()
                 .Add("t", Now())
                 .Add("event", "end")
                 .Add("outcome", NameOf(eOutcome))
                 .Add("exit", nExitCode)
                 .Str());
  } else {
    Emit(std::string("Result: ") + NameOf(eOutcome) + " (exit code " + std::to_string(nExitCode) + ")");
  }
}

}  // namespace velda::tty
