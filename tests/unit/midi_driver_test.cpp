// The driver layer (the multimedia API's names and rules, the current driver) and the virtual
// backend's devices, as the port objects and the other backends rely on them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "midi/driver/midi_driver.h"
#include "midi/driver/virtual/instrument/hosted_instrument.h"
#include "midi/driver/virtual/instrument/instrument_link.h"
#include "midi/driver/virtual/virtual_midi_driver.h"
#include "support/midi_test_harness.h"

namespace velda::test {
namespace {

// What an input callback received.
struct CCallbackLog {
  struct CEntry {
    UINT wMsg;
    DWORD_PTR dwParam1;
    std::vector<BYTE> aBytes;  // a block's recorded bytes
  };
  std::vector<CEntry> aEntries;
  HMIDIIN hGiveBack = nullptr;  // when set, blocks are given back at once
  int nGiveBacksLeft = -1;      // how many more times (-1: always)
  std::size_t Count(UINT wMsg) const {
    std::size_t n = 0;
    for (const CEntry& e : aEntries) n += e.wMsg == wMsg ? 1 : 0;
    return n;
  }
};

void RecordingProc(HMIDIIN /*h*/, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR /*dwParam2*/) {
  auto* pLog = reinterpret_cast<CCallbackLog*>(dwInstance);
  CCallbackLog::CEntry e{wMsg, dwParam1, {}};
  if (wMsg == MIM_LONGDATA || wMsg == MIM_LONGERROR) {
    auto* pHdr = reinterpret_cast<MIDIHDR*>(dwParam1);
    EXPECT_NE(LoadHeaderFlags(*pHdr) & MHDR_DONE, 0u);
    EXPECT_EQ(LoadHeaderFlags(*pHdr) & MHDR_INQUEUE, 0u);
    const BYTE* p = reinterpret_cast<const BYTE*>(pHdr->lpData);
    e.aBytes.assign(p, p + pHdr->dwBytesRecorded);
    if (pLog->hGiveBack != nullptr && pLog->nGiveBacksLeft != 0) {
      if (pLog->nGiveBacksLeft > 0) --pLog->nGiveBacksLeft;
      EXPECT_EQ(midiInAddBuffer(pLog->hGiveBack, pHdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    }
  }
  pLog->aEntries.push_back(std::move(e));
}

DWORD_PTR ProcArg() { return reinterpret_cast<DWORD_PTR>(&RecordingProc); }
DWORD_PTR LogArg(CCallbackLog& log) { return reinterpret_cast<DWORD_PTR>(&log); }

// A block of its own memory, prepared and queued by the test.
struct CBlock {
  explicit CBlock(DWORD nSize = 1024) : aMem(nSize) {
    hdr.lpData = reinterpret_cast<char*>(aMem.data());
    hdr.dwBufferLength = nSize;
  }
  std::vector<BYTE> aMem;
  MIDIHDR hdr;
};

std::string InName(UINT n) {
  MIDIINCAPS caps;
  return midiInGetDevCapsA(n, &caps, sizeof(caps)) == MMSYSERR_NOERROR ? PnameToString(caps.szPname).Str() : "<none>";
}

// ------------------------------------------------------------------------------------------
// The layer itself

TEST(MidiDriverLayer, WithoutADriverThereAreNoDevicesAndEveryCallFailsCleanly) {
  SetMidiDriver(nullptr);
  EXPECT_EQ(midiInGetNumDevs(), 0u);
  EXPECT_EQ(midiOutGetNumDevs(), 0u);
  MIDIINCAPS inCaps;
  MIDIOUTCAPS outCaps;
  EXPECT_EQ(midiInGetDevCapsA(0, &inCaps, sizeof(inCaps)), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiOutGetDevCapsA(0, &outCaps, sizeof(outCaps)), MMSYSERR_NODRIVER);
  HMIDIIN hIn = reinterpret_cast<HMIDIIN>(static_cast<std::uintptr_t>(77));
  HMIDIOUT hOut = reinterpret_cast<HMIDIOUT>(static_cast<std::uintptr_t>(77));
  EXPECT_EQ(midiInOpen(&hIn, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
  EXPECT_EQ(hIn, nullptr);
  EXPECT_EQ(midiOutOpen(&hOut, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
  EXPECT_EQ(hOut, nullptr);
  MIDIHDR hdr;
  EXPECT_EQ(midiInStart(nullptr), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiInStop(nullptr), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiInReset(nullptr), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiInClose(nullptr), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiInPrepareHeader(nullptr, &hdr, sizeof(hdr)), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiInUnprepareHeader(nullptr, &hdr, sizeof(hdr)), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiInAddBuffer(nullptr, &hdr, sizeof(hdr)), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiOutPrepareHeader(nullptr, &hdr, sizeof(hdr)), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiOutUnprepareHeader(nullptr, &hdr, sizeof(hdr)), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiOutLongMsg(nullptr, &hdr, sizeof(hdr)), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiOutReset(nullptr), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiOutClose(nullptr), MMSYSERR_NODRIVER);
  EXPECT_EQ(FindMidiInDevice("HALVEN USB IN 0-1"), -1);
  EXPECT_EQ(FindMidiOutDevice("HALVEN USB OUT 0-1"), -1);
}

TEST(MidiDriverLayer, ProductNamesHoldAtMost31BytesAndNeedNoTerminator) {
  char szName[MAXPNAMELEN];
  std::memset(szName, 'A', sizeof(szName));  // no terminator at all
  EXPECT_EQ(PnameToString(szName).Str(), std::string(32, 'A'));

  StringToPname("HALVEN USB IN 0-1", szName);
  EXPECT_EQ(PnameToString(szName).Str(), "HALVEN USB IN 0-1");
  EXPECT_EQ(szName[17], '\0');

  const std::string strLong = "0123456789012345678901234567890123456789";
  StringToPname(strLong, szName);
  EXPECT_EQ(PnameToString(szName).Str(), strLong.substr(0, 31));
  EXPECT_EQ(szName[31], '\0');
}

TEST(MidiDriverLayer, HeaderFlagsGoThroughTheSharedAccessors) {
  MIDIHDR hdr;
  StoreHeaderFlags(hdr, MHDR_PREPARED | MHDR_DONE);
  EXPECT_EQ(hdr.dwFlags, MHDR_PREPARED | MHDR_DONE);
  EXPECT_EQ(LoadHeaderFlags(hdr), MHDR_PREPARED | MHDR_DONE);
}

TEST(MidiDriverLayer, FindsTheFirstDeviceWithExactlyThatName) {
  CMidiHarness h;
  h.m_driver.AddInDevice("Other");
  h.m_driver.AddInDevice("Twin");
  h.m_driver.AddInDevice("Twin");
  h.m_driver.AddOutDevice("Twin");
  EXPECT_EQ(FindMidiInDevice("Twin"), 1);
  EXPECT_EQ(FindMidiOutDevice("Twin"), 0);
  EXPECT_EQ(FindMidiInDevice("twin"), -1);
  EXPECT_EQ(FindMidiInDevice("Twin "), -1);
  EXPECT_EQ(FindMidiInDevice("Twi"), -1);
  EXPECT_EQ(FindMidiOutDevice("Other"), -1);
}

// ------------------------------------------------------------------------------------------
// Virtual devices: the lists

TEST(MidiVirtualDevices, NumbersArePositionsAmongPresentDevicesAndEveryChangeIsReported) {
  CMidiHarness h;
  const int nA = h.m_driver.AddInDevice("A");
  const int nB = h.m_driver.AddInDevice("B");
  h.m_driver.AddOutDevice("C");
  h.Drain();
  EXPECT_EQ(h.m_wnd.m_aDeviceChanges.size(), 3u);
  EXPECT_EQ(midiInGetNumDevs(), 2u);
  EXPECT_EQ(InName(0), "A");
  EXPECT_EQ(InName(1), "B");

  h.m_driver.SetInPresent(nA, false);
  h.m_driver.SetInPresent(nA, false);  // no change: not reported
  h.Drain();
  EXPECT_EQ(midiInGetNumDevs(), 1u);
  EXPECT_EQ(InName(0), "B");
  MIDIINCAPS caps;
  EXPECT_EQ(midiInGetDevCapsA(1, &caps, sizeof(caps)), MMSYSERR_BADDEVICEID);

  h.m_driver.SetInPresent(nA, true);
  h.Drain();
  EXPECT_EQ(InName(0), "A");
  EXPECT_EQ(InName(1), "B");
  ASSERT_EQ(h.m_wnd.m_aDeviceChanges.size(), 5u);
  for (const UINT n : h.m_wnd.m_aDeviceChanges) EXPECT_EQ(n, fw::DBT_DEVNODES_CHANGED);
  (void)nB;
}

TEST(MidiVirtualDevices, NamesAreCutTo31BytesAndCapsNeedRoom) {
  CMidiHarness h;
  h.m_driver.AddInDevice(std::string(40, 'x'));
  EXPECT_EQ(InName(0), std::string(31, 'x'));
  MIDIINCAPS caps;
  EXPECT_EQ(midiInGetDevCapsA(0, &caps, sizeof(caps) - 1), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midiInGetDevCapsA(0, nullptr, sizeof(caps)), MMSYSERR_INVALPARAM);
}

// ------------------------------------------------------------------------------------------
// Virtual devices: opening

TEST(MidiVirtualDevices, AnInputOpensOnceAndConfirmsInsideTheCall) {
  CMidiHarness h;
  h.m_driver.AddInDevice("A");
  h.m_driver.AddInDevice("Held", CVirtualInOptions{.bHeldElsewhere = true});
  CCallbackLog log;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(midiInOpen(&hIn, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  ASSERT_NE(hIn, nullptr);
  ASSERT_EQ(log.aEntries.size(), 1u);
  EXPECT_EQ(log.aEntries[0].wMsg, MIM_OPEN);

  HMIDIIN hSecond = nullptr;
  EXPECT_EQ(midiInOpen(&hSecond, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_ALLOCATED);
  EXPECT_EQ(midiInOpen(&hSecond, 1, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_ALLOCATED);
  EXPECT_EQ(midiInOpen(&hSecond, 2, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(hSecond, nullptr);
  EXPECT_EQ(midiInOpen(&hSecond, 0, ProcArg(), LogArg(log), 0x00050000), MMSYSERR_INVALFLAG);

  EXPECT_EQ(midiInClose(hIn), MMSYSERR_NOERROR);
  ASSERT_EQ(log.aEntries.size(), 2u);
  EXPECT_EQ(log.aEntries[1].wMsg, MIM_CLOSE);
  EXPECT_EQ(midiInClose(hIn), MMSYSERR_INVALHANDLE);
}

TEST(MidiVirtualDevices, ConfirmationsCanComeLaterOrNever) {
  CMidiHarness h;
  h.m_driver.AddInDevice("Slow", CVirtualInOptions{.nOpenConfirmMs = 40, .nCloseConfirmMs = 60});
  h.m_driver.AddInDevice("Mute", CVirtualInOptions{.bConfirmOpen = false, .bConfirmClose = false});
  CCallbackLog log;
  HMIDIIN hSlow = nullptr;
  ASSERT_EQ(midiInOpen(&hSlow, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  EXPECT_TRUE(log.aEntries.empty());
  h.Advance(39);
  EXPECT_TRUE(log.aEntries.empty());
  h.Advance(1);
  ASSERT_EQ(log.aEntries.size(), 1u);
  EXPECT_EQ(log.aEntries[0].wMsg, MIM_OPEN);

  CCallbackLog logMute;
  HMIDIIN hMute = nullptr;
  ASSERT_EQ(midiInOpen(&hMute, 1, ProcArg(), LogArg(logMute), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(hMute), MMSYSERR_NOERROR);
  h.Advance(5000);
  EXPECT_TRUE(logMute.aEntries.empty());
  EXPECT_EQ(midiInClose(hSlow), MMSYSERR_NOERROR);
  h.Advance(59);
  EXPECT_EQ(log.aEntries.size(), 1u);
  h.Advance(1);
  ASSERT_EQ(log.aEntries.size(), 2u);
  EXPECT_EQ(log.aEntries[1].wMsg, MIM_CLOSE);
}

// ------------------------------------------------------------------------------------------
// Virtual devices: input blocks

TEST(MidiVirtualDevices, HeadersFollowTheApisRules) {
  CMidiHarness h;
  h.m_driver.AddInDevice("A");
  CCallbackLog log;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(midiInOpen(&hIn, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  CBlock block;
  EXPECT_EQ(midiInAddBuffer(hIn, &block.hdr, sizeof(MIDIHDR)), MIDIERR_UNPREPARED);
  EXPECT_EQ(midiInPrepareHeader(hIn, &block.hdr, sizeof(MIDIHDR) - 1), MMSYSERR_INVALPARAM);
  ASSERT_EQ(midiInPrepareHeader(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(block.hdr.dwFlags, MHDR_PREPARED);
  ASSERT_EQ(midiInAddBuffer(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(block.hdr.dwFlags, MHDR_PREPARED | MHDR_INQUEUE);
  EXPECT_EQ(midiInAddBuffer(hIn, &block.hdr, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midiInUnprepareHeader(hIn, &block.hdr, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
  // A queued block keeps the handle from closing.
  EXPECT_EQ(midiInClose(hIn), MIDIERR_STILLPLAYING);

  // The reset returns it, empty and done, before it returns.
  ASSERT_EQ(midiInReset(hIn), MMSYSERR_NOERROR);
  ASSERT_EQ(log.Count(MIM_LONGDATA), 1u);
  EXPECT_EQ(log.aEntries.back().dwParam1, reinterpret_cast<DWORD_PTR>(&block.hdr));
  EXPECT_TRUE(log.aEntries.back().aBytes.empty());
  EXPECT_EQ(block.hdr.dwFlags, MHDR_PREPARED | MHDR_DONE);
  EXPECT_EQ(midiInUnprepareHeader(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(block.hdr.dwFlags, MHDR_DONE);
  EXPECT_EQ(midiInClose(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(h.m_driver.OpenInHandles(), 0u);
}

// As Wine's driver does: the reset returns one block per round and goes on while any is queued,
// so a block given back from the callback comes back again, and the reset ends only once the
// callback keeps what it gets.
TEST(MidiVirtualDevices, AResetGoesOnWhileABlockIsQueuedAndEndsWhenTheCallbackKeepsThem) {
  CMidiHarness h;
  h.m_driver.AddInDevice("A");
  CCallbackLog log;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(midiInOpen(&hIn, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  CBlock aBlocks[2];
  for (CBlock& b : aBlocks) {
    ASSERT_EQ(midiInPrepareHeader(hIn, &b.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(hIn, &b.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  }
  log.hGiveBack = hIn;
  log.nGiveBacksLeft = 3;
  ASSERT_EQ(midiInReset(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(log.Count(MIM_LONGDATA), 5u);  // two queued, three given back
  std::vector<DWORD_PTR> aOrder;
  for (const auto& e : log.aEntries) {
    if (e.wMsg == MIM_LONGDATA) aOrder.push_back(e.dwParam1);
  }
  const auto A = reinterpret_cast<DWORD_PTR>(&aBlocks[0].hdr);
  const auto B = reinterpret_cast<DWORD_PTR>(&aBlocks[1].hdr);
  EXPECT_EQ(aOrder, (std::vector<DWORD_PTR>{A, B, A, B, A}));
  EXPECT_EQ(h.m_driver.QueuedInBlocks(0), 0u);
  EXPECT_EQ(midiInClose(hIn), MMSYSERR_NOERROR);
}

TEST(MidiVirtualDevices, DeliveredBytesFillTheQueuedBlocksInOrder) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddInDevice("A");
  CCallbackLog log;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(midiInOpen(&hIn, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  log.hGiveBack = hIn;
  CBlock aBlocks[2];
  for (CBlock& b : aBlocks) {
    ASSERT_EQ(midiInPrepareHeader(hIn, &b.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(hIn, &b.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  }

  // Not started: the driver drops what arrives.
  h.m_driver.InjectBytes(nDev, SysEx(10));
  h.Settle();
  EXPECT_EQ(log.Count(MIM_LONGDATA), 0u);
  EXPECT_EQ(h.m_driver.DroppedInBytes(nDev), 10u);

  ASSERT_EQ(midiInStart(hIn), MMSYSERR_NOERROR);
  const std::vector<BYTE> aLong = SysEx(2500, 1);
  const std::vector<BYTE> aShort1 = SysEx(8, 2);
  const std::vector<BYTE> aShort2 = SysEx(9, 3);
  std::vector<BYTE> aTwo = aShort1;
  aTwo.insert(aTwo.end(), aShort2.begin(), aShort2.end());
  h.m_driver.InjectBytes(nDev, aLong, 5);
  h.m_driver.InjectBytes(nDev, aTwo, 5);
  h.Advance(4);
  EXPECT_EQ(log.Count(MIM_LONGDATA), 0u);
  h.Advance(1);

  // 1024 + 1024 + 452, then each message of the second delivery ends its own block, the blocks
  // taking turns.
  ASSERT_EQ(log.aEntries.size(), 6u);
  std::vector<std::size_t> aSizes;
  std::vector<BYTE> aAll;
  for (std::size_t i = 1; i < log.aEntries.size(); ++i) {
    EXPECT_EQ(log.aEntries[i].wMsg, MIM_LONGDATA);
    EXPECT_EQ(log.aEntries[i].dwParam1, reinterpret_cast<DWORD_PTR>(&aBlocks[(i - 1) % 2].hdr));
    aSizes.push_back(log.aEntries[i].aBytes.size());
    aAll.insert(aAll.end(), log.aEntries[i].aBytes.begin(), log.aEntries[i].aBytes.end());
  }
  EXPECT_EQ(aSizes, (std::vector<std::size_t>{1024, 1024, 452, 8, 9}));
  std::vector<BYTE> aExpected = aLong;
  aExpected.insert(aExpected.end(), aTwo.begin(), aTwo.end());
  EXPECT_EQ(aAll, aExpected);
  log.hGiveBack = nullptr;
  ASSERT_EQ(midiInReset(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(hIn), MMSYSERR_NOERROR);
}

TEST(MidiVirtualDevices, BytesWithNoBlockQueuedAreDropped) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddInDevice("A");
  CCallbackLog log;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(midiInOpen(&hIn, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  CBlock block;
  ASSERT_EQ(midiInPrepareHeader(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInAddBuffer(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(hIn), MMSYSERR_NOERROR);
  h.m_driver.InjectBytes(nDev, SysEx(1500));  // the block is not given back
  h.Settle();
  EXPECT_EQ(log.Count(MIM_LONGDATA), 1u);
  EXPECT_EQ(h.m_driver.DroppedInBytes(nDev), 1500u - 1024u);
  EXPECT_EQ(midiInClose(hIn), MMSYSERR_NOERROR);
}

TEST(MidiVirtualDevices, ShortMessagesErrorsAndFallingBehindReachTheCallback) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddInDevice("A");
  const int nPlain = h.m_driver.AddInDevice("B");
  CCallbackLog log;
  CCallbackLog logPlain;
  HMIDIIN hIn = nullptr;
  HMIDIIN hPlain = nullptr;
  ASSERT_EQ(midiInOpen(&hIn, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION | MIDI_IO_STATUS), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInOpen(&hPlain, 1, ProcArg(), LogArg(logPlain), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(hIn), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(hPlain), MMSYSERR_NOERROR);
  CBlock block;
  ASSERT_EQ(midiInPrepareHeader(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInAddBuffer(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

  h.m_driver.InjectShort(nDev, 0xFE);
  h.m_driver.InjectMoreData(nDev, 0x90);
  h.m_driver.InjectError(nDev, 0xF4);
  h.m_driver.InjectLongError(nDev, Bytes({0xF0, 0x43, 0x50}));
  h.m_driver.InjectMoreData(nPlain, 0x91);
  h.Settle();
  ASSERT_EQ(log.aEntries.size(), 5u);
  EXPECT_EQ(log.aEntries[1].wMsg, MIM_DATA);
  EXPECT_EQ(log.aEntries[1].dwParam1, 0xFEu);
  EXPECT_EQ(log.aEntries[2].wMsg, MIM_MOREDATA);
  EXPECT_EQ(log.aEntries[3].wMsg, MIM_ERROR);
  EXPECT_EQ(log.aEntries[4].wMsg, MIM_LONGERROR);
  EXPECT_EQ(log.aEntries[4].aBytes, Bytes({0xF0, 0x43, 0x50}));
  // Without MIDI_IO_STATUS the driver reports a short message as plain data.
  ASSERT_EQ(logPlain.aEntries.size(), 2u);
  EXPECT_EQ(logPlain.aEntries[1].wMsg, MIM_DATA);
  EXPECT_EQ(midiInClose(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(hPlain), MMSYSERR_NOERROR);
}

TEST(MidiVirtualDevices, AVanishedDevicesHandleIsDeadAndClosesWithoutReturningBlocks) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddInDevice("A");
  CCallbackLog log;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(midiInOpen(&hIn, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  CBlock block;
  ASSERT_EQ(midiInPrepareHeader(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInAddBuffer(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(hIn), MMSYSERR_NOERROR);

  h.m_driver.SetInPresent(nDev, false);
  h.m_driver.InjectBytes(nDev, SysEx(5));
  h.Settle();
  EXPECT_EQ(log.Count(MIM_LONGDATA), 0u);
  EXPECT_EQ(midiInStop(hIn), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiInReset(hIn), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiInAddBuffer(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NODRIVER);

  // Back again: it is a new device; the old handle stays dead, the device can be opened anew.
  h.m_driver.SetInPresent(nDev, true);
  EXPECT_EQ(midiInStart(hIn), MMSYSERR_NODRIVER);
  HMIDIIN hNew = nullptr;
  CCallbackLog logNew;
  ASSERT_EQ(midiInOpen(&hNew, 0, ProcArg(), LogArg(logNew), CALLBACK_FUNCTION), MMSYSERR_NOERROR);

  EXPECT_EQ(midiInClose(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(log.Count(MIM_LONGDATA), 0u);  // the block was let go, not returned
  EXPECT_EQ(log.Count(MIM_CLOSE), 1u);
  EXPECT_EQ(midiInClose(hNew), MMSYSERR_NOERROR);
}

TEST(MidiVirtualDevices, ACloseThatFailsKeepsTheHandle) {
  CMidiHarness h;
  h.m_driver.AddInDevice("Sticky", CVirtualInOptions{.bCloseFails = true});
  CCallbackLog log;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(midiInOpen(&hIn, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(hIn), MMSYSERR_ERROR);
  EXPECT_EQ(midiInStart(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(h.m_driver.OpenInHandles(), 1u);
  EXPECT_EQ(log.Count(MIM_CLOSE), 0u);
}

// ------------------------------------------------------------------------------------------
// Virtual devices: output

TEST(MidiVirtualDevices, AnOutputTakesWholeMessagesAndHandsThemToItsReceiver) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddOutDevice("O");
  std::vector<std::vector<BYTE>> aReceived;
  h.m_driver.SetOutSink(nDev, [&](std::vector<BYTE> a) { aReceived.push_back(std::move(a)); });
  HMIDIOUT hOut = nullptr;
  ASSERT_EQ(midiOutOpen(&hOut, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  HMIDIOUT hSecond = nullptr;
  EXPECT_EQ(midiOutOpen(&hSecond, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(midiOutOpen(&hSecond, 1, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiOutOpen(&hSecond, 0, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALFLAG);

  CBlock block(16);
  EXPECT_EQ(midiOutLongMsg(hOut, &block.hdr, sizeof(MIDIHDR)), MIDIERR_UNPREPARED);
  ASSERT_EQ(midiOutPrepareHeader(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  const std::vector<BYTE> aMsg = SysEx(8);
  std::memcpy(block.aMem.data(), aMsg.data(), aMsg.size());
  block.hdr.dwBufferLength = 8;
  ASSERT_EQ(midiOutLongMsg(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  // Copied by the driver: done at once; the receiver gets it from a device event.
  EXPECT_EQ(block.hdr.dwFlags, MHDR_PREPARED | MHDR_DONE);
  EXPECT_TRUE(aReceived.empty());
  h.Settle();
  ASSERT_EQ(aReceived.size(), 1u);
  EXPECT_EQ(aReceived[0], aMsg);
  EXPECT_EQ(h.m_driver.OutMessages(nDev), std::vector<std::vector<BYTE>>{aMsg});

  h.m_driver.FailNextLongMsg(nDev, MMSYSERR_NOMEM);
  EXPECT_EQ(midiOutLongMsg(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOMEM);
  EXPECT_EQ(midiOutLongMsg(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(h.m_driver.OutMessages(nDev).size(), 2u);

  // Without keeping copies the receiver still gets every message.
  h.m_driver.SetKeepOutMessages(false);
  EXPECT_EQ(midiOutLongMsg(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  h.Settle();
  EXPECT_EQ(aReceived.size(), 3u);
  EXPECT_EQ(h.m_driver.OutMessages(nDev).size(), 2u);

  EXPECT_EQ(midiOutUnprepareHeader(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(hOut), MMSYSERR_NOERROR);
  EXPECT_FALSE(h.m_driver.IsOutOpen(nDev));
}

TEST(MidiVirtualDevices, AHoldingOutputKeepsTheHeaderUntilItLetsGo) {
  CMidiHarness h;
  const int nDev = h.m_driver.AddOutDevice("Slow", CVirtualOutOptions{.bHoldMessages = true, .nHoldMs = 30});
  HMIDIOUT hOut = nullptr;
  ASSERT_EQ(midiOutOpen(&hOut, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  CBlock block(8);
  ASSERT_EQ(midiOutPrepareHeader(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutLongMsg(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(block.hdr.dwFlags, MHDR_PREPARED | MHDR_INQUEUE);
  EXPECT_EQ(midiOutLongMsg(hOut, &block.hdr, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midiOutUnprepareHeader(hOut, &block.hdr, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midiOutClose(hOut), MIDIERR_STILLPLAYING);
  h.Advance(29);
  EXPECT_EQ(LoadHeaderFlags(block.hdr) & MHDR_DONE, 0u);
  h.Advance(1);
  EXPECT_EQ(block.hdr.dwFlags, MHDR_PREPARED | MHDR_DONE);

  // A reset gives back what is held at once.
  ASSERT_EQ(midiOutLongMsg(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutReset(hOut), MMSYSERR_NOERROR);
  EXPECT_EQ(block.hdr.dwFlags, MHDR_PREPARED | MHDR_DONE);
  EXPECT_EQ(midiOutClose(hOut), MMSYSERR_NOERROR);
  EXPECT_EQ(h.m_driver.OutMessages(nDev).size(), 2u);
}

TEST(MidiVirtualDevices, TheMapperOpensDeviceZeroOnlyWhenAvailable) {
  CMidiHarness h;
  const int nFirst = h.m_driver.AddOutDevice("First");
  HMIDIOUT hOut = nullptr;
  EXPECT_EQ(midiOutOpen(&hOut, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MIDIERR_NODEVICE);
  EXPECT_EQ(hOut, nullptr);
  h.m_driver.SetMapperAvailable(true);
  ASSERT_EQ(midiOutOpen(&hOut, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_TRUE(h.m_driver.IsOutOpen(nFirst));
  EXPECT_EQ(midiOutClose(hOut), MMSYSERR_NOERROR);
}

// ------------------------------------------------------------------------------------------
// The simulated instrument's link

TEST(MidiInstrumentLink, AReplyBeforeARestartArrivesBeforeTheDevicesVanish) {
  CMidiHarness h;
  CVirtualInstrumentLink link(h.m_driver);
  EXPECT_EQ(FindMidiInDevice(VIRTUAL_INSTRUMENT_IN), 0);
  EXPECT_EQ(FindMidiOutDevice(VIRTUAL_INSTRUMENT_OUT), 0);
  CCallbackLog log;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(midiInOpen(&hIn, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  CBlock block;
  ASSERT_EQ(midiInPrepareHeader(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInAddBuffer(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(hIn), MMSYSERR_NOERROR);
  h.Drain();
  h.m_wnd.m_aDeviceChanges.clear();

  link.Deliver(SysEx(6));
  link.SetPresent(false);
  EXPECT_EQ(midiInGetNumDevs(), 1u);  // takes effect as a device event
  h.Settle();
  ASSERT_EQ(log.Count(MIM_LONGDATA), 1u);
  EXPECT_EQ(log.aEntries.back().aBytes, SysEx(6));
  EXPECT_EQ(midiInGetNumDevs(), 0u);
  EXPECT_EQ(midiOutGetNumDevs(), 0u);
  EXPECT_EQ(h.m_wnd.m_aDeviceChanges.size(), 1u);  // one change for the pair

  bool bRan = false;
  link.Schedule(3000, [&] {
    bRan = true;
    link.SetPresent(true);
  });
  h.Advance(2999);
  EXPECT_FALSE(bRan);
  h.Advance(1);
  EXPECT_TRUE(bRan);
  EXPECT_EQ(midiInGetNumDevs(), 1u);
  EXPECT_EQ(midiOutGetNumDevs(), 1u);
  EXPECT_EQ(midiInClose(hIn), MMSYSERR_NOERROR);  // dead since the restart
}

TEST(MidiInstrumentLink, MessagesReachTheReceiverWholeAndNothingRunsAfterTheLinkIsGone) {
  CMidiHarness h;
  std::vector<std::vector<BYTE>> aReceived;
  bool bLateRan = false;
  {
    CVirtualInstrumentLink link(h.m_driver, "I", "O");
    link.SetReceiver([&](std::vector<std::uint8_t> a) { aReceived.push_back(std::move(a)); });
    HMIDIOUT hOut = nullptr;
    ASSERT_EQ(midiOutOpen(&hOut, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    CBlock block(4096);
    ASSERT_EQ(midiOutPrepareHeader(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    const std::vector<BYTE> aMsg = SysEx(4096);
    std::memcpy(block.aMem.data(), aMsg.data(), aMsg.size());
    ASSERT_EQ(midiOutLongMsg(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    h.Settle();
    ASSERT_EQ(aReceived.size(), 1u);
    EXPECT_EQ(aReceived[0], aMsg);

    // Sent, then the link goes before the device event runs.
    ASSERT_EQ(midiOutLongMsg(hOut, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    link.Schedule(10, [&] { bLateRan = true; });
    EXPECT_EQ(midiOutClose(hOut), MMSYSERR_NOERROR);
  }
  h.Advance(20);
  EXPECT_EQ(aReceived.size(), 1u);
  EXPECT_FALSE(bLateRan);
}

TEST(MidiInstrumentLink, TheHostedInstrumentAnswersAnInquiryOnItsInputDevice) {
  CMidiHarness h;
  CInstrumentConfig config;
  config.strInquiryText = "VELDA";
  CHostedInstrument instrument(h.m_driver, config);
  CCallbackLog log;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(midiInOpen(&hIn, 0, ProcArg(), LogArg(log), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  log.hGiveBack = hIn;
  CBlock block;
  ASSERT_EQ(midiInPrepareHeader(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInAddBuffer(hIn, &block.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(hIn), MMSYSERR_NOERROR);
  HMIDIOUT hOut = nullptr;
  ASSERT_EQ(midiOutOpen(&hOut, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  CBlock out(8);
  ASSERT_EQ(midiOutPrepareHeader(hOut, &out.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  const std::vector<BYTE> aInquiry = Bytes({0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x02, 0xF7});
  std::memcpy(out.aMem.data(), aInquiry.data(), aInquiry.size());
  ASSERT_EQ(midiOutLongMsg(hOut, &out.hdr, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  h.Advance(100);
  ASSERT_EQ(log.Count(MIM_LONGDATA), 1u);
  const std::vector<BYTE>& aReply = log.aEntries.back().aBytes;
  ASSERT_GE(aReply.size(), 8u);
  EXPECT_EQ(aReply.front(), 0xF0);
  EXPECT_EQ(aReply.back(), 0xF7);
  EXPECT_NE(std::string(aReply.begin(), aReply.end()).find("VELDA"), std::string::npos);
  log.hGiveBack = nullptr;
  ASSERT_EQ(midiInReset(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(hOut), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace velda::test
