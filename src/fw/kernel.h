// Kernel services of the framework layer: reading a whole file and the single-instance lock.
#pragma once

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

// A lock that one process at a time may hold, by name: on Windows a named mutex, on Linux an
// advisory lock on a file of that name in $XDG_RUNTIME_DIR (else the temporary folder).
class CSingleInstanceLock {
 public:
  CSingleInstanceLock();
  ~CSingleInstanceLock();
  CSingleInstanceLock(const CSingleInstanceLock&) = delete;
  CSingleInstanceLock& operator=(const CSingleInstanceLock&) = delete;

  // TRUE when another holder of the name exists (the "open succeeds" case).
  static bool IsHeldElsewhere(const std::string& strName, const std::string& strFolder = {});
  // Takes the lock; FALSE when another holder has it. Kept until this object goes.
  bool Acquire(const std::string& strName, const std::string& strFolder = {});

 private:
  struct CImpl;
  std::unique_ptr<CImpl> m_pImpl;
};

// The folder the single-instance lock lives in on this platform.
std::string DefaultLockFolder();

}  // namespace fw
