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
#include <sstream>
#include <string>
#include <vector>

#include "instrument/instrument_memory.h"

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

void PutU32(Bytes& out, std::uint32_t n) {
  for (int nShift = 24; nShift >= 0; nShift -= 8) out.push_back(static_cast<std::uint8_t>(n >> nShift));
}

std::uint32_t GetU32(const Bytes& a, std::size_t nPos) {
  return (std::uint32_t{a[nPos]} << 24) | (std::uint32_t{a[nPos + 1]} << 16) | (std::uint32_t{a[nPos + 2]} << 8) |
         std::uint32_t{a[nPos + 3]};
}

// The package layout: script length, the script inverted, then per entry: name length, the name
// inverted, data length, the data.
Bytes BuildPackage(const std::string& strScript, const std::vector<CEntry>& aEntries) {
  Bytes out;
  PutU32(out, static_cast<std::uint32_t>(strScript.size()));
  for (const char c : strScript) out.push_back(static_cast<std::uint8_t>(~static_cast<unsigned char>(c)));
  for (const CEntry& e : aEntries) {
    PutU32(out, static_cast<std::uint32_t>(e.strName.size()));
    for (const char c : e.strName) out.push_back(static_cast<std::uint8_t>(~static_cast<unsigned char>(c)));
    PutU32(out, static_cast<std::uint32_t>(e.aData.size()));
    out.insert(out.end(), e.aData.begin(), e.aData.end());
  }
  return out;
}

bool Fail(std::string& strError, const std::string& strWhy) {
  strError = strWhy;
  return false;
}

bool ReadPackageEntries(const Bytes& a, std::map<std::string, Bytes>& entries, std::string& strError) {
  if (a.size() < 4) return Fail(strError, "shorter than its script length");
  std::size_t nPos = 4 + static_cast<std::size_t>(GetU32(a, 0));
  while (nPos < a.size()) {
    if (nPos + 4 > a.size()) return Fail(strError, "an entry's name length passes the end");
    const std::size_t nName = GetU32(a, nPos);
    nPos += 4;
    if (nPos + nName + 4 > a.size()) return Fail(strError, "an entry's name passes the end");
    std::string strName;
    for (std::size_t i = 0; i < nName; ++i) strName += static_cast<char>(~a[nPos + i]);
    nPos += nName;
    const std::size_t nData = GetU32(a, nPos);
    nPos += 4;
    if (nPos + nData > a.size()) return Fail(strError, "the data of " + strName + " passes the end");
    entries.emplace(Lower(strName), Bytes(a.begin() + static_cast<std::ptrdiff_t>(nPos),
                                          a.begin() + static_cast<std::ptrdiff_t>(nPos + nData)));
    nPos += nData;
  }
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
  const Bytes aPackage = BuildPackage(strCrLf, aEntries);
  std::ofstream out(strPackage, std::ios::binary);
  out.write(reinterpret_cast<const char*>(aPackage.data()), static_cast<std::streamsize>(aPackage.size()));
  if (!out) {
    std::fprintf(stderr, "velda-sample: cannot write %s\n", strPackage.c_str());
    return 1;
  }
  std::size_t nData = 0;
  for (const CEntry& e : aEntries) nData += e.aData.size();
  std::printf("%s: a script of %zu bytes and %zu entries with %zu bytes of data\n", strPackage.c_str(), strCrLf.size(),
              aEntries.size(), nData);
  return 0;
}

int Check(const std::string& strDir, const std::string& strPackage, const std::string& strDump) {
  std::string strText;
  if (!ReadFile(strPackage, strText)) {
    std::fprintf(stderr, "velda-sample: cannot read %s\n", strPackage.c_str());
    return 2;
  }
  std::map<std::string, Bytes> entries;
  std::string strError;
  if (!ReadPackageEntries(Bytes(strText.begin(), strText.end()), entries, strError)) {
    std::fprintf(stderr, "velda-sample: %s: %s\n", strPackage.c_str(), strError.c_str());
    return 2;
  }
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
    const auto it = entries.find(Lower(p.strEntry));
    if (!in || it == entries.end() || std::uint64_t{p.nOffset} + p.nLength > it->second.size() ||
        p.nDevice > velda::kMaxDeviceNumber) {
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
      for (std::size_t i = 0; i < aGot.size(); ++i) nDiffer += aGot[i] != it->second[p.nOffset + i] ? 1 : 0;
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
