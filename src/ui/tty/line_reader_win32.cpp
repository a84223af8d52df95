// The line reader on Windows. A read from a console or a pipe cannot be woken, so the thread looks
// for input in short turns and reads only what is there; Stop() then ends it within one turn.
#include "ui/tty/line_reader.h"

#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace velda::tty {

namespace {

constexpr ::DWORD TURN_MS = 50;

enum class EReady { Data, Nothing, End };

EReady WaitForInput(HANDLE h, ::DWORD nType) {
  if (nType == FILE_TYPE_PIPE) {
    ::DWORD nAvail = 0;
    if (::PeekNamedPipe(h, nullptr, 0, nullptr, &nAvail, nullptr) == 0) return EReady::End;
    if (nAvail > 0) return EReady::Data;
    ::Sleep(TURN_MS);
    return EReady::Nothing;
  }
  if (nType == FILE_TYPE_CHAR) {
    return ::WaitForSingleObject(h, TURN_MS) == WAIT_OBJECT_0 ? EReady::Data : EReady::Nothing;
  }
  return EReady::Data;  // a file never blocks
}

}  // namespace

CLineReader::CLineReader(int nFd, FnLine fnLine, FnEnd fnEnd)
    : m_nFd(nFd), m_fnLine(std::move(fnLine)), m_fnEnd(std::move(fnEnd)) {
  m_thread = std::thread([this] { Run(); });
}

CLineReader::~CLineReader() { Stop(); }

void CLineReader::Stop() {
  m_bStop.store(true);
  if (m_thread.joinable()) m_thread.join();
}

void CLineReader::Run() {
  CLineSplitter splitter;
  const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(m_nFd));
  const ::DWORD nType = (h == INVALID_HANDLE_VALUE || h == nullptr) ? FILE_TYPE_UNKNOWN : ::GetFileType(h);
  char aBuf[4096];
  while (nType != FILE_TYPE_UNKNOWN) {
    const EReady eReady = WaitForInput(h, nType);
    if (m_bStop.load()) return;
    if (eReady == EReady::End) break;
    if (eReady == EReady::Nothing) continue;
    ::DWORD nRead = 0;
    if (::ReadFile(h, aBuf, sizeof aBuf, &nRead, nullptr) == 0 || nRead == 0) break;
    splitter.Add(std::string_view(aBuf, nRead), [&](std::string_view s) {
      if (!m_bStop.load()) m_fnLine(s);
    });
  }
  splitter.Finish([&](std::string_view s) {
    if (!m_bStop.load()) m_fnLine(s);
  });
  if (!m_bStop.load()) m_fnEnd();
}

}  // namespace velda::tty
