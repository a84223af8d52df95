// One device's memory as the instrument keeps it: a 32-bit address space held in pages that
// exist only where something was written, so a 16 MiB upload costs 16 MiB and no more. Bytes
// never written read as FF, as erased flash does.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>

namespace velda {

class CSparseMemory {
 public:
  static constexpr std::uint32_t kPageSize = 4096;
  static constexpr std::uint8_t kErased = 0xFF;

  // Writes n bytes from nAddress on; bytes that would lie beyond FFFFFFFF are dropped.
  void Write(std::uint32_t nAddress, const std::uint8_t* p, std::size_t n);
  void WriteByte(std::uint32_t nAddress, std::uint8_t b) { Write(nAddress, &b, 1); }

  std::uint8_t Read(std::uint32_t nAddress) const;
  // Reads n bytes from nAddress on into pOut; FF where never written or beyond FFFFFFFF.
  void Read(std::uint32_t nAddress, std::uint8_t* pOut, std::size_t n) const;

  bool IsWritten(std::uint32_t nAddress) const;
  // True when every byte of nAddress .. nAddress + n - 1 was written (and lies below 2^32).
  bool AllWritten(std::uint32_t nAddress, std::uint64_t n) const;
  // Arithmetic sum of the bytes as read (erased bytes count FF), kept in 64 bits.
  std::uint64_t Sum(std::uint32_t nAddress, std::uint64_t n) const;

  std::uint64_t WrittenCount() const;
  // About the heap this memory holds: its pages with their map nodes (a benchmark tells the
  // instrument's memory from the installer's by it).
  std::uint64_t HeldBytes() const;
  bool IsEmpty() const { return m_aPages.empty(); }
  void Clear() { m_aPages.clear(); }

  // Writes every written byte of other into this memory.
  void Merge(const CSparseMemory& other);

  // Calls fn(address, bytes, count) for each run of written bytes, in address order. A run that
  // crosses a page boundary comes in two calls.
  void ForEachRun(const std::function<void(std::uint32_t, const std::uint8_t*, std::size_t)>& fn) const;

 private:
  struct CPage {
    std::array<std::uint8_t, kPageSize> aData{};
    std::bitset<kPageSize> aWritten;
    std::uint32_t nWritten = 0;
  };
  const CPage* FindPage(std::uint32_t nAddress) const;

  std::map<std::uint32_t, CPage> m_aPages;  // by page number (address / kPageSize)
};

}  // namespace velda
