// Notes the driver's thread leaves for the trace: only the address of a constant text is queued,
// in a fixed lock-free ring, so that the input callback neither allocates nor waits; the lines are
// formatted and written on the installer's thread, at its next trace call or FlushTraceNotes.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace velda {

class CNoteQueue {
 public:
  static constexpr std::size_t kCells = 256;

  CNoteQueue();
  // Any thread. False when the ring is full: the note is lost.
  bool Push(const char* pszText);
  // The oldest note, nullptr when none.
  const char* Pop();

 private:
  struct CCell {
    std::atomic<std::size_t> nSeq{0};
    const char* pszText = nullptr;
  };
  std::array<CCell, kCells> m_aCells;
  std::atomic<std::size_t> m_nPush{0};
  std::atomic<std::size_t> m_nPop{0};
};

}  // namespace velda
