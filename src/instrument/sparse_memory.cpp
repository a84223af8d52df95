#include "instrument/sparse_memory.h"

#include <algorithm>
#include <utility>

namespace velda {
namespace {

constexpr std::uint64_t kAddressSpace = 0x100000000ull;

std::uint32_t PageOf(std::uint64_t nAddress) { return static_cast<std::uint32_t>(nAddress / CSparseMemory::kPageSize); }
std::size_t OffsetInPage(std::uint64_t nAddress) {
  return static_cast<std::size_t>(nAddress % CSparseMemory::kPageSize);
}

}  // namespace

const CSparseMemory::CPage* CSparseMemory::FindPage(std::uint32_t nAddress) const {
  const auto it = m_aPages.find(PageOf(nAddress));
  return it == m_aPages.end() ? nullptr : &it->second;
}

void CSparseMemory::Write(std::uint32_t nAddress, const std::uint8_t* p, std::size_t n) {
  std::uint64_t nAt = nAddress;
  const std::uint64_t nEnd = std::min<std::uint64_t>(nAt + n, kAddressSpace);
  while (nAt < nEnd) {
    CPage& page = m_aPages[PageOf(nAt)];
    const std::size_t nOff = OffsetInPage(nAt);
    const std::size_t nChunk = static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize - nOff, nEnd - nAt));
    std::copy_n(p, nChunk, page.aData.begin() + static_cast<std::ptrdiff_t>(nOff));
    if (nChunk == kPageSize) {
      page.aWritten.set();
      page.nWritten = kPageSize;
    } else if (page.nWritten != kPageSize) {
      for (std::size_t i = nOff; i < nOff + nChunk; ++i) {
        if (!page.aWritten.test(i)) {
          page.aWritten.set(i);
          ++page.nWritten;
        }
      }
    }
    p += nChunk;
    nAt += nChunk;
  }
}

std::uint8_t CSparseMemory::Read(std::uint32_t nAddress) const {
  const CPage* pPage = FindPage(nAddress);
  const std::size_t nOff = OffsetInPage(nAddress);
  return (pPage != nullptr && pPage->aWritten.test(nOff)) ? pPage->aData[nOff] : kErased;
}

void CSparseMemory::Read(std::uint32_t nAddress, std::uint8_t* pOut, std::size_t n) const {
  std::uint64_t nAt = nAddress;
  const std::uint64_t nEnd = nAt + n;
  while (nAt < nEnd) {
    const std::size_t nOff = OffsetInPage(nAt);
    const std::size_t nChunk = static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize - nOff, nEnd - nAt));
    const CPage* pPage = nAt < kAddressSpace ? FindPage(static_cast<std::uint32_t>(nAt)) : nullptr;
    for (std::size_t i = 0; i < nChunk; ++i) {
      *pOut++ = (pPage != nullptr && pPage->aWritten.test(nOff + i)) ? pPage->aData[nOff + i] : kErased;
    }
    nAt += nChunk;
  }
}

bool CSparseMemory::IsWritten(std::uint32_t nAddress) const {
  const CPage* pPage = FindPage(nAddress);
  return pPage != nullptr && pPage->aWritten.test(OffsetInPage(nAddress));
}

bool CSparseMemory::AllWritten(std::uint32_t nAddress, std::uint64_t n) const {
  std::uint64_t nAt = nAddress;
  const std::uint64_t nEnd = nAt + n;
  if (nEnd > kAddressSpace) return false;
  while (nAt < nEnd) {
    const CPage* pPage = FindPage(static_cast<std::uint32_t>(nAt));
    if (pPage == nullptr) return false;
    const std::size_t nOff = OffsetInPage(nAt);
    const std::size_t nChunk = static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize - nOff, nEnd - nAt));
    if (pPage->nWritten != kPageSize) {
      for (std::size_t i = nOff; i < nOff + nChunk; ++i) {
        if (!pPage->aWritten.test(i)) return false;
      }
    }
    nAt += nChunk;
  }
  return true;
}

std::uint64_t CSparseMemory::Sum(std::uint32_t nAddress, std::uint64_t n) const {
  std::uint64_t nSum = 0;
  std::uint64_t nAt = nAddress;
  const std::uint64_t nEnd = nAt + n;
  while (nAt < nEnd) {
    const std::size_t nOff = OffsetInPage(nAt);
    const std::size_t nChunk = static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize - nOff, nEnd - nAt));
    const CPage* pPage = nAt < kAddressSpace ? FindPage(static_cast<std::uint32_t>(nAt)) : nullptr;
    if (pPage == nullptr) {
      nSum += std::uint64_t{kErased} * nChunk;
    } else if (pPage->nWritten == kPageSize) {
      for (std::size_t i = nOff; i < nOff + nChunk; ++i) nSum += pPage->aData[i];
    } else {
      for (std::size_t i = nOff; i < nOff + nChunk; ++i) {
        nSum += pPage->aWritten.test(i) ? pPage->aData[i] : kErased;
      }
    }
    nAt += nChunk;
  }
  return nSum;
}

std::uint64_t CSparseMemory::HeldBytes() const {
  // A map node: the page, its key, three links and a colour, and the allocator's chunk header.
  constexpr std::uint64_t kNode = sizeof(std::pair<const std::uint32_t, CPage>) + 4 * sizeof(void*) + 16;
  return m_aPages.size() * kNode;
}

std::uint64_t CSparseMemory::WrittenCount() const {
  std::uint64_t n = 0;
  for (const auto& [nPage, page] : m_aPages) n += page.nWritten;
  return n;
}

void CSparseMemory::Merge(const CSparseMemory& other) {
  other.ForEachRun([this](std::uint32_t nAddress, const std::uint8_t* p, std::size_t n) { Write(nAddress, p, n); });
}

void CSparseMemory::ForEachRun(const std::function<void(std::uint32_t, const std::uint8_t*, std::size_t)>& fn) const {
  for (const auto& [nPage, page] : m_aPages) {
    const std::uint32_t nBase = nPage * kPageSize;
    std::size_t i = 0;
    while (i < kPageSize) {
      if (!page.aWritten.test(i)) {
        ++i;
        continue;
      }
      const std::size_t nStart = i;
      while (i < kPageSize && page.aWritten.test(i)) ++i;
      fn(nBase + static_cast<std::uint32_t>(nStart), page.aData.data() + nStart, i - nStart);
    }
  }
}

}  // namespace velda
