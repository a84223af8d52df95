// The virtual driver in real time: a device thread is the driver's thread, the test's thread is
// the installer's. Deliveries, the port's callback and its closing meet across the two threads.
// Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "fw/device_thread.h"
#include "midi/driver/virtual/instrument/hosted_instrument.h"
#include "midi/driver/virtual/virtual_midi_driver.h"
#include "midi/midi_ctrl.h"
#include "midi/midi_in_port.h"

namespace velda::test {
namespace {

BYTE Pattern(std::uint64_t i) { return static_cast<BYTE>(i % 251); }

// Owns the device thread and the driver in the order they must end: the thread stops first.
struct CRealTimeDriver {
  CRealTimeDriver() { SetMidiDriver(&driver); }
  ~CRealTimeDriver() {
    thread.Stop();
    SetMidiDriver(nullptr);
  }
  fw::CDeviceThread thread;
  CVirtualMidiDriver driver{thread};
};

TEST(MidiRealTime, BytesDeliveredOnTheDriversThreadReachTheReaderInOrder) {
  CRealTimeDriver rt;
  const int nDev = rt.driver.AddInDevice("RT IN");
  CMidiInPort port;
  ASSERT_TRUE(port.Open(0, 0, 0));

  // The device delivers 1000-byte chunks as fast as the reader keeps up.
  constexpr std::uint64_t kTotal = 600'000;
  std::uint64_t nSent = 0;  // device thread only
  std::function<void()> fnProduce = [&] {
    if (nSent >= kTotal) return;
    if (port.Unread() > 50'000) {
      rt.thread.ScheduleAfter(1, fnProduce);
      return;
    }
    std::vector<BYTE> aChunk(1000);
    for (BYTE& b : aChunk) b = Pattern(nSent++);
    rt.driver.InjectBytes(nDev, std::move(aChunk));
    rt.thread.ScheduleAfter(0, fnProduce);
  };
  rt.thread.ScheduleAfter(0, fnProduce);

  std::uint64_t nRead = 0;
  std::uint64_t nWrong = 0;
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (nRead < kTotal && std::chrono::steady_clock::now() < tEnd) {
    int n = -1;
    if (!port.GetByte(n)) {
      std::this_thread::yield();
      continue;
    }
    nWrong += n != Pattern(nRead) ? 1 : 0;
    ++nRead;
  }
  EXPECT_EQ(nRead, kTotal);
  EXPECT_EQ(nWrong, 0u);
  EXPECT_EQ(rt.driver.DroppedInBytes(nDev), 0u);
  EXPECT_TRUE(port.Close());
  EXPECT_EQ(rt.driver.OpenInHandles(), 0u);
  rt.thread.Stop();  // before the producer it runs goes
}

TEST(MidiRealTime, ClosingWhileTheDeviceKeepsDeliveringIsSafe) {
  CRealTimeDriver rt;
  const int nDev = rt.driver.AddInDevice("RT IN");
  auto pPort = std::make_unique<CMidiInPort>();
  ASSERT_TRUE(pPort->Open(0, 0, 0));
  std::atomic<bool> bStop{false};
  std::function<void()> fnFlood = [&] {
    if (bStop.load()) return;
    rt.driver.InjectBytes(nDev, std::vector<BYTE>(700, 0x11));
    rt.driver.InjectEmptyBlock(nDev);
    rt.driver.InjectShort(nDev, 0xFE);
    rt.thread.ScheduleAfter(0, fnFlood);
  };
  rt.thread.ScheduleAfter(0, fnFlood);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  int n = -1;
  while (pPort->GetByte(n)) {
  }
  EXPECT_TRUE(pPort->Close());
  EXPECT_EQ(rt.driver.OpenInHandles(), 0u);
  pPort.reset();  // the device goes on delivering into nothing
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  bStop.store(true);
  rt.thread.Stop();
  EXPECT_GT(rt.driver.DroppedInBytes(nDev), 0u);
}

TEST(MidiRealTime, TheSimulatedInstrumentAnswersOnItsOwnThread) {
  CRealTimeDriver rt;
  CHostedInstrument instrument(rt.driver);
  {
    CMidiCtrl ctrl;
    ASSERT_TRUE(ctrl.OpenInByName(VIRTUAL_INSTRUMENT_IN, 0, 0));
    ASSERT_TRUE(ctrl.OpenOutByName(VIRTUAL_INSTRUMENT_OUT));
    const std::vector<BYTE> aInquiry = {0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x02, 0xF7};
    ctrl.SendLongMsg(aInquiry.data(), static_cast<UINT>(aInquiry.size()));
    std::vector<int> aReply;
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((aReply.empty() || aReply.back() != 0xF7) && std::chrono::steady_clock::now() < tEnd) {
      const int n = ctrl.GetInByte();
      if (n < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      aReply.push_back(n);
    }
    ASSERT_GE(aReply.size(), 8u);
    EXPECT_EQ(aReply.front(), 0xF0);
    EXPECT_EQ(aReply.back(), 0xF7);
  }
  rt.thread.Stop();  // before the instrument goes
}

}  // namespace
}  // namespace velda::test
