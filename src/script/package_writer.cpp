#include "script/package_writer.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "script/package_check.h"

namespace velda {

namespace {

constexpr std::uint64_t MAX_FIELD = 0xFFFFFFFFu;

std::string Num(std::uint64_t n) { return std::to_string(n); }

CPackageWrite Fault(EPackageWriteFault eFault, std::string strError) {
  CPackageWrite r;
  r.eFault = eFault;
  r.strError = std::move(strError);
  return r;
}

CPackageWrite CheckScript(std::string_view strScript) {
  const std::size_t nNul = strScript.find('\0');
  if (nNul != std::string_view::npos) {
    return Fault(EPackageWriteFault::NulInScript,
                 "the script holds a NUL character at byte " + Num(nNul) + ", which the installer refuses");
  }
  if (strScript.size() > MAX_FIELD) {
    return Fault(EPackageWriteFault::ScriptTooLong,
                 "the script has " + Num(strScript.size()) + " bytes, more than a 32-bit length holds");
  }
  return {};
}

CPackageWrite CheckEntry(std::string_view strName, std::uint64_t nSize) {
  if (strName.size() > MAX_FIELD) {
    return Fault(EPackageWriteFault::NameTooLong,
                 "an entry's name has " + Num(strName.size()) + " bytes, more than a 32-bit length holds");
  }
  if (nSize > MAX_FIELD) {
    return Fault(EPackageWriteFault::DataTooLong, "entry " + std::string(strName) + " has " + Num(nSize) +
                                                      " bytes of data, more than a 32-bit length holds");
  }
  return {};
}

CPackageWrite CheckTotal(std::uint64_t nTotal) {
  if (nTotal > MAX_PACKAGE_SIZE) {
    return Fault(EPackageWriteFault::TooLarge, "the package would hold " + Num(nTotal) + " bytes, more than the " +
                                                   Num(MAX_PACKAGE_SIZE) + " the installer can read");
  }
  return {};
}

void AppendU32(std::vector<fw::BYTE>& a, std::uint64_t n) {
  for (int nShift = 24; nShift >= 0; nShift -= 8) a.push_back(static_cast<fw::BYTE>(n >> nShift));
}

void AppendInverted(std::vector<fw::BYTE>& a, std::string_view str) {
  for (const char c : str) a.push_back(static_cast<fw::BYTE>(~static_cast<fw::BYTE>(c)));
}

}  // namespace

CPackageWrite BuildPackage(std::string_view strScript, std::span<const CPackageEntry> aEntries,
                           std::vector<fw::BYTE>& aOut) {
  aOut.clear();
  CPackageWrite r = CheckScript(strScript);
  std::uint64_t nTotal = 4 + std::uint64_t{strScript.size()};
  for (const CPackageEntry& e : aEntries) {
    if (!r.IsOk()) break;
    r = CheckEntry(e.strName, e.aData.size());
    nTotal += 8 + std::uint64_t{e.strName.size()} + e.aData.size();
  }
  if (r.IsOk()) r = CheckTotal(nTotal);
  if (!r.IsOk()) return r;

  aOut.reserve(static_cast<std::size_t>(nTotal));
  AppendU32(aOut, strScript.size());
  AppendInverted(aOut, strScript);
  for (const CPackageEntry& e : aEntries) {
    AppendU32(aOut, e.strName.size());
    AppendInverted(aOut, e.strName);
    AppendU32(aOut, e.aData.size());
    aOut.insert(aOut.end(), e.aData.begin(), e.aData.end());
  }
  return r;
}

CPackageFileWriter::CPackageFileWriter(std::string strPath, std::string_view strScript)
    : m_strPath(std::move(strPath)), m_strTemp(m_strPath + ".part") {
  const CPackageWrite check = CheckScript(strScript);
  if (!Fail(check.eFault, check.strError)) return;
  m_pFile = std::fopen(m_strTemp.c_str(), "wb");
  if (m_pFile == nullptr) {
    Fail(EPackageWriteFault::CannotWrite, "cannot create " + m_strTemp);
    return;
  }
  PutU32(static_cast<std::uint32_t>(strScript.size()));
  PutInverted(strScript);
}

CPackageFileWriter::~CPackageFileWriter() {
  if (m_pFile != nullptr) std::fclose(m_pFile);
  if (!m_bCommitted) {
    std::error_code ec;
    std::filesystem::remove(m_strTemp, ec);
  }
}

// Records the first fault; true while the write is sound (eFault None leaves it as it is).
bool CPackageFileWriter::Fail(EPackageWriteFault eFault, std::string strError) {
  if (eFault != EPackageWriteFault::None && m_status.IsOk()) {
    m_status = Fault(eFault, std::move(strError));
  }
  return m_status.IsOk();
}

bool CPackageFileWriter::FinishEntry() {
  if (m_nEntryLeft == 0) return m_status.IsOk();
  return Fail(EPackageWriteFault::WrongSize,
              "entry " + m_strEntry + " lacks " + Num(m_nEntryLeft) + " of the bytes announced for it");
}

void CPackageFileWriter::BeginEntry(std::string_view strName, std::uint64_t nSize) {
  if (!FinishEntry()) return;
  const CPackageWrite check = CheckEntry(strName, nSize);
  if (!Fail(check.eFault, check.strError)) return;
  const CPackageWrite total = CheckTotal(m_nTotal + 8 + strName.size() + nSize);
  if (!Fail(total.eFault, total.strError)) return;
  m_strEntry = std::string(strName);
  PutU32(static_cast<std::uint32_t>(strName.size()));
  PutInverted(strName);
  PutU32(static_cast<std::uint32_t>(nSize));
  m_nEntryLeft = nSize;
}

void CPackageFileWriter::AppendData(std::span<const fw::BYTE> aData) {
  if (!m_status.IsOk()) return;
  if (aData.size() > m_nEntryLeft) {
    Fail(EPackageWriteFault::WrongSize, "entry " + m_strEntry + " got more bytes than announced for it");
    return;
  }
  Put(aData.data(), aData.size());
  m_nEntryLeft -= aData.size();
}

void CPackageFileWriter::AddEntry(std::string_view strName, std::span<const fw::BYTE> aData) {
  BeginEntry(strName, aData.size());
  AppendData(aData);
}

CPackageWrite CPackageFileWriter::Commit() {
  FinishEntry();
  if (m_pFile != nullptr) {
    const bool bWritten = std::fflush(m_pFile) == 0 && std::ferror(m_pFile) == 0;
    const bool bClosed = std::fclose(m_pFile) == 0;
    m_pFile = nullptr;
    if (!bWritten || !bClosed) Fail(EPackageWriteFault::CannotWrite, "cannot write " + m_strTemp);
  }
  if (m_status.IsOk() && !m_bCommitted) {
    std::error_code ec;
    std::filesystem::rename(m_strTemp, m_strPath, ec);
    if (ec) {
      Fail(EPackageWriteFault::CannotWrite, "cannot rename " + m_strTemp + " to " + m_strPath + ": " + ec.message());
    } else {
      m_bCommitted = true;
    }
  }
  return m_status;
}

void CPackageFileWriter::Put(const void* p, std::size_t n) {
  if (!m_status.IsOk() || m_pFile == nullptr || n == 0) return;
  if (std::fwrite(p, 1, n, m_pFile) != n) {
    Fail(EPackageWriteFault::CannotWrite, "cannot write " + m_strTemp);
    return;
  }
  m_nTotal += n;
}

void CPackageFileWriter::PutU32(std::uint32_t n) {
  const fw::BYTE a[4] = {static_cast<fw::BYTE>(n >> 24), static_cast<fw::BYTE>(n >> 16), static_cast<fw::BYTE>(n >> 8),
                         static_cast<fw::BYTE>(n)};
  Put(a, sizeof a);
}

void CPackageFileWriter::PutInverted(std::string_view str) {
  fw::BYTE aChunk[256];
  while (!str.empty()) {
    const std::size_t n = std::min(str.size(), sizeof aChunk);
    std::transform(str.begin(), str.begin() + static_cast<std::ptrdiff_t>(n), aChunk,
                   [](char c) { return static_cast<fw::BYTE>(~static_cast<fw::BYTE>(c)); });
    Put(aChunk, n);
    str.remove_prefix(n);
  }
}

CPackageWrite WritePackageFile(const std::string& strPath, std::string_view strScript,
                               std::span<const CPackageEntry> aEntries) {
  CPackageFileWriter writer(strPath, strScript);
  for (const CPackageEntry& e : aEntries) writer.AddEntry(e.strName, e.aData);
  return writer.Commit();
}

}  // namespace velda
