#include "ui/tty/yes_policy.h"

namespace velda {

bool CYesPolicy::LeavesWindowWaiting(EOutcome eOutcome) {
  return eOutcome == EOutcome::TimedOut || eOutcome == EOutcome::PortError || eOutcome == EOutcome::ScriptError ||
         eOutcome == EOutcome::PackageError;
}

void CYesPolicy::OnOutcome(EOutcome eOutcome) {
  if (LeavesWindowWaiting(eOutcome)) m_bCloseWanted = true;
}

std::optional<fw::CInputEvent> CYesPolicy::TakeClose(fw::HWND hMain, bool bCloseEnabled) {
  if (!m_bCloseWanted || hMain == 0) return std::nullopt;
  m_bCloseWanted = false;
  return bCloseEnabled ? fw::CInputEvent::Click(hMain, fw::IDOK) : fw::CInputEvent::Close(hMain);
}

}  // namespace velda
