// Kernel services in a browser page (WebAssembly, one thread, files in the page's memory).
//
// The installer runs on the page's only thread. Its waits are Asyncify sleeps: the call stack is
// put aside, the browser runs its event loop (drawing, clicks, MIDI input, timers), and the wait
// resumes. A page cannot block, so a wait for a post is a short sleep the loop repeats.
#include <emscripten.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "fw/kernel.h"
#include "fw/loop_wait.h"

namespace fw {

namespace {

// How long one wait for a post hands the page back at most: the delay a click or a MIDI message
// can see before the installer looks at it.
constexpr std::int64_t kPollMs = 2;

// The locks this page holds. A page is one process of its own: two tabs are two installers, each
// with its own MIDI access, as two programs on one desktop are.
std::set<std::string>& HeldLocks() {
  static std::set<std::string> s;
  return s;
}

}  // namespace

void SleepThread(UINT nMs) { emscripten_sleep(nMs); }

void WaitForWork(std::unique_lock<std::mutex>& lock, std::condition_variable& /*cv*/,
                 std::optional<std::chrono::steady_clock::time_point> deadline) {
  std::int64_t nMs = kPollMs;
  if (deadline) {
    const auto nLeft =
        std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now()).count();
    nMs = std::clamp<std::int64_t>(nLeft, 0, kPollMs);
  }
  lock.unlock();
  emscripten_sleep(static_cast<unsigned>(nMs));
  lock.lock();
}

std::string LockAddress(const std::string& strName, const std::string& strScope) {
  return ScopedLockAddress(strName, strScope, 255);
}

CFileResult ReadWholeFile(const std::string& strPath) {
  CFileResult r;
  std::FILE* pFile = std::fopen(strPath.c_str(), "rb");
  if (pFile == nullptr) {
    r.strError = std::strerror(errno);
    return r;
  }
  r.bOpened = true;
  BYTE aChunk[65536];
  for (;;) {
    const std::size_t n = std::fread(aChunk, 1, sizeof aChunk, pFile);
    r.aData.insert(r.aData.end(), aChunk, aChunk + n);
    if (n < sizeof aChunk) break;
  }
  if (std::ferror(pFile) != 0) {
    r.strError = std::strerror(errno);
    r.aData.clear();
    std::fclose(pFile);
    return r;
  }
  std::fclose(pFile);
  r.bOk = true;
  return r;
}

struct CSingleInstanceLock::CImpl {
  std::string strAddress;
  std::string strError;
};

CSingleInstanceLock::CSingleInstanceLock() : m_pImpl(std::make_unique<CImpl>()) {}

CSingleInstanceLock::~CSingleInstanceLock() {
  if (!m_pImpl->strAddress.empty()) HeldLocks().erase(m_pImpl->strAddress);
}

ELock CSingleInstanceLock::Probe(const std::string& strName, const std::string& strScope, std::string* pstrError) {
  if (pstrError != nullptr) pstrError->clear();
  return HeldLocks().count(LockAddress(strName, strScope)) != 0 ? ELock::HeldElsewhere : ELock::Ok;
}

ELock CSingleInstanceLock::Acquire(const std::string& strName, const std::string& strScope) {
  const std::string strAddress = LockAddress(strName, strScope);
  if (strAddress == m_pImpl->strAddress) return ELock::Ok;
  if (!HeldLocks().insert(strAddress).second) return ELock::HeldElsewhere;
  if (!m_pImpl->strAddress.empty()) HeldLocks().erase(m_pImpl->strAddress);
  m_pImpl->strAddress = strAddress;
  return ELock::Ok;
}

const std::string& CSingleInstanceLock::Error() const { return m_pImpl->strError; }

UINT SystemAnsiCodePage() { return 1252; }

}  // namespace fw
