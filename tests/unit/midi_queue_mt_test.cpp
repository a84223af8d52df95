// The input queue between two real threads: the driver's callback thread writes, the
// installer's thread reads, with no lock. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fw/trace.h"
#include "midi/midi_in_port.h"

namespace velda::test {
namespace {

constexpr std::uint64_t kBytes = 4'000'000;

BYTE Pattern(std::uint64_t i) { return static_cast<BYTE>(i % 251); }

class CNoteCounter : public CTraceSink {
 public:
  void OnTraceLine(char cDir, const std::string& strPayload) override {
    if (cDir == '#' && strPayload == TXT_MIDI_IN_OVERRUN) m_nOverruns.fetch_add(1);
  }
  std::atomic<int> m_nOverruns{0};
};

TEST(MidiQueueThreads, MillionsOfBytesPassInOrderFromOneThreadToTheOther) {
  CMidiInPort port;
  port.ResizeQueue(static_cast<int>(MIDI_IN_QUEUE_SIZE));  // no device: only the queue changes
  ASSERT_EQ(port.QueueSize(), MIDI_IN_QUEUE_SIZE);
  CNoteCounter notes;
  SetTraceSink(&notes);

  std::thread producer([&] {
    for (std::uint64_t i = 0; i < kBytes; ++i) {
      // Only this thread adds bytes, so room seen here stays room.
      while (port.Unread() >= MIDI_IN_QUEUE_SIZE - 1) std::this_thread::yield();
      port.PutByte(Pattern(i));
    }
  });
  std::uint64_t nRead = 0;
  std::uint64_t nWrong = 0;
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (nRead < kBytes && std::chrono::steady_clock::now() < tEnd) {
    int n = -1;
    if (!port.GetByte(n)) {
      std::this_thread::yield();
      continue;
    }
    nWrong += n != Pattern(nRead) ? 1 : 0;
    ++nRead;
  }
  producer.join();
  SetTraceSink(nullptr);
  EXPECT_EQ(nRead, kBytes);
  EXPECT_EQ(nWrong, 0u);
  FlushTraceNotes();
  EXPECT_EQ(notes.m_nOverruns.load(), 0);
  int n = -1;
  EXPECT_FALSE(port.GetByte(n));
}

// A writer that does not wait: bytes that find the queue full are dropped and reported, and
// what the reader gets is still the writer's bytes in their order (a gap only where bytes were
// dropped). The reader is held back until the writer has filled the queue and gone on past it,
// so an overrun always happens and the checks below always test something.
TEST(MidiQueueThreads, AWriterThatOverrunsLosesOnlyTheBytesThatFoundTheQueueFull) {
  CMidiInPort port;
  port.ResizeQueue(4096);
  const std::uint64_t nRoom = port.QueueSize() - 1;  // one slot tells full from empty
  const std::uint64_t nHeldBack = nRoom + 1000;      // written before the reader may start
  CNoteCounter notes;
  SetTraceSink(&notes);
  std::atomic<bool> bFilled{false};
  std::atomic<bool> bDone{false};
  constexpr std::uint64_t kCount = 1'000'000;
  std::thread producer([&] {
    for (std::uint64_t i = 0; i < kCount; ++i) {
      port.PutByte(static_cast<BYTE>(i & 0xFF));
      if (i + 1 == nHeldBack) {
        // Then waits for the reader to make room, so that a kept byte follows the lost ones.
        bFilled.store(true);
        while (port.Unread() >= nRoom) std::this_thread::yield();
      }
    }
    bDone.store(true);
  });
  while (!bFilled.load()) std::this_thread::yield();
  // The queue holds exactly the first bytes that found room; the next 1000 (not a multiple of the
  // byte pattern's 256) found it full.
  EXPECT_EQ(port.Unread(), nRoom);
  FlushTraceNotes();
  EXPECT_EQ(notes.m_nOverruns.load(), 1);

  std::uint64_t nRead = 0;
  int nLast = -1;
  std::uint64_t nGaps = 0;
  std::uint64_t nFirstGapAt = 0;
  for (;;) {
    FlushTraceNotes();  // as the installer's thread writes the driver's notes
    int n = -1;
    if (!port.GetByte(n)) {
      if (bDone.load() && !port.GetByte(n)) break;
      if (n < 0) {
        std::this_thread::yield();
        continue;
      }
    }
    if (nLast >= 0 && n != ((nLast + 1) & 0xFF)) {
      if (nGaps == 0) nFirstGapAt = nRead;
      ++nGaps;
    }
    nLast = n;
    ++nRead;
  }
  producer.join();
  SetTraceSink(nullptr);
  FlushTraceNotes();
  ASSERT_GE(notes.m_nOverruns.load(), 1);
  EXPECT_LE(nRead, kCount - 1000);
  // The bytes that were queued came out whole and in order before the first loss shows.
  EXPECT_GE(nGaps, 1u);
  EXPECT_EQ(nFirstGapAt, nRoom);
  // Each run of lost bytes is one report and at most one visible break in the count.
  EXPECT_LE(nGaps, static_cast<std::uint64_t>(notes.m_nOverruns.load()));
}

}  // namespace
}  // namespace velda::test
