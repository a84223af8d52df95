// The output port: one buffer and header per open, whole messages, the latched result, the
// mapper's fallback, closing, and a driver that still holds the previous message.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "midi/midi_ctrl.h"
#include "midi/midi_out_port.h"
#include "support/midi_test_harness.h"

namespace velda::test {
namespace {

std::vector<BYTE> HeaderBytes(const MIDIHDR& hdr) {
  const BYTE* p = reinterpret_cast<const BYTE*>(hdr.lpData);
  return std::vector<BYTE>(p, p + hdr.dwBufferLength);
}

// ------------------------------------------------------------------------------------------
// Sending

TEST(MidiOutPort, AMessageOfExactly4096BytesIsSentWhole) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddOutDevice("O");
  CMidiOutPort port;
  ASSERT_TRUE(port.Open(0));
  ASSERT_NE(port.Header(), nullptr);
  EXPECT_EQ(port.Header()->dwBufferLength, 4096u);
  EXPECT_NE(LoadHeaderFlags(*port.Header()) & MHDR_PREPARED, 0u);
  const std::vector<BYTE> aMsg = SysEx(4096, 5);
  port.Send(aMsg.data(), static_cast<UINT>(aMsg.size()));
  EXPECT_EQ(h.m_driver.OutMessages(nDev), std::vector<std::vector<BYTE>>{aMsg});
  EXPECT_EQ(h.m_trace.Of('>'), std::vector<std::string>{FormatHexBytes(aMsg.data(), aMsg.size())});
  EXPECT_EQ(port.Result(), MMSYSERR_NOERROR);
}

TEST(MidiOutPort, AShortMessageAfterALongOneSendsOnlyItsOwnBytes) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddOutDevice("O");
  CMidiOutPort port;
  ASSERT_TRUE(port.Open(0));
  const std::vector<BYTE> aLong = SysEx(2821, 1);
  const std::vector<BYTE> aShort = Bytes({0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x02, 0xF7});
  port.Send(aLong.data(), static_cast<UINT>(aLong.size()));
  port.Send(aShort.data(), static_cast<UINT>(aShort.size()));
  EXPECT_EQ(port.Header()->dwBufferLength, 8u);
  const auto aSent = h.m_driver.OutMessages(nDev);
  ASSERT_EQ(aSent.size(), 2u);
  EXPECT_EQ(aSent[0], aLong);
  EXPECT_EQ(aSent[1], aShort);
  EXPECT_EQ(h.m_trace.Of('>'),
            (std::vector<std::string>{FormatHexBytes(aLong.data(), aLong.size()), "F0 43 50 03 00 00 02 F7"}));
}

TEST(MidiOutPort, AMessageThatDoesNotFitTheBufferIsNotSent) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddOutDevice("O");
  CMidiOutPort port;
  ASSERT_TRUE(port.Open(0));
  const std::vector<BYTE> aTooLong = SysEx(4097);
  port.Send(aTooLong.data(), static_cast<UINT>(aTooLong.size()));
  port.Send(nullptr, 8);
  port.Send(aTooLong.data(), 0);
  EXPECT_TRUE(h.m_driver.OutMessages(nDev).empty());
  EXPECT_EQ(h.m_trace.Of('#').size(), 3u);
  EXPECT_EQ(port.Result(), MMSYSERR_NOERROR);  // the port still works
  const std::vector<BYTE> aOk = SysEx(8);
  port.Send(aOk.data(), 8);
  EXPECT_EQ(h.m_driver.OutMessages(nDev).size(), 1u);
}

TEST(MidiOutPort, AFailedHandOverLatchesAndOnlyANewOpenClearsIt) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddOutDevice("O");
  CMidiCtrl ctrl;
  ASSERT_TRUE(ctrl.OpenOutByNumber(0));
  h.m_log.Clear();
  h.m_trace.Clear();  // the open's own note
  h.m_driver.FailNextLongMsg(nDev, MMSYSERR_NOMEM);
  const std::vector<BYTE> aMsg = SysEx(8);
  EXPECT_EQ(ctrl.SendLongMsg(aMsg.data(), 8), 0);
  EXPECT_EQ(ctrl.OutPort()->Result(), MMSYSERR_NOMEM);
  EXPECT_EQ(ctrl.SendLongMsg(aMsg.data(), 8), 0);
  EXPECT_EQ(ctrl.SendLongMsg(aMsg.data(), 8), 0);
  EXPECT_EQ(h.m_log.Calls(), std::vector<std::string>{"midiOutLongMsg=7"});
  EXPECT_TRUE(h.m_driver.OutMessages(nDev).empty());
  EXPECT_TRUE(h.m_trace.Of('>').empty());
  EXPECT_EQ(h.m_trace.Of('#').size(), 3u);  // the failure, then each message left unsent

  ASSERT_TRUE(ctrl.OpenOutByNumber(0));
  EXPECT_EQ(ctrl.OutPort()->Result(), MMSYSERR_NOERROR);
  EXPECT_EQ(ctrl.SendLongMsg(aMsg.data(), 8), 0);
  EXPECT_EQ(h.m_driver.OutMessages(nDev).size(), 1u);
}

// ------------------------------------------------------------------------------------------
// Opening and closing

TEST(MidiOutPort, TheMapperThatCannotBeOpenedFallsBackToDeviceZero) {
  CMidiHarness h;
  const int nFirst = h.m_driver.AddOutDevice("First");
  h.m_driver.AddOutDevice("Second");
  CMidiOutPort port;
  ASSERT_TRUE(port.Open(-1));
  EXPECT_EQ(h.m_log.Calls(), (std::vector<std::string>{"midiOutOpen=68", "midiOutOpen=0", "midiOutPrepareHeader=0"}));
  EXPECT_TRUE(h.m_driver.IsOutOpen(nFirst));
  EXPECT_EQ(port.Result(), MMSYSERR_NOERROR);
}

TEST(MidiOutPort, OpenFailuresKeepTheirResultAndLeaveNoHeader) {
  CMidiHarness h;
  h.m_driver.AddOutDevice("Held", CVirtualOutOptions{.bHeldElsewhere = true});
  CMidiOutPort held;
  EXPECT_FALSE(held.Open(0));
  EXPECT_EQ(held.Result(), MMSYSERR_ALLOCATED);
  EXPECT_EQ(held.Header(), nullptr);
  EXPECT_TRUE(h.m_frontEnd.Boxes().empty());  // the output shows nothing

  CMidiOutPort mapper;  // the mapper fails, and so does device 0
  EXPECT_FALSE(mapper.Open(-1));
  EXPECT_EQ(mapper.Result(), MMSYSERR_ALLOCATED);

  CMidiOutPort missing;
  EXPECT_FALSE(missing.Open(255));
  EXPECT_EQ(missing.Result(), MMSYSERR_BADDEVICEID);
  h.m_log.Clear();
  const std::vector<BYTE> aMsg = SysEx(8);
  missing.Send(aMsg.data(), 8);
  EXPECT_TRUE(h.m_log.Calls().empty());
}

TEST(MidiOutPort, CloseResetsUnpreparesClosesAndFreesAndIsHarmlessTwice) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddOutDevice("O");
  CMidiOutPort port;
  ASSERT_TRUE(port.Open(0));
  h.m_log.Clear();
  port.Close();
  EXPECT_EQ(h.m_log.Calls(),
            (std::vector<std::string>{"midiOutReset=0", "midiOutUnprepareHeader=0", "midiOutClose=0"}));
  EXPECT_EQ(port.Handle(), nullptr);
  EXPECT_EQ(port.Header(), nullptr);
  EXPECT_FALSE(h.m_driver.IsOutOpen(nDev));
  h.m_log.Clear();
  port.Close();
  const std::vector<BYTE> aMsg = SysEx(8);
  port.Send(aMsg.data(), 8);
  EXPECT_TRUE(h.m_log.Calls().empty());
  EXPECT_EQ(port.Handle(), nullptr);
  EXPECT_EQ(port.Header(), nullptr);

  CMidiOutPort failed;
  EXPECT_FALSE(failed.Open(7));
  failed.Close();
  failed.Close();
  EXPECT_EQ(failed.Handle(), nullptr);
  EXPECT_EQ(failed.Header(), nullptr);
  EXPECT_EQ(failed.Result(), MMSYSERR_BADDEVICEID);  // kept
}

// ------------------------------------------------------------------------------------------
// A driver that still holds the previous message

TEST(MidiOutPortBusy, ASendWaitsForTheDriverToFinishThePreviousMessage) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddOutDevice("Slow", CVirtualOutOptions{.bHoldMessages = true, .nHoldMs = 50});
  CMidiOutPort port;
  ASSERT_TRUE(port.Open(0));
  const std::vector<BYTE> aFirst = SysEx(20, 1);
  const std::vector<BYTE> aSecond = SysEx(8, 2);
  port.Send(aFirst.data(), 20);
  const std::uint64_t nStart = h.Now();
  port.Send(aSecond.data(), 8);
  EXPECT_EQ(h.Now() - nStart, 50u);
  EXPECT_EQ(h.m_driver.OutMessages(nDev), (std::vector<std::vector<BYTE>>{aFirst, aSecond}));
  EXPECT_EQ(port.Result(), MMSYSERR_NOERROR);
}

TEST(MidiOutPortBusy, AMessageIsDroppedAfterASecondAndTheHeldBufferIsNeverOverwritten) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddOutDevice("Stuck", CVirtualOutOptions{.bHoldMessages = true});
  CMidiOutPort port;
  ASSERT_TRUE(port.Open(0));
  const std::vector<BYTE> aFirst = SysEx(20, 1);
  const std::vector<BYTE> aSecond = SysEx(8, 2);
  port.Send(aFirst.data(), 20);
  const std::uint64_t nStart = h.Now();
  port.Send(aSecond.data(), 8);
  EXPECT_EQ(h.Now() - nStart, 1001u);
  EXPECT_EQ(HeaderBytes(*port.Header()), aFirst);  // what the driver holds is untouched
  EXPECT_EQ(h.m_driver.OutMessages(nDev).size(), 1u);
  const std::vector<std::string> aNotes = h.m_trace.Of('#');
  ASSERT_EQ(aNotes.size(), 1u);
  EXPECT_NE(aNotes[0].find("dropped"), std::string::npos);
  EXPECT_EQ(port.Result(), MMSYSERR_NOERROR);  // not latched: the driver may yet let go

  h.m_driver.ReleaseOutMessages(nDev);
  port.Send(aSecond.data(), 8);
  EXPECT_EQ(h.m_driver.OutMessages(nDev), (std::vector<std::vector<BYTE>>{aFirst, aSecond}));
}

TEST(MidiOutPortBusy, ClosingGetsAHeldMessageBackBeforeTheHeaderIsFreed) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddOutDevice("Stuck", CVirtualOutOptions{.bHoldMessages = true});
  CMidiOutPort port;
  ASSERT_TRUE(port.Open(0));
  const std::vector<BYTE> aMsg = SysEx(8);
  port.Send(aMsg.data(), 8);
  const std::size_t nKept = KeptForDriverCount();
  port.Close();
  EXPECT_EQ(port.Header(), nullptr);
  EXPECT_EQ(KeptForDriverCount(), nKept);
  EXPECT_FALSE(h.m_driver.IsOutOpen(nDev));
}

// A driver that never lets go of a header: the port keeps its memory rather than free what the
// driver may still read.
class CClingingDriver : public CCallLogDriver {
 public:
  using CCallLogDriver::CCallLogDriver;
  MMRESULT OutUnprepareHeader(HMIDIOUT, MIDIHDR*, UINT) override { return MIDIERR_STILLPLAYING; }
};

TEST(MidiOutPortBusy, AHeaderTheDriverWillNotGiveBackIsKeptNotFreed) {
  CMidiHarness h;
  h.m_driver.AddOutDevice("O");
  CClingingDriver clinging(h.m_driver);
  SetMidiDriver(&clinging);
  {
    CMidiOutPort port;
    ASSERT_TRUE(port.Open(0));
    const std::size_t nKept = KeptForDriverCount();
    port.Close();
    EXPECT_EQ(port.Header(), nullptr);
    EXPECT_EQ(port.Handle(), nullptr);
    EXPECT_EQ(KeptForDriverCount(), nKept + 2);  // the header and its buffer
  }
  SetMidiDriver(&h.m_log);
}

}  // namespace
}  // namespace velda::test
