// Kernel services of the framework layer: reading a whole file and the single-instance lock.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "fw/types.h"

namespace fw {

struct CFileResult {
  bool bOk = false;
  bool bOpened = false;  // the open succeeded (a failure then happened while reading)
  std::vector<BYTE> aData;
  std::string strError;  // the system's text for the failure
};

// Reads the whole file in one read. On failure the system's error text is returned.
CFileResult ReadWholeFile(const std::string& strPath);

// A lock that one process at a time may hold, by name, for the whole system: on Windows a named
// mutex, on Linux a unix socket bound in the abstract namespace, which the kernel releases when its
// process ends, however it ends. A scope (a folder, say) gives a lock of its own under the same
// name, so that runs in different scopes never meet.
enum class ELock {
  Ok,             // taken (Acquire), or free (Probe)
  HeldElsewhere,  // another holder has it
  Unavailable,    // no lock could be had at all (Error() tells why)
};

class CSingleInstanceLock {
 public:
  CSingleInstanceLock();
  ~CSingleInstanceLock();
  CSingleInstanceLock(const CSingleInstanceLock&) = delete;
  CSingleInstanceLock& operator=(const CSingleInstanceLock&) = delete;

  // Whether the lock could be taken now, without keeping it.
  static ELock Probe(const std::string& strName, const std::string& strScope = {}, std::string* pstrError = nullptr);
  // Takes the lock, kept until this object goes.
  ELock Acquire(const std::string& strName, const std::string& strScope = {});
  // The system's text for an Unavailable lock.
  const std::string& Error() const;

 private:
  struct CImpl;
  std::unique_ptr<CImpl> m_pImpl;
};

// The name under which the lock of strName in strScope is known to the system.
std::string LockAddress(const std::string& strName, const std::string& strScope);
// strName, or strName/strScope; when that is longer than nMaxLength, the scope is named by its
// hash: strName/#<16 hex digits>. Each platform's LockAddress gives its own limit.
std::string ScopedLockAddress(const std::string& strName, const std::string& strScope, std::size_t nMaxLength);

// The system's ANSI code page (Windows: GetACP; elsewhere the single-byte default, 1252).
UINT SystemAnsiCodePage();

}  // namespace fw
