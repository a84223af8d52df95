#include "ui/tty/tty_scene.h"

#include "shell/resource.h"

namespace velda::tty {

const fw::CControlState& CTtyWindow::Control(int nId) const {
  static const fw::CControlState kNone;
  const auto it = controls.find(nId);
  return it == controls.end() ? kNone : it->second;
}

bool CTtyWindow::IsEnabled(int nId) const {
  const auto it = controls.find(nId);
  return it != controls.end() && it->second.bEnabled;
}

CTtyWindow* CTtyScene::MainWindow() {
  const auto it = windows.find(hMain);
  return it == windows.end() ? nullptr : &it->second;
}

const CTtyWindow* CTtyScene::MainWindow() const {
  const auto it = windows.find(hMain);
  return it == windows.end() ? nullptr : &it->second;
}

bool CTtyScene::BoxWaits() const {
  for (const CTtyBox& b : aBoxes) {
    if (!b.bAnswered) return true;
  }
  return false;
}

bool CTtyScene::MainWaitsForUser() const {
  const CTtyWindow* pMain = MainWindow();
  if (pMain == nullptr || !pMain->bShown) return false;
  return pMain->IsEnabled(IDC_MIDI_PORT) || pMain->IsEnabled(fw::IDOK);
}

}  // namespace velda::tty
