// Reads lines from a file descriptor (the terminal, a pipe) on a thread of its own and hands each
// to a callback, then reports the end of the input. Stop() ends the thread even while it waits.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace velda::tty {

class CLineReader {
 public:
  using FnLine = std::function<void(std::string_view)>;
  using FnEnd = std::function<void()>;

  CLineReader(int nFd, FnLine fnLine, FnEnd fnEnd);
  ~CLineReader();
  CLineReader(const CLineReader&) = delete;
  CLineReader& operator=(const CLineReader&) = delete;

  // Ends the thread; no callback runs after it returns. The end of input is not reported then.
  void Stop();

 private:
  void Run();

  int m_nFd;
  FnLine m_fnLine;
  FnEnd m_fnEnd;
  int m_aWake[2] = {-1, -1};  // a pipe whose read end wakes the poll
  std::atomic<bool> m_bStop{false};
  std::thread m_thread;
};

// Splits a stream into lines: bytes are added as they come, complete lines (without LF, and
// without a CR before the LF) come out; what is left at the end is one last line.
class CLineSplitter {
 public:
  template <typename Fn>
  void Add(std::string_view strBytes, Fn&& fnLine) {
    for (const char c : strBytes) {
      if (c == '\n') {
        if (!m_strPending.empty() && m_strPending.back() == '\r') m_strPending.pop_back();
        fnLine(std::string_view(m_strPending));
        m_strPending.clear();
      } else {
        m_strPending.push_back(c);
      }
    }
  }
  template <typename Fn>
  void Finish(Fn&& fnLine) {
    if (!m_strPending.empty()) {
      if (m_strPending.back() == '\r') m_strPending.pop_back();
      fnLine(std::string_view(m_strPending));
      m_strPending.clear();
    }
  }

 private:
  std::string m_strPending;
};

}  // namespace velda::tty
