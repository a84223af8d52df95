// Posting from other threads, on the real clock: in order, without allocating or waiting, and
// refused only when the queue of such posts is full.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "fw/device_thread.h"
#include "fw/msgloop.h"
#include "fw/trace.h"
#include "fw/wnd.h"
#include "support/recording_wnd.h"

// Every allocation of this program is counted for the thread that makes it.
namespace {
thread_local std::size_t t_nAllocations = 0;
}  // namespace

void* operator new(std::size_t n) {
  ++t_nAllocations;
  if (void* p = std::malloc(n != 0 ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using velda::test::CRecordingWnd;

class CNoteSink : public velda::CTraceSink {
 public:
  void OnTraceLine(char cDir, const std::string& strPayload) override {
    if (cDir == '#') m_aNotes.push_back(strPayload);
  }
  std::vector<std::string> m_aNotes;
};

TEST(MsgLoopThreads, PostsFromAnotherThreadKeepTheirOrder) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  loop.MakeCurrent();
  CRecordingWnd wnd;
  ASSERT_TRUE(wnd.CreateFromTemplate(fw::CDialogTemplate{}));
  constexpr fw::UINT kCount = 20000;
  std::thread producer([&] {
    for (fw::UINT i = 0; i < kCount; ++i) {
      // A producer faster than the loop fills the queue: a refused post is tried again.
      while (!loop.Post(wnd.GetSafeHwnd(), fw::WM_COMMAND, i, 0)) std::this_thread::yield();
    }
  });
  EXPECT_TRUE(loop.RunModal([&] { return wnd.m_aCommands.size() == kCount; }));
  producer.join();
  for (fw::UINT i = 0; i < kCount; ++i) ASSERT_EQ(wnd.m_aCommands[i], i);
}

TEST(MsgLoopThreads, DeviceThreadRunsEventsInTimeOrder) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  loop.MakeCurrent();
  CRecordingWnd wnd;
  ASSERT_TRUE(wnd.CreateFromTemplate(fw::CDialogTemplate{}));
  fw::CDeviceThread dev;
  const fw::HWND h = wnd.GetSafeHwnd();
  dev.ScheduleAfter(30, [&] { loop.Post(h, fw::WM_COMMAND, 3, 0); });
  dev.ScheduleAfter(10, [&] { loop.Post(h, fw::WM_COMMAND, 1, 0); });
  dev.ScheduleAfter(20, [&] { loop.Post(h, fw::WM_COMMAND, 2, 0); });
  EXPECT_TRUE(loop.RunModal([&] { return wnd.m_aCommands.size() == 3; }));
  EXPECT_EQ(wnd.m_aCommands, (std::vector<fw::UINT>{1, 2, 3}));
}

TEST(MsgLoopThreads, TheLoopsOwnPostsAndForeignOnesRunInTheOrderPosted) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  loop.MakeCurrent();
  CRecordingWnd wnd;
  ASSERT_TRUE(wnd.CreateFromTemplate(fw::CDialogTemplate{}));
  const fw::HWND h = wnd.GetSafeHwnd();
  for (fw::UINT i = 0; i < 300; i += 3) {
    loop.Post(h, fw::WM_COMMAND, i, 0);
    std::thread([&] { loop.Post(h, fw::WM_COMMAND, i + 1, 0); }).join();
    loop.Post(h, fw::WM_COMMAND, i + 2, 0);
  }
  EXPECT_TRUE(loop.RunModal([&] { return wnd.m_aCommands.size() == 300; }));
  for (fw::UINT i = 0; i < 300; ++i) ASSERT_EQ(wnd.m_aCommands[i], i);
}

TEST(MsgLoopThreads, APostFromAnotherThreadNeitherAllocatesNorWaits) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  loop.MakeCurrent();
  CRecordingWnd wnd;
  ASSERT_TRUE(wnd.CreateFromTemplate(fw::CDialogTemplate{}));
  constexpr fw::UINT kCount = 3000;
  std::atomic<std::size_t> nAllocations{1};
  std::thread driver([&] {
    const std::size_t nBefore = t_nAllocations;
    for (fw::UINT i = 0; i < kCount; ++i) {
      while (!loop.Post(wnd.GetSafeHwnd(), fw::WM_COMMAND, i, 0)) std::this_thread::yield();
    }
    nAllocations.store(t_nAllocations - nBefore);
  });
  EXPECT_TRUE(loop.RunModal([&] { return wnd.m_aCommands.size() == kCount; }));
  driver.join();
  EXPECT_EQ(nAllocations.load(), 0u);
  for (fw::UINT i = 0; i < kCount; ++i) ASSERT_EQ(wnd.m_aCommands[i], i);
}

TEST(MsgLoopThreads, AFullQueueRefusesForeignPostsKeepsWhatItHoldsAndTakesTheLoopsOwn) {
  CNoteSink sink;
  velda::SetTraceSink(&sink);
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  loop.MakeCurrent();
  CRecordingWnd wnd;
  ASSERT_TRUE(wnd.CreateFromTemplate(fw::CDialogTemplate{}));
  const fw::HWND h = wnd.GetSafeHwnd();
  constexpr auto kLimit = static_cast<fw::UINT>(fw::CMsgLoop::kForeignPostLimit);
  // The loop is busy elsewhere while the driver posts: the limit is taken, the rest refused.
  auto Flood = [&](fw::UINT nFirst, fw::UINT nCount) {
    std::vector<int> aResults;
    std::thread driver([&] {
      for (fw::UINT i = 0; i < nCount; ++i) aResults.push_back(loop.Post(h, fw::WM_COMMAND, nFirst + i, 0));
    });
    driver.join();
    return aResults;
  };
  std::vector<int> aResults = Flood(0, kLimit + 2);
  EXPECT_EQ(std::count(aResults.begin(), aResults.begin() + kLimit, 1), kLimit);
  EXPECT_EQ(aResults[kLimit], 0);
  EXPECT_EQ(aResults[kLimit + 1], 0);
  EXPECT_EQ(loop.RefusedPosts(), 2u);
  // The loop's own posts still go in, after everything waiting.
  EXPECT_TRUE(loop.Post(h, fw::WM_COMMAND, 99999, 0));
  EXPECT_TRUE(loop.RunModal([&] { return wnd.m_aCommands.size() == kLimit + 1; }));
  for (fw::UINT i = 0; i < kLimit; ++i) ASSERT_EQ(wnd.m_aCommands[i], i);
  EXPECT_EQ(wnd.m_aCommands.back(), 99999u);
  velda::FlushTraceNotes();
  EXPECT_EQ(sink.m_aNotes,
            std::vector<std::string>{"The installer's message queue is full: a message from another thread was lost"});

  // Emptied, it takes foreign posts again, and a new run of refusals is noted again.
  wnd.m_aCommands.clear();
  aResults = Flood(0, kLimit + 1);
  EXPECT_EQ(aResults.back(), 0);
  EXPECT_EQ(loop.RefusedPosts(), 3u);
  EXPECT_TRUE(loop.RunModal([&] { return wnd.m_aCommands.size() == kLimit; }));
  velda::FlushTraceNotes();
  EXPECT_EQ(sink.m_aNotes.size(), 2u);
  velda::SetTraceSink(nullptr);
}

}  // namespace
