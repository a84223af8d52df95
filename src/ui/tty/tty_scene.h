// What the terminal front end knows of the installer's windows: the main window and the port
// dialog with their controls, the open message boxes and the state of the port menu. The
// interaction core changes it; the renderers read it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "fw/controls.h"
#include "fw/types.h"

namespace velda::tty {

struct CTtyWindow {
  int nTemplate = 0;
  std::string strCaption;
  bool bShown = false;
  std::map<int, fw::CControlState> controls;

  // The control's state; an empty one when the window has no such control.
  const fw::CControlState& Control(int nId) const;
  bool IsEnabled(int nId) const;
};

struct CTtyBox {
  int nId = 0;
  fw::UINT uType = 0;
  bool bAnswered = false;  // an answer was posted; the box closes when the loop takes it
};

// The port menu: first the input list, then the output list, then OK.
struct CTtyMenu {
  fw::HWND hWnd = 0;
  enum class EStage { Off, In, Out, Done } eStage = EStage::Off;
  int nInPick = -1;  // -1: keep the preselected entry
};

struct CTtyScene {
  std::map<fw::HWND, CTtyWindow> windows;
  fw::HWND hMain = 0;
  std::vector<CTtyBox> aBoxes;  // open boxes, innermost last
  CTtyMenu menu;

  CTtyWindow* MainWindow();
  const CTtyWindow* MainWindow() const;
  // The port menu waits for a line.
  bool MenuOpen() const { return menu.eStage == CTtyMenu::EStage::In || menu.eStage == CTtyMenu::EStage::Out; }
  // A box that has no answer yet.
  bool BoxWaits() const;
  // The main window is shown with an enabled button: it waits for the user.
  bool MainWaitsForUser() const;
};

}  // namespace velda::tty
