#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "fw/wake_signal.h"

namespace fw {

// A pipe whose one byte says "raised"; the flag keeps it to one byte however often it is raised.
CWakeSignal::CWakeSignal() {
  int a[2] = {-1, -1};
  if (::pipe(a) != 0) return;
  for (const int fd : a) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  m_aHandle[0] = a[0];
  m_aHandle[1] = a[1];
}

CWakeSignal::~CWakeSignal() {
  for (const std::intptr_t fd : m_aHandle) {
    if (fd >= 0) ::close(static_cast<int>(fd));
  }
}

void CWakeSignal::Raise() {
  if (m_bRaised.exchange(true, std::memory_order_acq_rel)) return;  // its byte is already there
  const char c = 1;
  if (m_aHandle[1] >= 0) (void)!::write(static_cast<int>(m_aHandle[1]), &c, 1);
}

void CWakeSignal::Wait(std::int64_t nTimeoutMs) {
  if (m_aHandle[0] < 0) {
    // No pipe could be had: look again every millisecond.
    if (!m_bRaised.exchange(false)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return;
  }
  pollfd pfd{static_cast<int>(m_aHandle[0]), POLLIN, 0};
  const int nMs = nTimeoutMs < 0 ? -1 : static_cast<int>(nTimeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : nTimeoutMs);
  if (::poll(&pfd, 1, nMs) <= 0) return;
  // Lowered before the byte goes: a raise from now on writes a new one.
  m_bRaised.store(false, std::memory_order_release);
  char a[16];
  while (::read(static_cast<int>(m_aHandle[0]), a, sizeof a) > 0) {
  }
}

}  // namespace fw
