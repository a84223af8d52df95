#include "support/bench_package.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "script/package_writer.h"

namespace velda::bench {

namespace {

std::string Hex(std::uint32_t v) {
  char sz[16];
  std::snprintf(sz, sizeof(sz), "%X", v);
  return sz;
}

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
  CPackageFileWriter writer(strPath, BenchScript(plan));
  writer.BeginEntry(plan.strEntryName, plan.nEntrySize);
  // The data in chunks: the benchmark itself holds no copy of the entry.
  std::vector<std::uint8_t> aChunk(1u << 16);
  for (std::uint64_t nDone = 0; writer.Status().IsOk() && nDone < plan.nEntrySize;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(aChunk.size(), plan.nEntrySize - nDone));
    for (std::size_t i = 0; i < n; ++i) aChunk[i] = EntryByte(nDone + i);
    writer.AppendData({aChunk.data(), n});
    nDone += n;
  }
  const CPackageWrite r = writer.Commit();
  strError = r.strError;
  return r.IsOk();
}

}  // namespace velda::bench
