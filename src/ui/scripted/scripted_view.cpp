#include "ui/scripted/scripted_view.h"

namespace velda {

void CScriptedView::QueueAnswer(int nAnswer, std::uint64_t nDelayMs) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_script.emplace_back(nAnswer, nDelayMs);
}

void CScriptedView::SetDefaultAnswer(std::optional<int> nAnswer) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_nDefault = nAnswer;
}

std::vector<std::string> CScriptedView::Events() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_events;
}

std::vector<CBoxRecord> CScriptedView::Boxes() const {
  std::lock_guard<std::mutex> lock(m_mx);
  return m_boxes;
}

std::vector<std::string> CScriptedView::StatusHistory() const {
  std::lock_guard<std::mutex> lock(m_mx);
  std::vector<std::string> out;
  for (const std::string& e : m_events) {
    if (e.rfind("status ", 0) == 0) out.push_back(e.substr(7));
  }
  return out;
}

int CScriptedView::OpenBox() const {
  std::lock_guard<std::mutex> lock(m_mx);
  for (const CBoxRecord& b : m_boxes) {
    if (b.nAnswer < 0) return b.nBox;
  }
  return 0;
}

fw::HWND CScriptedView::MainWindow() const { return WindowOf(102); }

fw::HWND CScriptedView::WindowOf(int nTemplateId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  for (const auto& [h, w] : m_windows) {
    if (w.nTemplate == nTemplateId && w.bAlive) return h;
  }
  return 0;
}

std::string CScriptedView::Status() const {
  const fw::HWND h = MainWindow();
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_windows.find(h);
  if (it == m_windows.end()) return {};
  const auto c = it->second.controls.find(1007);
  return c == it->second.controls.end() ? std::string() : c->second.strText.Str();
}

bool CScriptedView::IsEnabled(int nId) const {
  const fw::HWND h = MainWindow();
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_windows.find(h);
  if (it == m_windows.end()) return false;
  const auto c = it->second.controls.find(nId);
  return c != it->second.controls.end() && c->second.bEnabled;
}

fw::CProgressState CScriptedView::Progress(int nId) const {
  const fw::HWND h = MainWindow();
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_windows.find(h);
  if (it == m_windows.end()) return {};
  const auto c = it->second.controls.find(nId);
  return c == it->second.controls.end() ? fw::CProgressState{} : c->second.progress;
}

bool CScriptedView::IsMainShown() const {
  const fw::HWND h = MainWindow();
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_windows.find(h);
  return it != m_windows.end() && it->second.bShown;
}

std::vector<std::string> CScriptedView::ComboItems(fw::HWND hWnd, int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  std::vector<std::string> out;
  const auto it = m_windows.find(hWnd);
  if (it == m_windows.end()) return out;
  const auto c = it->second.controls.find(nId);
  if (c == it->second.controls.end()) return out;
  for (const fw::CString& s : c->second.aItems) out.push_back(s.Str());
  return out;
}

int CScriptedView::ComboSel(fw::HWND hWnd, int nId) const {
  std::lock_guard<std::mutex> lock(m_mx);
  const auto it = m_windows.find(hWnd);
  if (it == m_windows.end()) return -1;
  const auto c = it->second.controls.find(nId);
  return c == it->second.controls.end() ? -1 : c->second.nCurSel;
}

void CScriptedView::Record(std::string str) { m_events.push_back(std::move(str)); }

void CScriptedView::OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) {
  std::lock_guard<std::mutex> lock(m_mx);
  CWindowRecord w;
  w.nTemplate = tmpl.nId;
  w.controls = fw::InitialControlStates(tmpl);
  m_windows[hWnd] = w;
  Record("window " + std::to_string(tmpl.nId) + " created");
}

void CScriptedView::OnWindowShown(fw::HWND hWnd, bool bShow) {
  std::lock_guard<std::mutex> lock(m_mx);
  auto it = m_windows.find(hWnd);
  if (it == m_windows.end()) return;
  it->second.bShown = bShow;
  Record("window " + std::to_string(it->second.nTemplate) + (bShow ? " shown" : " hidden"));
}

void CScriptedView::OnWindowDestroyed(fw::HWND hWnd) {
  std::lock_guard<std::mutex> lock(m_mx);
  auto it = m_windows.find(hWnd);
  if (it == m_windows.end()) return;
  it->second.bAlive = false;
  it->second.bShown = false;
  Record("window " + std::to_string(it->second.nTemplate) + " destroyed");
}

void CScriptedView::OnWindowIcon(fw::HWND /*hWnd*/, int nIconId, bool bBig) {
  std::lock_guard<std::mutex> lock(m_mx);
  Record("icon " + std::to_string(nIconId) + (bBig ? " big" : " small"));
}

void CScriptedView::OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) {
  std::lock_guard<std::mutex> lock(m_mx);
  auto it = m_windows.find(hWnd);
  if (it == m_windows.end()) return;
  fw::CControlState& old = it->second.controls[ctl.tmpl.nId];
  const std::string strId = std::to_string(ctl.tmpl.nId);
  if (ctl.tmpl.eKind == fw::EControlKind::Edit && !(old.strText == ctl.strText)) {
    Record("status " + ctl.strText.Str());
  }
  if (old.bEnabled != ctl.bEnabled) {
    Record("enable " + strId + (ctl.bEnabled ? " 1" : " 0"));
  }
  if (ctl.tmpl.eKind == fw::EControlKind::Progress &&
      (old.progress.nLower != ctl.progress.nLower || old.progress.nUpper != ctl.progress.nUpper ||
       old.progress.nPos != ctl.progress.nPos)) {
    Record("progress " + strId + " " + std::to_string(ctl.progress.nLower) + " " + std::to_string(ctl.progress.nUpper) +
           " " + std::to_string(ctl.progress.nPos));
  }
  old = ctl;
}

void CScriptedView::ShowMessageBox(int nBoxId, fw::HWND /*hOwner*/, const fw::CString& strText,
                                   const fw::CString& strCaption, fw::UINT uType) {
  std::optional<std::pair<int, std::uint64_t>> answer;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    CBoxRecord b;
    b.nBox = nBoxId;
    b.strText = strText.Str();
    b.strCaption = strCaption.Str();
    b.uType = uType;
    b.nShownAt = m_loop.Now();
    m_boxes.push_back(b);
    Record("box " + b.strText);
    if (!m_script.empty()) {
      answer = m_script.front();
      m_script.pop_front();
    } else if (m_nDefault) {
      answer = std::make_pair(*m_nDefault, std::uint64_t{0});
    }
  }
  if (answer) {
    const int nAnswer = answer->first;
    fw::CMsgLoop* pLoop = &m_loop;
    m_loop.ScheduleAfter(answer->second,
                         [pLoop, nBoxId, nAnswer] { pLoop->PostInput(fw::CInputEvent::BoxAnswer(nBoxId, nAnswer)); });
  }
}

void CScriptedView::CloseMessageBox(int nBoxId, int nAnswer) {
  std::lock_guard<std::mutex> lock(m_mx);
  for (CBoxRecord& b : m_boxes) {
    if (b.nBox == nBoxId && b.nAnswer < 0) {
      b.nClosedAt = m_loop.Now();
      b.nAnswer = nAnswer;
    }
  }
  Record("answer " + std::to_string(nAnswer));
}

}  // namespace velda
