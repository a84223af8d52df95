// The MIDI Port Select dialog on the terminal: two numbered lists (input, then output), each
// answered with a number, Enter for the marked entry, or c to cancel.
#include "shell/resource.h"
#include "ui/tty/tty_answer.h"
#include "ui/tty/tty_front_end.h"

namespace velda::tty {

void CTtyFrontEnd::OpenMenu(const CTtyWindow& w) {
  m_scene.menu.eStage = CTtyMenu::EStage::In;
  m_scene.menu.nInPick = -1;
  m_pRenderer->PortsShown(w);
  if (m_pYes != nullptr) {
    FinishMenu(CYesPolicy::AcceptsPorts(), -1);
    return;
  }
  ShowMenuList(IDC_IN_PORT, "In Port");
  DrainTypeAhead();
  if (m_bInputEnded && m_scene.MenuOpen()) {
    FinishMenu(false, -1);
  }
}

void CTtyFrontEnd::ShowMenuList(int nId, const char* pszTitle) {
  m_pRenderer->PortList(pszTitle, m_scene.windows[m_scene.menu.hWnd].Control(nId));
}

void CTtyFrontEnd::HandleMenuLine(std::string_view strLine) {
  const CTtyWindow& w = m_scene.windows[m_scene.menu.hWnd];
  const int nId = m_scene.menu.eStage == CTtyMenu::EStage::In ? IDC_IN_PORT : IDC_OUT_PORT;
  const CMenuChoice choice = ParseMenuChoice(strLine, static_cast<int>(w.Control(nId).aItems.size()));
  switch (choice.eKind) {
    case CMenuChoice::EKind::Cancel:
      FinishMenu(false, -1);
      return;
    case CMenuChoice::EKind::Invalid:
      m_pRenderer->NotAnAnswer(strLine, "Please type a number from the list, Enter, or c.");
      return;
    case CMenuChoice::EKind::Keep:
    case CMenuChoice::EKind::Pick:
      break;
  }
  if (m_scene.menu.eStage == CTtyMenu::EStage::In) {
    m_scene.menu.nInPick = choice.nPos;
    m_scene.menu.eStage = CTtyMenu::EStage::Out;
    ShowMenuList(IDC_OUT_PORT, "Out Port");
    return;
  }
  FinishMenu(true, choice.nPos);
}

void CTtyFrontEnd::FinishMenu(bool bOk, int nOutPick) {
  CTtyMenu& menu = m_scene.menu;
  const fw::HWND h = menu.hWnd;
  menu.eStage = CTtyMenu::EStage::Done;
  if (bOk) {
    if (menu.nInPick >= 0) m_loop.PostInput(fw::CInputEvent::ComboSel(h, IDC_IN_PORT, menu.nInPick));
    if (nOutPick >= 0) m_loop.PostInput(fw::CInputEvent::ComboSel(h, IDC_OUT_PORT, nOutPick));
  }
  m_loop.PostInput(fw::CInputEvent::Click(h, bOk ? fw::IDOK : fw::IDCANCEL));
  ++m_nInputSeq;
  m_pRenderer->PortsAnswered(bOk, menu.nInPick, nOutPick);
  Wake();
}

}  // namespace velda::tty
