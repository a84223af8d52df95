// Kernel services on Windows. The single-instance lock is the named mutex itself: a second copy
// finds it already there; the system destroys it with its last handle, which the holder closes
// when its object goes or the system when the process ends, however it ends.
#include "fw/kernel.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fw {

namespace {

// The longest lock name: that of the other systems, well within a mutex name's limit.
constexpr std::size_t MAX_LOCK_ADDRESS = 107;

std::string SystemErrorText(::DWORD nError) {
  char sz[512] = {};
  const ::DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, nError, 0, sz,
                                     sizeof sz, nullptr);
  std::string str(sz, n);
  while (!str.empty() && (str.back() == '\n' || str.back() == '\r' || str.back() == ' ' || str.back() == '.')) {
    str.pop_back();
  }
  return str.empty() ? "error " + std::to_string(nError) : str;
}

}  // namespace

CFileResult ReadWholeFile(const std::string& strPath) {
  CFileResult r;
  const HANDLE h = ::CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const ::DWORD nError = ::GetLastError();
    // A folder opens only with backup semantics: say what it is.
    const ::DWORD nAttr = ::GetFileAttributesA(strPath.c_str());
    r.strError = (nAttr != INVALID_FILE_ATTRIBUTES && (nAttr & FILE_ATTRIBUTE_DIRECTORY) != 0)
                     ? SystemErrorText(ERROR_DIRECTORY)
                     : SystemErrorText(nError);
    return r;
  }
  r.bOpened = true;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(h, &size) == 0) {
    r.strError = SystemErrorText(::GetLastError());
    ::CloseHandle(h);
    return r;
  }
  r.aData.resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t nDone = 0;
  while (nDone < r.aData.size()) {
    const std::size_t nWant = r.aData.size() - nDone;
    const ::DWORD nAsk = nWant > 0x40000000u ? 0x40000000u : static_cast<::DWORD>(nWant);
    ::DWORD nGot = 0;
    if (::ReadFile(h, r.aData.data() + nDone, nAsk, &nGot, nullptr) == 0) {
      r.strError = SystemErrorText(::GetLastError());
      r.aData.clear();
      ::CloseHandle(h);
      return r;
    }
    if (nGot == 0) {
      break;  // the file shrank while it was read
    }
    nDone += nGot;
  }
  r.aData.resize(nDone);
  ::CloseHandle(h);
  r.bOk = true;
  return r;
}

struct CSingleInstanceLock::CImpl {
  HANDLE hMutex = nullptr;
  std::string strError;
};

namespace {

// Creates the lock's mutex: the handle (non-null) holds the lock; else null with eResult telling
// why. A mutex another copy made first, or one made by another user, is another holder's.
HANDLE CreateLock(const std::string& strName, const std::string& strScope, ELock& eResult, std::string& strError) {
  const HANDLE h = ::CreateMutexA(nullptr, FALSE, LockAddress(strName, strScope).c_str());
  const ::DWORD nError = ::GetLastError();
  if (h == nullptr) {
    eResult = nError == ERROR_ACCESS_DENIED ? ELock::HeldElsewhere : ELock::Unavailable;
    if (eResult == ELock::Unavailable) strError = SystemErrorText(nError);
    return nullptr;
  }
  if (nError == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(h);
    eResult = ELock::HeldElsewhere;
    return nullptr;
  }
  eResult = ELock::Ok;
  return h;
}

}  // namespace

// Mutex names share one namespace per session and may not hold a backslash (it names a kernel
// namespace); a scope too long is named by its hash, as elsewhere.
std::string LockAddress(const std::string& strName, const std::string& strScope) {
  std::string s = ScopedLockAddress(strName, strScope, MAX_LOCK_ADDRESS);
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

CSingleInstanceLock::CSingleInstanceLock() : m_pImpl(std::make_unique<CImpl>()) {}

CSingleInstanceLock::~CSingleInstanceLock() {
  if (m_pImpl->hMutex != nullptr) {
    ::CloseHandle(m_pImpl->hMutex);
  }
}

ELock CSingleInstanceLock::Probe(const std::string& strName, const std::string& strScope, std::string* pstrError) {
  ELock eResult = ELock::Unavailable;
  std::string strError;
  const HANDLE h = CreateLock(strName, strScope, eResult, strError);
  if (h != nullptr) ::CloseHandle(h);
  if (pstrError != nullptr) *pstrError = strError;
  return eResult;
}

ELock CSingleInstanceLock::Acquire(const std::string& strName, const std::string& strScope) {
  ELock eResult = ELock::Unavailable;
  m_pImpl->strError.clear();
  const HANDLE h = CreateLock(strName, strScope, eResult, m_pImpl->strError);
  if (h != nullptr) {
    if (m_pImpl->hMutex != nullptr) ::CloseHandle(m_pImpl->hMutex);
    m_pImpl->hMutex = h;
  }
  return eResult;
}

const std::string& CSingleInstanceLock::Error() const { return m_pImpl->strError; }

UINT SystemAnsiCodePage() { return ::GetACP(); }

}  // namespace fw
