// Posting from other threads, on the real clock.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "fw/device_thread.h"
#include "fw/msgloop.h"
#include "fw/wnd.h"
#include "support/recording_wnd.h"

namespace {

using velda::test::CRecordingWnd;

TEST(MsgLoopThreads, PostsFromAnotherThreadKeepTheirOrder) {
  fw::CMsgLoop loop(fw::CMsgLoop::EClock::Real);
  loop.MakeCurrent();
  CRecordingWnd wnd;
  ASSERT_TRUE(wnd.CreateFromTemplate(fw::CDialogTemplate{}));
  constexpr fw::UINT kCount = 20000;
  std::thread producer([&] {
    for (fw::UINT i = 0; i < kCount; ++i) loop.Post(wnd.GetSafeHwnd(), fw::WM_COMMAND, i, 0);
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

}  // namespace
