// --yes: how the program answers for a user who says yes to everything. One policy for every
// front end (the terminal and the window): each tells it what happens and carries out what it
// decides, so that both behave alike.
#pragma once

#include <optional>

#include "fw/types.h"
#include "fw/view.h"
#include "shell/outcome.h"

namespace velda {

class CYesPolicy {
 public:
  // A failure after which the window waits for the user, who can only close it.
  static bool LeavesWindowWaiting(EOutcome eOutcome);
  // Every message box is answered OK as soon as it shows.
  static int BoxAnswer() { return fw::IDOK; }
  // The MIDI Port Select dialog is left with OK, its marked entries kept.
  static bool AcceptsPorts() { return true; }

  // The dialog's outcome changed: after a failure that leaves the window waiting, the window is
  // to be closed once nothing else is open.
  void OnOutcome(EOutcome eOutcome);
  bool CloseWanted() const { return m_bCloseWanted; }
  // The input that carries out the wanted close, taken once: Close when it is enabled, else the
  // close box. nullopt when no close is wanted.
  std::optional<fw::CInputEvent> TakeClose(fw::HWND hMain, bool bCloseEnabled);
  // The window is being closed another way.
  void DropClose() { m_bCloseWanted = false; }

 private:
  bool m_bCloseWanted = false;
};

}  // namespace velda
