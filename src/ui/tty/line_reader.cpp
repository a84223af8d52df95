#include "ui/tty/line_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace velda::tty {

CLineReader::CLineReader(int nFd, FnLine fnLine, FnEnd fnEnd)
    : m_nFd(nFd), m_fnLine(std::move(fnLine)), m_fnEnd(std::move(fnEnd)) {
  if (::pipe2(m_aWake, O_CLOEXEC) != 0) {
    m_aWake[0] = m_aWake[1] = -1;
  }
  m_thread = std::thread([this] { Run(); });
}

CLineReader::~CLineReader() {
  Stop();
  for (int& fd : m_aWake) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void CLineReader::Stop() {
  if (m_bStop.exchange(true)) {
    if (m_thread.joinable()) m_thread.join();
    return;
  }
  if (m_aWake[1] >= 0) {
    const char c = 0;
    [[maybe_unused]] const ssize_t n = ::write(m_aWake[1], &c, 1);
  }
  if (m_thread.joinable()) m_thread.join();
}

void CLineReader::Run() {
  CLineSplitter splitter;
  char aBuf[4096];
  for (;;) {
    pollfd aFds[2] = {{m_nFd, POLLIN, 0}, {m_aWake[0], POLLIN, 0}};
    const int nReady = ::poll(aFds, m_aWake[0] >= 0 ? 2 : 1, m_aWake[0] >= 0 ? -1 : 200);
    if (m_bStop.load()) return;
    if (nReady < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (nReady == 0) continue;
    if ((aFds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    const ssize_t n = ::read(m_nFd, aBuf, sizeof aBuf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    splitter.Add(std::string_view(aBuf, static_cast<std::size_t>(n)), [&](std::string_view s) {
      if (!m_bStop.load()) m_fnLine(s);
    });
  }
  splitter.Finish([&](std::string_view s) {
    if (!m_bStop.load()) m_fnLine(s);
  });
  if (!m_bStop.load()) m_fnEnd();
}

}  // namespace velda::tty
