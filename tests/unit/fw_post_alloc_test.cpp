// A driver's callback posts to the installer's window for every reply: the post must allocate
// nothing, however many replies come, while the installer thread takes them off the queue.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "fw/msgloop.h"
#include "fw/ring_queue.h"
#include "fw/wnd.h"
#include "support/recording_wnd.h"

namespace {

thread_local bool tl_bCounting = false;
std::atomic<int> g_nAllocations{0};

}  // namespace

// Every allocation of this program goes through here; those made while a thread counts are
// counted. (GCC takes the malloc under a replaced operator new for a mismatch once inlined.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t n) {
  if (tl_bCounting) ++g_nAllocations;
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using velda::test::CRecordingWnd;

TEST(MsgLoopPost, PostingFromADriverThreadAllocatesNothing) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  loop.MakeCurrent();
  CRecordingWnd wnd;
  ASSERT_TRUE(wnd.CreateFromTemplate(fw::CDialogTemplate{}));
  constexpr fw::UINT kCount = 20000;  // far more than the queue holds: it wraps many times
  wnd.m_aCommands.reserve(kCount);
  std::atomic<fw::UINT> nDispatched{0};
  loop.SetDispatchObserver([&](fw::HWND, fw::UINT, fw::WPARAM, fw::LPARAM) { ++nDispatched; });
  const fw::HWND h = wnd.GetSafeHwnd();
  std::thread driver([&] {
    for (fw::UINT i = 0; i < kCount; ++i) {
      // As replies come: never more than a few waiting.
      while (i - nDispatched.load() > 8 && !loop.IsAborted()) std::this_thread::yield();
      tl_bCounting = true;
      loop.Post(h, fw::WM_COMMAND, i, 0);
      tl_bCounting = false;
    }
  });
  EXPECT_TRUE(loop.RunModal([&] { return wnd.m_aCommands.size() == kCount; }));
  driver.join();
  EXPECT_EQ(g_nAllocations.load(), 0) << "allocations in " << kCount << " posts";
  for (fw::UINT i = 0; i < kCount; ++i) ASSERT_EQ(wnd.m_aCommands[i], i);
}

TEST(RingQueue, KeepsOrderThroughWrapsAndGrowth) {
  fw::CRingQueue<int> q(4);
  int nNext = 0;
  int nExpected = 0;
  for (int nRound = 0; nRound < 6; ++nRound) {
    for (int i = 0; i < 3; ++i) q.push_back(nNext++);  // wraps the 4 slots
    for (int i = 0; i < 2; ++i, q.pop_front()) ASSERT_EQ(q.front(), nExpected++);
  }
  EXPECT_EQ(q.capacity(), 8U);  // grew once, when a fifth waited
  while (!q.empty()) {
    ASSERT_EQ(q.front(), nExpected++);
    q.pop_front();
  }
  EXPECT_EQ(nExpected, nNext);
}

}  // namespace
