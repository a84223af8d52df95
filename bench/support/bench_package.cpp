#include "support/bench_package.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace velda::bench {

namespace {

void PutU32(std::vector<std::uint8_t>& a, std::uint32_t v) {
  a.push_back(static_cast<std::uint8_t>(v >> 24));
  a.push_back(static_cast<std::uint8_t>(v >> 16));
  a.push_back(static_cast<std::uint8_t>(v >> 8));
  a.push_back(static_cast<std::uint8_t>(v));
}

void PutInverted(std::vector<std::uint8_t>& a, const std::string& str) {
  for (char c : str) a.push_back(static_cast<std::uint8_t>(~static_cast<std::uint8_t>(c)));
}

std::string Hex(std::uint32_t v) {
  char sz[16];
  std::snprintf(sz, sizeof(sz), "%X", v);
  return sz;
}

struct CFileCloser {
  void operator()(std::FILE* p) const { std::fclose(p); }
};

}  // namespace

std::uint8_t EntryByte(std::uint64_t nIndex) {
  return static_cast<std::uint8_t>((nIndex * 131u + (nIndex >> 8) * 7u + (nIndex >> 16)) & 0xFFu);
}

std::string BenchScript(const CBenchPlan& plan) {
  std::string str;
  str += "SET_UPDATE_MODE_ON\r\n";
  str += "SET_UPDATE_DEVICE," + Hex(plan.nDevice) + ",main\r\n";
  str += "OPEN_DATA_FILE,0," + plan.strEntryName + "\r\n";
  str += "UPDATE_DEVICE," + Hex(plan.nAddress) + "," + Hex(plan.nBlockSize) + ",0\r\n";
  str += "SET_UPDATE_MODE_OFF\r\n";
  return str;
}

bool WriteBenchPackage(const std::string& strPath, const CBenchPlan& plan, std::string& strError) {
  std::unique_ptr<std::FILE, CFileCloser> pFile(std::fopen(strPath.c_str(), "wb"));
  if (pFile == nullptr) {
    strError = "cannot create " + strPath;
    return false;
  }
  const std::string strScript = BenchScript(plan);
  std::vector<std::uint8_t> a;
  PutU32(a, static_cast<std::uint32_t>(strScript.size()));
  PutInverted(a, strScript);
  PutU32(a, static_cast<std::uint32_t>(plan.strEntryName.size()));
  PutInverted(a, plan.strEntryName);
  PutU32(a, plan.nEntrySize);
  bool bOk = std::fwrite(a.data(), 1, a.size(), pFile.get()) == a.size();

  // The data in chunks: the benchmark itself holds no copy of the entry.
  std::vector<std::uint8_t> aChunk(1u << 16);
  for (std::uint64_t nDone = 0; bOk && nDone < plan.nEntrySize;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(aChunk.size(), plan.nEntrySize - nDone));
    for (std::size_t i = 0; i < n; ++i) aChunk[i] = EntryByte(nDone + i);
    bOk = std::fwrite(aChunk.data(), 1, n, pFile.get()) == n;
    nDone += n;
  }
  bOk = std::fflush(pFile.get()) == 0 && bOk;
  if (!bOk) strError = "cannot write " + strPath;
  return bOk;
}

}  // namespace velda::bench
