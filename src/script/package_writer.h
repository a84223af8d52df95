// Writing a package: the script's length and bit-inverted text, then each named entry (its name's
// length and bit-inverted name, its data's length and data), lengths big-endian. Whatever the
// installer would refuse to read is refused here, before anything is written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fw/types.h"

namespace velda {

enum class EPackageWriteFault {
  None,
  NulInScript,    // the script holds a NUL: the installer refuses such a package
  ScriptTooLong,  // more bytes than a 32-bit length holds
  NameTooLong,
  DataTooLong,
  TooLarge,     // the whole package passes what 32-bit offsets reach
  WrongSize,    // an entry's data did not come to the size announced for it
  CannotWrite,  // the file could not be created, written or put in place
};

struct CPackageWrite {
  EPackageWriteFault eFault = EPackageWriteFault::None;
  std::string strError;  // for people: what is wrong; empty when written
  bool IsOk() const { return eFault == EPackageWriteFault::None; }
};

struct CPackageEntry {
  std::string strName;
  std::span<const fw::BYTE> aData;
};

// The whole package in memory; on a fault aOut is left empty.
CPackageWrite BuildPackage(std::string_view strScript, std::span<const CPackageEntry> aEntries,
                           std::vector<fw::BYTE>& aOut);

// Streams a package to a file. Everything goes to a temporary file beside the target, which takes
// the target's name only in Commit: a failed or abandoned write never leaves a half-written
// package under the target's name. The first fault sticks; later calls do nothing.
class CPackageFileWriter {
 public:
  CPackageFileWriter(std::string strPath, std::string_view strScript);
  ~CPackageFileWriter();  // removes the temporary file unless committed
  CPackageFileWriter(const CPackageFileWriter&) = delete;
  CPackageFileWriter& operator=(const CPackageFileWriter&) = delete;

  // Starts an entry of nSize data bytes; its data follows in AppendData calls.
  void BeginEntry(std::string_view strName, std::uint64_t nSize);
  void AppendData(std::span<const fw::BYTE> aData);
  void AddEntry(std::string_view strName, std::span<const fw::BYTE> aData);
  // Finishes the file and renames it to the target; the result of the whole write.
  CPackageWrite Commit();
  const CPackageWrite& Status() const { return m_status; }

 private:
  bool Fail(EPackageWriteFault eFault, std::string strError);
  bool FinishEntry();
  void Put(const void* p, std::size_t n);
  void PutU32(std::uint32_t n);
  void PutInverted(std::string_view str);

  std::string m_strPath;
  std::string m_strTemp;
  std::FILE* m_pFile = nullptr;
  CPackageWrite m_status;
  std::uint64_t m_nTotal = 0;
  std::uint64_t m_nEntryLeft = 0;
  std::string m_strEntry;
  bool m_bCommitted = false;
};

// Writes a package built of these parts to strPath through CPackageFileWriter.
CPackageWrite WritePackageFile(const std::string& strPath, std::string_view strScript,
                               std::span<const CPackageEntry> aEntries);

}  // namespace velda
