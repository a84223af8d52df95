// Kernel services on POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "fw/kernel.h"

namespace fw {

namespace {

std::string LockPath(const std::string& strName, const std::string& strFolder) {
  const std::string strDir = strFolder.empty() ? DefaultLockFolder() : strFolder;
  return strDir + "/" + strName;
}

}  // namespace

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
};

CSingleInstanceLock::CSingleInstanceLock() : m_pImpl(std::make_unique<CImpl>()) {}

CSingleInstanceLock::~CSingleInstanceLock() {
  if (m_pImpl->fd >= 0) {
    ::close(m_pImpl->fd);
  }
}

bool CSingleInstanceLock::IsHeldElsewhere(const std::string& strName, const std::string& strFolder) {
  const int fd = ::open(LockPath(strName, strFolder).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;  // no such lock file: nobody holds it
  }
  const bool bHeld = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return bHeld;
}

bool CSingleInstanceLock::Acquire(const std::string& strName, const std::string& strFolder) {
  const int fd = ::open(LockPath(strName, strFolder).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    return true;  // no place for a lock: run unguarded rather than not at all
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  m_pImpl->fd = fd;
  return true;
}

std::string DefaultLockFolder() {
  if (const char* psz = std::getenv("XDG_RUNTIME_DIR"); psz != nullptr && *psz != '\0') {
    return psz;
  }
  if (const char* psz = std::getenv("TMPDIR"); psz != nullptr && *psz != '\0') {
    return psz;
  }
  return "/tmp";
}

}  // namespace fw
