// The input port: opening and closing with their confirmations and pauses, the three blocks,
// the ring queue and its overrun, the callback's messages, the status notifications.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "midi/midi_ctrl.h"
#include "midi/midi_in_port.h"
#include "midi/realtime_filter.h"
#include "support/midi_test_harness.h"

namespace velda::test {
namespace {

constexpr UINT kData = 33006;
constexpr UINT kStatus = 33007;

std::vector<int> Drain(CMidiInPort& port) {
  std::vector<int> a;
  int n = -1;
  while (port.GetByte(n)) a.push_back(n);
  return a;
}

std::vector<int> AsInts(const std::vector<BYTE>& a) { return std::vector<int>(a.begin(), a.end()); }

// A port opened on device "A" (number 0), with the notifications and the trace cleared.
class MidiInPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_nDev = h.m_driver.AddInDevice("A");
    m_pPort = std::make_unique<CMidiInPort>();
    ASSERT_TRUE(m_pPort->Open(0, kData, kStatus));
    h.Drain();
    h.m_wnd.m_aCommands.clear();
    h.m_trace.Clear();
    h.m_log.Clear();
  }
  void TearDown() override { m_pPort.reset(); }

  CMidiHarness h;
  int m_nDev = 0;
  std::unique_ptr<CMidiInPort> m_pPort;
};

// ------------------------------------------------------------------------------------------
// The ring queue

TEST(MidiInQueue, RingArithmeticWrapsAndKeepsOneSlotFree) {
  EXPECT_EQ(NextRingIndex(0, 8), 1u);
  EXPECT_EQ(NextRingIndex(7, 8), 0u);
  EXPECT_EQ(NextRingIndex(0, 0), 0u);
  EXPECT_EQ(RingUnread(3, 3, 8), 0u);
  EXPECT_EQ(RingUnread(2, 7, 8), 5u);
  EXPECT_EQ(RingUnread(7, 2, 8), 3u);
  EXPECT_TRUE(RingHasRoom(0, 6, 8));   // 6 unread
  EXPECT_FALSE(RingHasRoom(0, 7, 8));  // 7 unread: full
  EXPECT_FALSE(RingHasRoom(5, 4, 8));
  EXPECT_FALSE(RingHasRoom(0, 0, 1));
  EXPECT_FALSE(RingHasRoom(0, 0, 0));
  EXPECT_EQ(MIDI_IN_QUEUE_SIZE, 106496u);
}

TEST_F(MidiInPortTest, The106495thUnreadByteFitsAndTheNextIsRefusedWithTheOverrunStatus) {
  ASSERT_EQ(m_pPort->QueueSize(), 106496u);
  for (UINT i = 0; i < 106495; ++i) m_pPort->PutByte(static_cast<BYTE>(i % 251));
  EXPECT_EQ(m_pPort->Unread(), 106495u);
  EXPECT_EQ(h.m_trace.CountNote(TXT_MIDI_IN_OVERRUN), 0u);

  m_pPort->PutByte(0xEE);
  m_pPort->PutByte(0xEE);  // the same run of refused bytes: no second status
  h.Drain();
  EXPECT_EQ(h.m_trace.CountNote(TXT_MIDI_IN_OVERRUN), 1u);
  EXPECT_EQ(h.m_wnd.Count(kStatus), 1u);
  // Nothing queued was lost.
  EXPECT_EQ(m_pPort->Unread(), 106495u);
  int n = -1;
  ASSERT_TRUE(m_pPort->GetByte(n));
  EXPECT_EQ(n, 0);

  // Room for one again; the next overrun is reported again.
  m_pPort->PutByte(0xAB);
  m_pPort->PutByte(0xCD);
  h.Drain();
  EXPECT_EQ(h.m_trace.CountNote(TXT_MIDI_IN_OVERRUN), 2u);
  const std::vector<int> a = Drain(*m_pPort);
  ASSERT_EQ(a.size(), 106495u);
  for (UINT i = 0; i < 106494; ++i) ASSERT_EQ(a[i], static_cast<int>((i + 1) % 251)) << i;
  EXPECT_EQ(a.back(), 0xAB);
  EXPECT_EQ(m_pPort->Unread(), 0u);
}

TEST_F(MidiInPortTest, ByteFFIsReturnedAs255AndMinusOneMeansEmpty) {
  m_pPort.reset();
  CMidiCtrl ctrl;
  ASSERT_TRUE(ctrl.OpenInByNumber(0, kData, kStatus));
  EXPECT_EQ(ctrl.GetInByte(), -1);
  h.m_driver.InjectBytes(m_nDev, Bytes({0xFF, 0xF0, 0x00, 0x7F, 0xF7}));  // FF outside a message stays
  h.Settle();
  EXPECT_EQ(ctrl.GetInByte(), 255);
  EXPECT_EQ(ctrl.GetInByte(), 0xF0);
  EXPECT_EQ(ctrl.GetInByte(), 0);
  EXPECT_EQ(ctrl.GetInByte(), 0x7F);
  EXPECT_EQ(ctrl.GetInByte(), 0xF7);
  EXPECT_EQ(ctrl.GetInByte(), -1);
  EXPECT_EQ(ctrl.GetInByte(), -1);
}

TEST_F(MidiInPortTest, TheQueueKeepsOrderAcrossItsWrap) {
  ASSERT_TRUE(m_pPort->ResizeQueue(16));
  std::vector<int> aOut;
  int nNext = 0;
  for (int nRound = 0; nRound < 20; ++nRound) {
    for (int i = 0; i < 11; ++i) m_pPort->PutByte(static_cast<BYTE>(nNext++));
    const std::vector<int> a = Drain(*m_pPort);
    aOut.insert(aOut.end(), a.begin(), a.end());
  }
  ASSERT_EQ(aOut.size(), 220u);
  for (int i = 0; i < 220; ++i) ASSERT_EQ(aOut[static_cast<std::size_t>(i)], i % 256);
  EXPECT_EQ(h.m_trace.CountNote(TXT_MIDI_IN_OVERRUN), 0u);
}

TEST_F(MidiInPortTest, ResizingStopsInputFirstEvenToAnEmptyQueue) {
  m_pPort->PutByte(1);
  ASSERT_TRUE(m_pPort->ResizeQueue(0));
  EXPECT_EQ(h.m_log.Names(),
            (std::vector<std::string>{"midiInReset", "midiInPrepareHeader", "midiInAddBuffer", "midiInPrepareHeader",
                                      "midiInAddBuffer", "midiInPrepareHeader", "midiInAddBuffer", "midiInStart"}));
  EXPECT_EQ(h.m_trace.CountNote("Change MIDI In Buffer Size : 0"), 1u);
  int n = -1;
  EXPECT_FALSE(m_pPort->GetByte(n));
  m_pPort->PutByte(2);  // no room at all
  EXPECT_FALSE(m_pPort->GetByte(n));
  EXPECT_FALSE(m_pPort->ResizeQueue(-1));
}

// The driver returns one block per round while any is queued (as Wine's does): the port keeps
// them until the reset has returned, then gives all three back, and input goes on.
TEST_F(MidiInPortTest, AResetReturningOneBlockPerRoundEndsAndTheBlocksGoBackAfterIt) {
  ASSERT_TRUE(m_pPort->ResizeQueue(static_cast<int>(MIDI_IN_QUEUE_SIZE)));
  EXPECT_EQ(h.m_log.Count("midiInReset"), 1u);
  EXPECT_EQ(h.m_log.Count("midiInAddBuffer"), 3u);
  EXPECT_EQ(h.m_driver.QueuedInBlocks(m_nDev), 3u);
  const std::vector<BYTE> aMsg = SysEx(2500, 4);
  h.m_driver.InjectBytes(m_nDev, aMsg);
  h.Settle();
  EXPECT_EQ(Drain(*m_pPort), AsInts(aMsg));
}

// ------------------------------------------------------------------------------------------
// Opening

TEST(MidiInPortOpen, OpeningPostsCloseOpenAndResizeStatusesAndQueuesThreeBlocks) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddInDevice("HALVEN USB IN 0-1");
  CMidiInPort port;
  EXPECT_EQ(port.State(), MIDI_IN_NEW);
  EXPECT_EQ(port.QueueSize(), 1024u);
  ASSERT_TRUE(port.Open(0, kData, kStatus));
  h.Drain();
  EXPECT_EQ(h.m_trace.Of('#'),
            (std::vector<std::string>{"Close MIDI In Driver : ", "Open MIDI In Driver : HALVEN USB IN 0-1",
                                      "Change MIDI In Buffer Size : 106496"}));
  EXPECT_EQ(h.m_wnd.m_aCommands, (std::vector<UINT>{kStatus, kStatus, kStatus}));
  EXPECT_EQ(port.State(), MIDI_IN_OPEN);
  EXPECT_EQ(port.Name().Str(), "HALVEN USB IN 0-1");
  EXPECT_EQ(port.QueueSize(), 106496u);
  EXPECT_EQ(h.m_driver.QueuedInBlocks(nDev), 3u);
  for (UINT i = 0; i < 3; ++i) {
    ASSERT_NE(port.Header(i), nullptr);
    EXPECT_EQ(port.Header(i)->dwBufferLength, 1024u);  // the blocks keep a new port's size
  }
  // Input started before the blocks were queued, and the open took no time.
  const std::vector<std::string> aNames = h.m_log.Names();
  ASSERT_GE(aNames.size(), 3u);
  EXPECT_EQ(aNames[0], "midiInOpen");
  EXPECT_EQ(aNames[1], "midiInStart");
  EXPECT_EQ(aNames[2], "midiInPrepareHeader");
  EXPECT_EQ(h.Now(), 0u);
}

TEST(MidiInPortOpen, ADeviceAnotherProgramHoldsShowsTheBoxOnceAndFails) {
  CMidiHarness h;
  h.m_driver.AddInDevice("Held", CVirtualInOptions{.bHeldElsewhere = true});
  CMidiInPort port;
  EXPECT_FALSE(port.Open(0, kData, kStatus));
  ASSERT_EQ(h.m_frontEnd.Boxes().size(), 1u);
  EXPECT_EQ(h.m_frontEnd.Boxes()[0].strText, "already allocated MIDI Port");
  EXPECT_EQ(h.m_frontEnd.Boxes()[0].strCaption, "VELDA Installer");
  EXPECT_EQ(h.m_frontEnd.Boxes()[0].uType, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  EXPECT_EQ(port.Handle(), nullptr);

  // Any other open error fails without a box.
  CMidiInPort other;
  EXPECT_FALSE(other.Open(5, kData, kStatus));
  EXPECT_EQ(h.m_frontEnd.Boxes().size(), 1u);
}

TEST(MidiInPortOpen, AnOpenNeverConfirmedFailsAfterMoreThanOneSecondAndTheNextCloseClosesIt) {
  CMidiHarness h;
  h.m_driver.AddInDevice("Mute", CVirtualInOptions{.bConfirmOpen = false});
  auto pPort = std::make_unique<CMidiInPort>();
  EXPECT_FALSE(pPort->Open(0, kData, kStatus));
  EXPECT_EQ(h.Now(), 1001u);
  EXPECT_NE(pPort->Handle(), nullptr);
  EXPECT_EQ(h.m_driver.OpenInHandles(), 1u);
  EXPECT_EQ(h.m_log.Count("midiInStart"), 0u);
  pPort.reset();
  EXPECT_EQ(h.m_driver.OpenInHandles(), 0u);
}

TEST(MidiInPortOpen, AConfirmationWithinTheSecondIsWaitedFor) {
  CMidiHarness h;
  h.m_driver.AddInDevice("Slow", CVirtualInOptions{.nOpenConfirmMs = 250});
  CMidiInPort port;
  EXPECT_TRUE(port.Open(0, kData, kStatus));
  EXPECT_GE(h.Now(), 250u);
  EXPECT_LE(h.Now(), 252u);
  EXPECT_EQ(port.State(), MIDI_IN_OPEN);
}

// A driver too slow to confirm fails the open with no box; the trace is where the user sees why.
TEST(MidiInPortOpen, NoConfirmationWithinTheSecondFailsWithATraceNote) {
  CMidiHarness h;
  h.m_driver.AddInDevice("Stuck", CVirtualInOptions{.nOpenConfirmMs = 1500});
  CMidiInPort port;
  EXPECT_FALSE(port.Open(0, kData, kStatus));
  EXPECT_NE(port.State(), MIDI_IN_OPEN);
  // The open's own close of a port that was not open, then the reason.
  EXPECT_EQ(h.m_trace.Of('#'),
            (std::vector<std::string>{"Close MIDI In Driver : ",
                                      "The MIDI In driver did not confirm the open within 1000 ms"}));
}

// ------------------------------------------------------------------------------------------
// Receiving

TEST_F(MidiInPortTest, EachNonEmptyBlockIsQueuedGivenBackAndAnnouncedOnce) {
  const std::vector<BYTE> aMsg = SysEx(2500, 9);
  h.m_driver.InjectBytes(m_nDev, aMsg);
  h.Settle();
  EXPECT_EQ(h.m_wnd.m_aCommands, (std::vector<UINT>{kData, kData, kData}));
  EXPECT_EQ(h.m_driver.QueuedInBlocks(m_nDev), 3u);
  EXPECT_EQ(Drain(*m_pPort), AsInts(aMsg));
}

TEST_F(MidiInPortTest, AnEmptyBlockWhileOpenIsGivenBackAndPostsNothing) {
  h.m_driver.InjectEmptyBlock(m_nDev);
  h.Settle();
  EXPECT_EQ(h.m_log.Names(), (std::vector<std::string>{"midiInPrepareHeader", "midiInAddBuffer"}));
  EXPECT_EQ(h.m_driver.QueuedInBlocks(m_nDev), 3u);
  EXPECT_TRUE(h.m_wnd.m_aCommands.empty());
  EXPECT_TRUE(h.m_trace.Lines().empty());
  EXPECT_EQ(m_pPort->Unread(), 0u);
}

TEST_F(MidiInPortTest, EmptyBlocksAfterTheClosedStateIsSetAreNotGivenBack) {
  ASSERT_TRUE(m_pPort->Close());
  const std::vector<std::string> aNames = h.m_log.Names();
  EXPECT_EQ(aNames,
            (std::vector<std::string>{"midiInStop", "midiInStop", "midiInStop", "midiInReset", "midiInUnprepareHeader",
                                      "midiInUnprepareHeader", "midiInUnprepareHeader", "midiInClose"}));
  for (const std::string& s : h.m_log.Calls()) EXPECT_EQ(s.substr(s.find('=')), "=0") << s;
}

TEST_F(MidiInPortTest, AnEmptyBlockGoesBackOnlyWhileNotClosed) {
  // The callback's own rule, seen directly with a block of the test's.
  std::vector<BYTE> aMem(16);
  MIDIHDR hdr;
  hdr.lpData = reinterpret_cast<char*>(aMem.data());
  hdr.dwBufferLength = 16;
  StoreHeaderFlags(hdr, MHDR_DONE);
  m_pPort->OnLongData(&hdr);
  EXPECT_EQ(h.m_log.Count("midiInAddBuffer"), 1u);
  ASSERT_TRUE(m_pPort->Close());  // the driver gives the test's block back, and it stays
  h.m_log.Clear();
  StoreHeaderFlags(hdr, MHDR_DONE);
  m_pPort->OnLongData(&hdr);
  EXPECT_TRUE(h.m_log.Names().empty());
}

TEST_F(MidiInPortTest, ABlockNotMarkedDoneIsIgnoredAndARecordedCountIsNeverReadPastTheBlock) {
  std::vector<BYTE> aMem(8, 0x55);
  MIDIHDR hdr;
  hdr.lpData = reinterpret_cast<char*>(aMem.data());
  hdr.dwBufferLength = 8;
  hdr.dwBytesRecorded = 8;
  StoreHeaderFlags(hdr, MHDR_PREPARED);
  m_pPort->OnLongData(&hdr);
  EXPECT_EQ(m_pPort->Unread(), 0u);
  EXPECT_TRUE(h.m_log.Names().empty());

  hdr.dwBytesRecorded = 5000;  // a faulty driver
  StoreHeaderFlags(hdr, MHDR_DONE);
  m_pPort->OnLongData(&hdr);
  EXPECT_EQ(m_pPort->Unread(), 8u);
  ASSERT_TRUE(m_pPort->Close());  // while the test's block, given to the driver, still exists
}

TEST(MidiInRealtime, RealTimeBytesAreDroppedOnlyInsideAnOpenMessage) {
  // One stream as a driver might return it in blocks: a message split in three parts with
  // real-time bytes between and inside them, then bytes after its end.
  const std::vector<std::vector<BYTE>> aBlocks = {
      {0xF8, 0xF0, 0x43, 0xFE}, {0xF8}, {0x01, 0xFF, 0xFA, 0x02}, {0xF7, 0xFE}, {0xF0, 0x01, 0x90, 0xF8, 0x3C}};
  bool bInSysEx = false;
  std::vector<BYTE> aKept;
  for (const std::vector<BYTE>& aBlock : aBlocks) {
    for (const BYTE b : aBlock) {
      if (KeepReceivedByte(b, bInSysEx)) aKept.push_back(b);
    }
  }
  // Outside a message (before, after F7, after a status byte that ended one) they stay.
  EXPECT_EQ(aKept, (std::vector<BYTE>{0xF8, 0xF0, 0x43, 0x01, 0x02, 0xF7, 0xFE, 0xF0, 0x01, 0x90, 0xF8, 0x3C}));
}

TEST_F(MidiInPortTest, ARealTimeByteBetweenThePartsOfASplitMessageNeverReachesTheQueue) {
  h.m_driver.InjectBytes(m_nDev, Bytes({0xF0, 0x43, 0x50, 0xF8}));  // a bridge's first part, clock appended
  h.m_driver.InjectBytes(m_nDev, Bytes({0xFE}));                    // active sensing on its own between
  h.m_driver.InjectBytes(m_nDev, Bytes({0x01, 0xF8, 0x02, 0xF7}));
  h.Settle();
  EXPECT_EQ(Drain(*m_pPort), (std::vector<int>{0xF0, 0x43, 0x50, 0x01, 0x02, 0xF7}));
  // Every block goes back to the driver; the one that held only a dropped byte is still a block.
  EXPECT_EQ(h.m_driver.QueuedInBlocks(m_nDev), MIDI_IN_BLOCK_COUNT);
  EXPECT_EQ(h.m_wnd.Count(kData), 3u);
}

TEST_F(MidiInPortTest, ShortMessagesNeverEnterTheQueue) {
  h.m_driver.InjectShort(m_nDev, 0xFE);      // active sensing
  h.m_driver.InjectShort(m_nDev, 0x7F3C90);  // note on
  h.Settle();
  EXPECT_EQ(m_pPort->Unread(), 0u);
  EXPECT_TRUE(h.m_wnd.m_aCommands.empty());
  EXPECT_TRUE(h.m_trace.Lines().empty());
}

TEST_F(MidiInPortTest, DriverErrorsAndFallingBehindPostTheirStatuses) {
  h.m_driver.InjectError(m_nDev, 0xF4);
  h.m_driver.InjectMoreData(m_nDev, 0x903C7F);
  h.Settle();
  EXPECT_EQ(h.m_trace.Of('#'), (std::vector<std::string>{"MIDI In Data Error !", "No Keep up with MIDI In Driver !"}));
  EXPECT_EQ(h.m_wnd.m_aCommands, (std::vector<UINT>{kStatus, kStatus}));
  EXPECT_EQ(m_pPort->Unread(), 0u);  // the short message it carries is dropped
}

TEST_F(MidiInPortTest, AnIncompleteMessageIsQueuedLikeAnyBlockAndReported) {
  h.m_driver.InjectLongError(m_nDev, Bytes({0xF0, 0x43, 0x50, 0x03}));
  h.Settle();
  EXPECT_EQ(Drain(*m_pPort), (std::vector<int>{0xF0, 0x43, 0x50, 0x03}));
  EXPECT_EQ(h.m_wnd.m_aCommands, (std::vector<UINT>{kData, kStatus}));
  EXPECT_EQ(h.m_trace.Of('#'), std::vector<std::string>{"MIDI In Data Error !"});
  EXPECT_EQ(h.m_driver.QueuedInBlocks(m_nDev), 3u);
}

// ------------------------------------------------------------------------------------------
// Closing

TEST_F(MidiInPortTest, CloseStopsThreeTimesWithPausesThenResetsAndFreesTheBlocks) {
  const std::uint64_t nStart = h.Now();
  ASSERT_TRUE(m_pPort->Close());
  h.Drain();
  EXPECT_EQ(h.Now() - nStart, 300u);
  EXPECT_EQ(h.m_trace.Of('#'), std::vector<std::string>{"Close MIDI In Driver : A"});
  EXPECT_EQ(h.m_wnd.m_aCommands, std::vector<UINT>{kStatus});
  EXPECT_EQ(m_pPort->Handle(), nullptr);
  EXPECT_TRUE(m_pPort->Name().IsEmpty());
  EXPECT_EQ(m_pPort->State(), MIDI_IN_CLOSED);
  EXPECT_FALSE(m_pPort->HasBlocks());
  EXPECT_FALSE(h.m_driver.IsInOpen(m_nDev));

  // Closing again only posts the status with no name.
  h.m_log.Clear();
  ASSERT_TRUE(m_pPort->Close());
  EXPECT_TRUE(h.m_log.Names().empty());
  EXPECT_EQ(h.m_trace.CountNote("Close MIDI In Driver : "), 1u);
}

TEST_F(MidiInPortTest, AnUnpluggedDeviceIsClosedWithoutStopOrReset) {
  h.m_driver.SetInPresent(m_nDev, false);
  const std::uint64_t nStart = h.Now();
  ASSERT_TRUE(m_pPort->Close());
  EXPECT_EQ(h.m_log.Names(), std::vector<std::string>{"midiInClose"});
  EXPECT_EQ(h.Now(), nStart);
  EXPECT_EQ(h.m_trace.CountNote("Close MIDI In Driver : A"), 1u);
  EXPECT_FALSE(m_pPort->HasBlocks());
  EXPECT_EQ(h.m_driver.OpenInHandles(), 0u);
}

TEST_F(MidiInPortTest, ADeviceThatCameBackStopsOnceWhenItsDriverIsGone) {
  h.m_driver.SetInPresent(m_nDev, false);
  h.m_driver.SetInPresent(m_nDev, true);
  ASSERT_TRUE(m_pPort->Close());
  EXPECT_EQ(h.m_log.Calls(), (std::vector<std::string>{"midiInStop=6", "midiInClose=0"}));
}

TEST_F(MidiInPortTest, AFailedCloseKeepsThePortOpenAndLaterOpensThroughItFail) {
  m_pPort.reset();
  const int nSticky = h.m_driver.AddInDevice("Sticky", CVirtualInOptions{.bCloseFails = true});
  CMidiInPort port;
  ASSERT_TRUE(port.Open(1, kData, kStatus));
  h.m_trace.Clear();
  EXPECT_FALSE(port.Close());
  EXPECT_NE(port.Handle(), nullptr);
  EXPECT_EQ(port.Name().Str(), "Sticky");
  EXPECT_EQ(port.State(), MIDI_IN_CLOSED);
  EXPECT_EQ(h.m_trace.CountNote("Close MIDI In Driver : Sticky"), 0u);
  EXPECT_FALSE(port.OpenDevice(0));
  EXPECT_TRUE(h.m_driver.IsInOpen(nSticky));
}

// The driver keeps calling a handle whose close it refused, or confirms a close late: the
// callback finds no port and does nothing, and the blocks the driver may still use stay alive.
TEST_F(MidiInPortTest, ADeletedPortIsNeverEnteredAgainAndItsBlocksOutliveIt) {
  m_pPort.reset();
  h.m_driver.AddInDevice("Sticky", CVirtualInOptions{.bCloseFails = true});
  auto pPort = std::make_unique<CMidiInPort>();
  ASSERT_TRUE(pPort->Open(1, kData, kStatus));
  const DWORD_PTR nKey = pPort->Key();
  const std::size_t nKeptBefore = KeptForDriverCount();
  pPort.reset();
  EXPECT_EQ(KeptForDriverCount(), nKeptBefore + 6);
  h.Drain();
  h.m_wnd.m_aCommands.clear();
  h.m_trace.Clear();

  std::vector<BYTE> aMem(4, 0xF0);
  MIDIHDR hdr;
  hdr.lpData = reinterpret_cast<char*>(aMem.data());
  hdr.dwBufferLength = 4;
  hdr.dwBytesRecorded = 4;
  StoreHeaderFlags(hdr, MHDR_DONE);
  CMidiInPort live;  // another port, perhaps at the same address: it must not be reached either
  CMidiInPort::MidiInProc(nullptr, MIM_LONGDATA, nKey, reinterpret_cast<DWORD_PTR>(&hdr), 0);
  CMidiInPort::MidiInProc(nullptr, MIM_ERROR, nKey, 0, 0);
  h.Drain();
  EXPECT_TRUE(h.m_wnd.m_aCommands.empty());
  EXPECT_TRUE(h.m_trace.Lines().empty());
  EXPECT_EQ(live.Unread(), 0u);
  EXPECT_NE(live.Key(), nKey);

  // The same call with the live port's key reaches it.
  CMidiInPort::MidiInProc(nullptr, MIM_LONGDATA, live.Key(), reinterpret_cast<DWORD_PTR>(&hdr), 0);
  EXPECT_EQ(live.Unread(), 4u);
}

TEST(MidiInPortClose, ACloseConfirmedTooLateFailsAndTheLateConfirmationFindsNoPort) {
  CMidiHarness h;
  h.m_driver.AddInDevice("Late", CVirtualInOptions{.nCloseConfirmMs = 1500});
  auto pPort = std::make_unique<CMidiInPort>();
  ASSERT_TRUE(pPort->Open(0, kData, kStatus));
  h.Drain();
  h.m_wnd.m_aCommands.clear();
  h.m_trace.Clear();
  const std::uint64_t nStart = h.Now();
  EXPECT_FALSE(pPort->Close());
  EXPECT_EQ(h.Now() - nStart, 300u + 1001u);
  // The driver did close it: the blocks are the port's again and freed, the handle stays.
  EXPECT_EQ(h.m_driver.OpenInHandles(), 0u);
  EXPECT_FALSE(pPort->HasBlocks());
  EXPECT_NE(pPort->Handle(), nullptr);
  EXPECT_EQ(midiInClose(pPort->Handle()), MMSYSERR_INVALHANDLE);
  const auto aNotes = h.m_trace.Lines();  // the time-out says why the close failed
  ASSERT_EQ(aNotes.size(), 1u);
  EXPECT_NE(aNotes[0].find("did not confirm the close within 1000 ms"), std::string::npos) << aNotes[0];
  const std::size_t nKept = KeptForDriverCount();
  pPort.reset();
  EXPECT_EQ(KeptForDriverCount(), nKept);
  h.Advance(1000);  // the confirmation arrives for a port that is gone
  EXPECT_TRUE(h.m_wnd.m_aCommands.empty());
  EXPECT_EQ(h.m_trace.Lines(), aNotes);
}

}  // namespace
}  // namespace velda::test
