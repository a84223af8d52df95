// velda-sample: builds the sample package from examples/sample and checks an instrument's memory
// dump against it.
//
//   velda-sample make SAMPLE-DIR PACKAGE        script.txt + entries.txt -> PACKAGE (velda.uxs)
//   velda-sample check SAMPLE-DIR PACKAGE DUMP  does DUMP (device-<n>.hex files) hold the package's
//                                               entries where layout.txt says, and nothing else?
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "fw/kernel.h"
#include "instrument/instrument_memory.h"
#include "script/package_check.h"
#include "script/package_reader.h"
#include "script/package_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct CEntry {
  std::string strName;
  Bytes aData;
};

struct CPlacement {
  unsigned nDevice = 0;
  std::uint32_t nAddress = 0;
  std::string strEntry;
  std::uint32_t nOffset = 0;
  std::uint32_t nLength = 0;
};

bool ReadFile(const std::string& strPath, std::string& strOut) {
  std::ifstream in(strPath, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  strOut = ss.str();
  return true;
}

// The lines of a text file that are neither empty nor comments ("#").
std::vector<std::string> DataLines(const std::string& strText) {
  std::vector<std::string> a;
  std::istringstream in(strText);
  for (std::string s; std::getline(in, s);) {
    if (!s.empty() && s.back() == '\r') s.pop_back();
    if (s.find_first_not_of(" \t") == std::string::npos || s[s.find_first_not_of(" \t")] == '#') continue;
    a.push_back(s);
  }
  return a;
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// Bytes that look like data rather than a pattern, the same for the same seed on every machine.
Bytes Generate(std::size_t n, std::uint32_t nSeed) {
  Bytes a(n);
  std::uint32_t x = 0x9E3779B9u ^ (nSeed * 0x85EBCA6Bu);
  for (std::uint8_t& b : a) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return a;
}

// The data of the entry named strLower (lower case) in the package image; false when it has none.
bool FindEntryData(std::span<const std::uint8_t> aImage, const std::string& strLower,
                   std::span<const std::uint8_t>& aData) {
  fw::UINT nPos = 0;
  fw::UINT nScriptLen = 0;
  velda::ReadBigEndianU32(aImage, nPos, nScriptLen);
  const velda::CEntryLookup found = velda::FindPackageEntry(aImage, nPos + nScriptLen, fw::CString(strLower));
  fw::UINT nDataPos = found.nPos;
  fw::UINT nSize = 0;
  if (!found.bFound || !velda::ReadBigEndianU32(aImage, nDataPos, nSize)) return false;
  aData = aImage.subspan(nDataPos, nSize);  // the package passed its check: the data lies inside
  return true;
}

int Make(const std::string& strDir, const std::string& strPackage) {
  std::string strScript;
  std::string strEntries;
  if (!ReadFile(strDir + "/script.txt", strScript) || !ReadFile(strDir + "/entries.txt", strEntries)) {
    std::fprintf(stderr, "velda-sample: cannot read %s/script.txt and entries.txt\n", strDir.c_str());
    return 1;
  }
  // The installer reads CR LF line ends.
  std::string strCrLf;
  for (const char c : strScript) {
    if (c == '\r') continue;
    if (c == '\n') strCrLf += '\r';
    strCrLf += c;
  }
  std::vector<CEntry> aEntries;
  for (const std::string& s : DataLines(strEntries)) {
    std::istringstream in(s);
    CEntry e;
    std::size_t nSize = 0;
    std::uint32_t nSeed = 0;
    if (!(in >> e.strName >> nSize >> nSeed)) {
      std::fprintf(stderr, "velda-sample: entries.txt: cannot read \"%s\"\n", s.c_str());
      return 1;
    }
    e.aData = Generate(nSize, nSeed);
    aEntries.push_back(std::move(e));
  }
  std::vector<velda::CPackageEntry> aParts;
  aParts.reserve(aEntries.size());
  for (const CEntry& e : aEntries) aParts.push_back({e.strName, e.aData});
  const velda::CPackageWrite written = velda::WritePackageFile(strPackage, strCrLf, aParts);
  if (!written.IsOk()) {
    std::fprintf(stderr, "velda-sample: %s: %s\n", strPackage.c_str(), written.strError.c_str());
    return 1;
  }
  std::size_t nData = 0;
  for (const CEntry& e : aEntries) nData += e.aData.size();
  std::printf("%s: a script of %zu bytes and %zu entries with %zu bytes of data\n", strPackage.c_str(), strCrLf.size(),
              aEntries.size(), nData);
  return 0;
}

int Check(const std::string& strDir, const std::string& strPackage, const std::string& strDump) {
  const fw::CFileResult file = fw::ReadWholeFile(strPackage);
  if (!file.bOk) {
    std::fprintf(stderr, "velda-sample: cannot read %s: %s\n", strPackage.c_str(), file.strError.c_str());
    return 2;
  }
  const velda::CPackageCheck check = velda::CheckPackage(file.aData);
  if (!check.IsSound()) {
    std::fprintf(stderr, "velda-sample: %s: %s\n", strPackage.c_str(), check.strDescription.c_str());
    return 2;
  }
  std::string strError;
  std::string strLayout;
  if (!ReadFile(strDir + "/layout.txt", strLayout)) {
    std::fprintf(stderr, "velda-sample: cannot read %s/layout.txt\n", strDir.c_str());
    return 2;
  }
  velda::CInstrumentMemory memory;
  if (!velda::LoadHexFolder(strDump, memory, strError)) {
    std::fprintf(stderr, "velda-sample: %s\n", strError.c_str());
    return 2;
  }
  bool bAllMatch = true;
  std::map<unsigned, std::uint64_t> aExpectedBytes;
  for (const std::string& s : DataLines(strLayout)) {
    std::istringstream in(s);
    CPlacement p;
    in >> p.nDevice >> std::hex >> p.nAddress >> p.strEntry >> p.nOffset >> p.nLength;
    std::span<const std::uint8_t> aEntry;
    if (!in || !FindEntryData(file.aData, Lower(p.strEntry), aEntry) ||
        std::uint64_t{p.nOffset} + p.nLength > aEntry.size() || p.nDevice > velda::kMaxDeviceNumber) {
      std::fprintf(stderr, "velda-sample: layout.txt: cannot use \"%s\"\n", s.c_str());
      return 2;
    }
    aExpectedBytes[p.nDevice] += p.nLength;
    Bytes aGot(p.nLength);
    const velda::CSparseMemory* pBank = memory.FindDevice(static_cast<std::uint8_t>(p.nDevice));
    std::size_t nDiffer = p.nLength;
    if (pBank != nullptr && pBank->AllWritten(p.nAddress, p.nLength)) {
      pBank->Read(p.nAddress, aGot.data(), aGot.size());
      nDiffer = 0;
      for (std::size_t i = 0; i < aGot.size(); ++i) nDiffer += aGot[i] != aEntry[p.nOffset + i] ? 1 : 0;
    }
    std::printf("  device %u, %08X..%08X: %-12s %s\n", p.nDevice, p.nAddress, p.nAddress + p.nLength - 1,
                p.strEntry.c_str(), nDiffer == 0 ? "matches" : "DIFFERS");
    bAllMatch = bAllMatch && nDiffer == 0;
  }
  for (const auto& [nDevice, bank] : memory.Devices()) {
    if (bank.WrittenCount() != aExpectedBytes[nDevice]) {
      std::printf("  device %u holds %llu bytes written where %llu were expected\n", unsigned{nDevice},
                  static_cast<unsigned long long>(bank.WrittenCount()),
                  static_cast<unsigned long long>(aExpectedBytes[nDevice]));
      bAllMatch = false;
    }
  }
  std::printf(bAllMatch ? "The instrument's memory matches the package.\n"
                        : "The instrument's memory does NOT match the package.\n");
  return bAllMatch ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() == 3 && a[0] == "make") return Make(a[1], a[2]);
  if (a.size() == 4 && a[0] == "check") return Check(a[1], a[2], a[3]);
  std::fputs(
      "usage: velda-sample make SAMPLE-DIR PACKAGE\n"
      "       velda-sample check SAMPLE-DIR PACKAGE DUMP-DIR\n",
      stderr);
  return 2;
}
