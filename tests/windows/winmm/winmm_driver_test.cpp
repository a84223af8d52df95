// The winmm backend against the real multimedia API of the process, which here is the test-only
// winmm.dll beside this program (the simulated instrument behind the system's functions): the
// system's packed headers must carry our bytes out and the instrument's reply back, and a long
// message the stack refuses must leave its size and reason in the trace.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "fw/trace.h"
#include "midi/driver/winmm/winmm_midi_driver.h"

namespace velda {
namespace {

struct CInbox {
  std::atomic<int> nOpened{0};
  std::atomic<DWORD> nRecorded{0};
  std::atomic<bool> bLongData{false};
};

void OnIn(HMIDIIN /*h*/, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR /*dwParam2*/) {
  auto* pBox = reinterpret_cast<CInbox*>(dwInstance);
  if (wMsg == MIM_OPEN) pBox->nOpened.fetch_add(1);
  if (wMsg == MIM_LONGDATA) {
    pBox->nRecorded.store(reinterpret_cast<const MIDIHDR*>(dwParam1)->dwBytesRecorded);
    pBox->bLongData.store(true);
  }
}

template <typename F>
bool WaitFor(F fnDone) {
  for (int i = 0; i < 2000 && !fnDone(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return fnDone();
}

class CNotes : public CTraceSink {
 public:
  void OnTraceLine(char cDir, const std::string& strPayload) override {
    if (cDir == '#') aNotes.push_back(strPayload);
  }
  std::vector<std::string> aNotes;
};

int FindDevice(CWinmmMidiDriver& driver, bool bIn, const std::string& strName) {
  const UINT n = bIn ? driver.InGetNumDevs() : driver.OutGetNumDevs();
  for (UINT i = 0; i < n; ++i) {
    MIDIINCAPS in;
    MIDIOUTCAPS out;
    const MMRESULT r = bIn ? driver.InGetDevCaps(i, &in, sizeof in) : driver.OutGetDevCaps(i, &out, sizeof out);
    if (r == MMSYSERR_NOERROR && strName == (bIn ? in.szPname : out.szPname)) return static_cast<int>(i);
  }
  return -1;
}

TEST(WinmmDriver, InquiryGoesOutAndItsReplyComesBackThroughTheSystemHeaders) {
  CWinmmMidiDriver driver;
  const int nIn = FindDevice(driver, true, "HALVEN USB IN 0-1");
  const int nOut = FindDevice(driver, false, "HALVEN USB OUT 0-1");
  ASSERT_GE(nIn, 0);
  ASSERT_GE(nOut, 0);

  CInbox box;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(driver.InOpen(&hIn, static_cast<UINT>(nIn), reinterpret_cast<DWORD_PTR>(&OnIn),
                          reinterpret_cast<DWORD_PTR>(&box), CALLBACK_FUNCTION | MIDI_IO_STATUS),
            MMSYSERR_NOERROR);
  EXPECT_TRUE(WaitFor([&box] { return box.nOpened.load() == 1; }));
  std::vector<char> aInData(64, '\x55');
  MIDIHDR inHdr;
  inHdr.lpData = aInData.data();
  inHdr.dwBufferLength = static_cast<DWORD>(aInData.size());
  ASSERT_EQ(driver.InPrepareHeader(hIn, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  EXPECT_NE(LoadHeaderFlags(inHdr) & MHDR_PREPARED, 0u);
  ASSERT_EQ(driver.InAddBuffer(hIn, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.InStart(hIn), MMSYSERR_NOERROR);

  HMIDIOUT hOut = nullptr;
  ASSERT_EQ(driver.OutOpen(&hOut, static_cast<UINT>(nOut), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  char aInquiry[] = {'\xF0', '\x43', '\x50', '\x03', '\x00', '\x00', '\x02', '\xF7'};
  MIDIHDR outHdr;
  outHdr.lpData = aInquiry;
  outHdr.dwBufferLength = sizeof aInquiry;
  ASSERT_EQ(driver.OutPrepareHeader(hOut, &outHdr, sizeof outHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.OutLongMsg(hOut, &outHdr, sizeof outHdr), MMSYSERR_NOERROR);
  EXPECT_TRUE(WaitFor([&outHdr] { return (LoadHeaderFlags(outHdr) & MHDR_DONE) != 0; })) << "output never done";

  ASSERT_TRUE(WaitFor([&box] { return box.bLongData.load(); })) << "no reply";
  static const char kReply[] = "\xF0\x43\x50\x03\x00\x00\x42VELDA\xF7";
  const std::string strReply(kReply, sizeof kReply - 1);
  EXPECT_EQ(box.nRecorded.load(), strReply.size());
  EXPECT_EQ(inHdr.dwBytesRecorded, strReply.size());
  EXPECT_EQ(std::string(aInData.data(), strReply.size()), strReply);
  EXPECT_EQ(LoadHeaderFlags(inHdr) & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);

  EXPECT_EQ(driver.OutUnprepareHeader(hOut, &outHdr, sizeof outHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.OutClose(hOut), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.InReset(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.InUnprepareHeader(hIn, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(LoadHeaderFlags(inHdr) & MHDR_PREPARED, 0u);
  EXPECT_EQ(driver.InClose(hIn), MMSYSERR_NOERROR);
}

// The instrument restarts into update mode while a block waits in the input queue: its handle
// dies with the block still queued, so the block cannot be unprepared. The port's next block may
// be the same object; prepared on the new handle, it must queue as a fresh one.
TEST(WinmmDriver, ABlockLeftQueuedOnAVanishedDeviceQueuesAfreshOnTheNextHandle) {
  CWinmmMidiDriver driver;
  CInbox box;
  const auto Open = [&driver, &box](HMIDIIN& h) {
    const int nIn = FindDevice(driver, true, "HALVEN USB IN 0-1");
    return nIn >= 0 && driver.InOpen(&h, static_cast<UINT>(nIn), reinterpret_cast<DWORD_PTR>(&OnIn),
                                     reinterpret_cast<DWORD_PTR>(&box), CALLBACK_FUNCTION) == MMSYSERR_NOERROR;
  };
  HMIDIIN hIn = nullptr;
  ASSERT_TRUE(Open(hIn));
  std::vector<char> aInData(64, '\0');
  MIDIHDR inHdr;
  inHdr.lpData = aInData.data();
  inHdr.dwBufferLength = static_cast<DWORD>(aInData.size());
  ASSERT_EQ(driver.InPrepareHeader(hIn, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.InAddBuffer(hIn, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.InStart(hIn), MMSYSERR_NOERROR);

  const int nOut = FindDevice(driver, false, "HALVEN USB OUT 0-1");
  ASSERT_GE(nOut, 0);
  HMIDIOUT hOut = nullptr;
  ASSERT_EQ(driver.OutOpen(&hOut, static_cast<UINT>(nOut), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::string strModeOn = "\xF0\x43\x50\x03";
  strModeOn += std::string(3, '\0') + "#5168_1994KESTRA\xF7";
  MIDIHDR outHdr;
  outHdr.lpData = strModeOn.data();
  outHdr.dwBufferLength = static_cast<DWORD>(strModeOn.size());
  ASSERT_EQ(driver.OutPrepareHeader(hOut, &outHdr, sizeof outHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.OutLongMsg(hOut, &outHdr, sizeof outHdr), MMSYSERR_NOERROR);
  ASSERT_TRUE(WaitFor([&driver] { return FindDevice(driver, true, "HALVEN USB IN 0-1") < 0; })) << "no restart";
  ASSERT_TRUE(WaitFor([&driver] { return FindDevice(driver, true, "HALVEN USB IN 0-1") >= 0; })) << "not back";
  // What a port does with a handle whose device went away; the results do not matter here.
  driver.InReset(hIn);
  driver.InUnprepareHeader(hIn, &inHdr, sizeof inHdr);
  driver.InClose(hIn);
  driver.OutUnprepareHeader(hOut, &outHdr, sizeof outHdr);
  driver.OutClose(hOut);

  StoreHeaderFlags(inHdr, 0);  // as a port does for a block it will prepare again
  HMIDIIN hIn2 = nullptr;
  ASSERT_TRUE(Open(hIn2));
  ASSERT_EQ(driver.InPrepareHeader(hIn2, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.InAddBuffer(hIn2, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.InReset(hIn2), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.InUnprepareHeader(hIn2, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.InClose(hIn2), MMSYSERR_NOERROR);
}

// A port gives every returned block back from the callback: prepared again on its own handle, it
// must keep its system header, so that replies cost no memory and the callback no allocation.
struct CGiveBack {
  CWinmmMidiDriver* pDriver = nullptr;
  std::atomic<HMIDIIN> hIn{nullptr};
  std::atomic<int> nReplies{0};
  std::atomic<int> nGiveBacksLeft{-1};  // -1: always; a reset returns blocks while any is queued
  std::atomic<int> nEmpty{0};
};

void OnInGiveBack(HMIDIIN /*h*/, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR /*dwParam2*/) {
  auto* pGb = reinterpret_cast<CGiveBack*>(dwInstance);
  if (wMsg != MIM_LONGDATA) return;
  auto* pHdr = reinterpret_cast<MIDIHDR*>(dwParam1);
  (pHdr->dwBytesRecorded != 0 ? pGb->nReplies : pGb->nEmpty).fetch_add(1);
  if (pGb->nGiveBacksLeft.load() == 0) return;
  if (pGb->nGiveBacksLeft.load() > 0) pGb->nGiveBacksLeft.fetch_sub(1);
  pGb->pDriver->InPrepareHeader(pGb->hIn.load(), pHdr, sizeof *pHdr);
  pGb->pDriver->InAddBuffer(pGb->hIn.load(), pHdr, sizeof *pHdr);
}

TEST(WinmmDriver, ABlockGivenBackFromTheCallbackKeepsItsSystemHeaderReplyAfterReply) {
  CWinmmMidiDriver driver;
  const int nIn = FindDevice(driver, true, "HALVEN USB IN 0-1");
  const int nOut = FindDevice(driver, false, "HALVEN USB OUT 0-1");
  ASSERT_GE(nIn, 0);
  ASSERT_GE(nOut, 0);
  CGiveBack gb;
  gb.pDriver = &driver;
  HMIDIIN hIn = nullptr;
  ASSERT_EQ(driver.InOpen(&hIn, static_cast<UINT>(nIn), reinterpret_cast<DWORD_PTR>(&OnInGiveBack),
                          reinterpret_cast<DWORD_PTR>(&gb), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  gb.hIn.store(hIn);
  std::vector<char> aInData(64, '\0');
  MIDIHDR inHdr;
  inHdr.lpData = aInData.data();
  inHdr.dwBufferLength = static_cast<DWORD>(aInData.size());
  ASSERT_EQ(driver.InPrepareHeader(hIn, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.InAddBuffer(hIn, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(driver.InStart(hIn), MMSYSERR_NOERROR);
  HMIDIOUT hOut = nullptr;
  ASSERT_EQ(driver.OutOpen(&hOut, static_cast<UINT>(nOut), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  char aInquiry[] = {'\xF0', '\x43', '\x50', '\x03', '\x00', '\x00', '\x02', '\xF7'};
  MIDIHDR outHdr;
  outHdr.lpData = aInquiry;
  outHdr.dwBufferLength = sizeof aInquiry;
  ASSERT_EQ(driver.OutPrepareHeader(hOut, &outHdr, sizeof outHdr), MMSYSERR_NOERROR);
  const std::size_t nHeaders = driver.SystemHeaderCount();
  EXPECT_EQ(nHeaders, 2u);
  for (int i = 1; i <= 6; ++i) {
    ASSERT_EQ(driver.OutLongMsg(hOut, &outHdr, sizeof outHdr), MMSYSERR_NOERROR);
    ASSERT_TRUE(WaitFor([&gb, i] { return gb.nReplies.load() == i; })) << "no reply " << i;
    ASSERT_TRUE(WaitFor([&inHdr] { return (LoadHeaderFlags(inHdr) & MHDR_INQUEUE) != 0; })) << "not queued again";
    EXPECT_EQ(driver.SystemHeaderCount(), nHeaders) << "after reply " << i;
  }
  // The reset returns the block again each time it is given back, as Wine's driver does.
  gb.nGiveBacksLeft.store(2);
  EXPECT_EQ(driver.InReset(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(gb.nEmpty.load(), 3);
  EXPECT_EQ(LoadHeaderFlags(inHdr) & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
  EXPECT_EQ(driver.InUnprepareHeader(hIn, &inHdr, sizeof inHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.InClose(hIn), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.OutUnprepareHeader(hOut, &outHdr, sizeof outHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.OutClose(hOut), MMSYSERR_NOERROR);
}

// The winmm.dll here refuses messages over 2048 bytes (VELDA_TEST_INSTRUMENT, set for this test
// program), as some Windows MIDI stacks do; a full data packet is 2821 bytes.
TEST(WinmmDriver, RefusedLongMessageIsTracedWithItsSizeAndTheSystemsReason) {
  CNotes notes;
  SetTraceSink(&notes);
  CWinmmMidiDriver driver;
  const int nOut = FindDevice(driver, false, "HALVEN USB OUT 0-1");
  ASSERT_GE(nOut, 0);
  HMIDIOUT hOut = nullptr;
  ASSERT_EQ(driver.OutOpen(&hOut, static_cast<UINT>(nOut), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::vector<char> aPacket(2821, '\x01');
  aPacket.front() = '\xF0';
  aPacket.back() = '\xF7';
  MIDIHDR hdr;
  hdr.lpData = aPacket.data();
  hdr.dwBufferLength = static_cast<DWORD>(aPacket.size());
  ASSERT_EQ(driver.OutPrepareHeader(hOut, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  EXPECT_NE(driver.OutLongMsg(hOut, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  SetTraceSink(nullptr);
  ASSERT_FALSE(notes.aNotes.empty());
  // The product's own line, with the system's text for the result (whatever the system calls it).
  const std::string& strLast = notes.aNotes.back();
  EXPECT_EQ(strLast.rfind("The MIDI driver refused a message of 2821 bytes: ", 0), 0u) << strLast;
  EXPECT_NE(strLast.find("error 1"), std::string::npos) << strLast;
  EXPECT_EQ(driver.OutUnprepareHeader(hOut, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(driver.OutClose(hOut), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace velda
