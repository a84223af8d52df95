#include <windows.h>

#include "fw/wake_signal.h"

namespace fw {

// An auto-reset event: set until a wait returns with it.
CWakeSignal::CWakeSignal() {
  m_aHandle[0] = reinterpret_cast<std::intptr_t>(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

CWakeSignal::~CWakeSignal() {
  if (m_aHandle[0] != 0) ::CloseHandle(reinterpret_cast<HANDLE>(m_aHandle[0]));
}

void CWakeSignal::Raise() {
  if (m_aHandle[0] != 0) ::SetEvent(reinterpret_cast<HANDLE>(m_aHandle[0]));
}

void CWakeSignal::Wait(std::int64_t nTimeoutMs) {
  if (m_aHandle[0] == 0) {
    ::Sleep(1);  // no event could be had: look again every millisecond
    return;
  }
  const DWORD dwMs = nTimeoutMs < 0 ? INFINITE : static_cast<DWORD>(nTimeoutMs > 0x7FFFFFFE ? 0x7FFFFFFE : nTimeoutMs);
  ::WaitForSingleObject(reinterpret_cast<HANDLE>(m_aHandle[0]), dwMs);
}

}  // namespace fw
