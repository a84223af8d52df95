// Kernel services on POSIX systems.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "fw/kernel.h"

namespace fw {

namespace {

// Binds a socket to the lock's abstract address: the socket (>= 0) holds the lock; else -1 with
// eResult telling why.
int BindLock(const std::string& strName, const std::string& strScope, ELock& eResult, std::string& strError) {
  const std::string strAddress = LockAddress(strName, strScope);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    eResult = ELock::Unavailable;
    strError = std::strerror(errno);
    return -1;
  }
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  // sun_path[0] stays 0: the abstract namespace, no file anywhere.
  std::memcpy(addr.sun_path + 1, strAddress.data(), strAddress.size());
  const auto nLen = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + strAddress.size());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), nLen) != 0) {
    const int nErr = errno;
    ::close(fd);
    eResult = nErr == EADDRINUSE ? ELock::HeldElsewhere : ELock::Unavailable;
    if (eResult == ELock::Unavailable) strError = std::strerror(nErr);
    return -1;
  }
  eResult = ELock::Ok;
  return fd;
}

}  // namespace

std::string LockAddress(const std::string& strName, const std::string& strScope) {
  // An abstract address holds at most 107 bytes.
  return ScopedLockAddress(strName, strScope, sizeof(sockaddr_un::sun_path) - 1);
}

CFileResult ReadWholeFile(const std::string& strPath) {
  CFileResult r;
  const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    r.strError = std::strerror(errno);
    return r;
  }
  r.bOpened = true;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    r.strError = std::strerror(errno);
    ::close(fd);
    return r;
  }
  if (S_ISDIR(st.st_mode)) {
    r.strError = std::strerror(EISDIR);
    ::close(fd);
    return r;
  }
  try {
    r.aData.resize(static_cast<std::size_t>(st.st_size));
  } catch (const std::bad_alloc&) {
    // A file larger than the memory left: a failure to report, not to throw across the layers.
    r.strError = std::string(std::strerror(ENOMEM)) + " for its " + std::to_string(st.st_size) + " bytes";
    ::close(fd);
    return r;
  }
  std::size_t nDone = 0;
  while (nDone < r.aData.size()) {
    const ssize_t n = ::read(fd, r.aData.data() + nDone, r.aData.size() - nDone);
    if (n < 0) {
      if (errno == EINTR) continue;
      r.strError = std::strerror(errno);
      r.aData.clear();
      ::close(fd);
      return r;
    }
    if (n == 0) {
      break;  // the file shrank while it was read
    }
    nDone += static_cast<std::size_t>(n);
  }
  r.aData.resize(nDone);
  ::close(fd);
  r.bOk = true;
  return r;
}

struct CSingleInstanceLock::CImpl {
  int fd = -1;
  std::string strError;
};

CSingleInstanceLock::CSingleInstanceLock() : m_pImpl(std::make_unique<CImpl>()) {}

CSingleInstanceLock::~CSingleInstanceLock() {
  if (m_pImpl->fd >= 0) {
    ::close(m_pImpl->fd);
  }
}

ELock CSingleInstanceLock::Probe(const std::string& strName, const std::string& strScope, std::string* pstrError) {
  ELock eResult = ELock::Unavailable;
  std::string strError;
  const int fd = BindLock(strName, strScope, eResult, strError);
  if (fd >= 0) ::close(fd);
  if (pstrError != nullptr) *pstrError = strError;
  return eResult;
}

ELock CSingleInstanceLock::Acquire(const std::string& strName, const std::string& strScope) {
  ELock eResult = ELock::Unavailable;
  m_pImpl->strError.clear();
  const int fd = BindLock(strName, strScope, eResult, m_pImpl->strError);
  if (fd >= 0) {
    if (m_pImpl->fd >= 0) ::close(m_pImpl->fd);
    m_pImpl->fd = fd;
  }
  return eResult;
}

const std::string& CSingleInstanceLock::Error() const { return m_pImpl->strError; }

UINT SystemAnsiCodePage() { return 1252; }

}  // namespace fw
