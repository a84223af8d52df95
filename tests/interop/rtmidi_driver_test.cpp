// The rtmidi backend against a JACK peer (run by run-with-jack, which starts a server of the
// test's own): the device directory, SysEx arriving whole through 1024-byte headers (also when a
// bridge splits it, with real-time bytes between the parts), a reset returning the headers empty,
// whole long messages out, device changes, and no server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "midi/driver/rtmidi/jack_client.h"
#include "midi/driver/rtmidi/library_notes.h"
#include "midi/driver/rtmidi/rtmidi_midi_driver.h"
#include "midi/driver/rtmidi/rtmidi_output.h"

namespace velda::rtmidi {
namespace {

constexpr const char* kPeerRead = "HALVEN USB IN 0-1";    // the peer sends here
constexpr const char* kPeerWrite = "HALVEN USB OUT 0-1";  // the peer receives here
constexpr std::size_t kHeaders = 3;
constexpr std::size_t kBlock = 1024;

template <class TPred>
bool WaitFor(TPred pred, int nMs = 5000) {
  for (int i = 0; i < nMs / 5; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

std::vector<unsigned char> SysEx(std::size_t n) {
  std::vector<unsigned char> a(n);
  a.front() = 0xF0;
  for (std::size_t i = 1; i + 1 < n; ++i) a[i] = static_cast<unsigned char>(i % 0x80);
  a.back() = 0xF7;
  return a;
}

// The other side: a JACK client with the instrument's two ports.
class CPeer {
 public:
  CPeer() : m_pClient(CJackClient::Open("velda-peer")) {
    if (m_pClient == nullptr) return;
    m_pIn = m_pClient->OpenInput(kPeerWrite, "", &CPeer::OnBytes, this);
    m_pOut = m_pClient->OpenOutput(kPeerRead, "");
  }
  bool Ok() const { return m_pIn != nullptr && m_pOut != nullptr; }
  void Send(const std::vector<unsigned char>& a) { EXPECT_TRUE(m_pClient->Send(m_pOut, a.data(), a.size())); }
  // As a bridge does: the message in parts of nPart bytes, with real-time bytes between them.
  void SendSplit(const std::vector<unsigned char>& a, std::size_t nPart) {
    static const unsigned char kRealtime[] = {0xF8, 0xFE};
    for (std::size_t i = 0; i < a.size(); i += nPart) {
      const std::size_t n = std::min(nPart, a.size() - i);
      EXPECT_TRUE(m_pClient->Send(m_pOut, a.data() + i, n));
      EXPECT_TRUE(m_pClient->Send(m_pOut, &kRealtime[(i / nPart) % 2], 1));
    }
  }
  void ClosePorts() {
    m_pClient->ClosePort(m_pIn);
    m_pClient->ClosePort(m_pOut);
  }
  std::vector<std::vector<unsigned char>> Received() {
    const std::lock_guard<std::mutex> lock(m_mx);
    return m_aReceived;
  }

 private:
  static void OnBytes(const std::uint8_t* p, std::size_t n, void* pUser) {
    auto* pThis = static_cast<CPeer*>(pUser);
    const std::lock_guard<std::mutex> lock(pThis->m_mx);
    pThis->m_aReceived.emplace_back(p, p + n);
  }
  std::unique_ptr<CJackClient> m_pClient;
  CJackPort* m_pIn = nullptr;
  CJackPort* m_pOut = nullptr;
  std::mutex m_mx;
  std::vector<std::vector<unsigned char>> m_aReceived;
};

// What the input callback saw: every returned header's bytes, in order; headers go back at once
// as the port objects do.
struct CInLog {
  CMidiDriver* pDriver = nullptr;
  bool bGiveBack = true;
  std::mutex mx;
  std::vector<std::vector<BYTE>> aBlocks;
  std::atomic<int> nOpen{0};
  std::atomic<int> nClose{0};
  std::atomic<std::size_t> nBytes{0};
  std::atomic<int> nShort{0};  // MIM_DATA
};

void CALLBACK_InProc(HMIDIIN h, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR) {
  auto* pLog = reinterpret_cast<CInLog*>(dwInstance);
  if (wMsg == MIM_OPEN) ++pLog->nOpen;
  if (wMsg == MIM_CLOSE) ++pLog->nClose;
  if (wMsg == MIM_DATA) ++pLog->nShort;
  if (wMsg != MIM_LONGDATA) return;
  auto* pHdr = reinterpret_cast<MIDIHDR*>(dwParam1);
  {
    const std::lock_guard<std::mutex> lock(pLog->mx);
    pLog->aBlocks.emplace_back(pHdr->lpData, pHdr->lpData + pHdr->dwBytesRecorded);
  }
  pLog->nBytes += pHdr->dwBytesRecorded;
  if (pLog->bGiveBack) {
    pLog->pDriver->InPrepareHeader(h, pHdr, sizeof(MIDIHDR));
    pLog->pDriver->InAddBuffer(h, pHdr, sizeof(MIDIHDR));
  }
}

int FindIn(CMidiDriver& d, const std::string& strName) {
  const UINT n = d.InGetNumDevs();
  for (UINT i = 0; i < n; ++i) {
    MIDIINCAPS caps;
    if (d.InGetDevCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR && PnameToString(caps.szPname).Str() == strName) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int FindOut(CMidiDriver& d, const std::string& strName) {
  const UINT n = d.OutGetNumDevs();
  for (UINT i = 0; i < n; ++i) {
    MIDIOUTCAPS caps;
    if (d.OutGetDevCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR && PnameToString(caps.szPname).Str() == strName) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

class RtMidiJack : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_peer.Ok());
    CRtMidiOptions opt;
    opt.eApi = EMidiApi::Jack;
    opt.strClientName = "velda-test";
    opt.nWatchMs = 50;
    opt.fnDeviceChange = [this] { ++m_nChanges; };
    std::string strError;
    m_pDriver = CRtMidiDriver::Create(opt, strError);
    ASSERT_NE(m_pDriver, nullptr) << strError;
    m_log.pDriver = m_pDriver.get();
  }

  // Opens the peer's port for input with three 1024-byte headers queued and input started.
  HMIDIIN OpenInput() {
    const int nDev = FindIn(*m_pDriver, kPeerRead);
    EXPECT_GE(nDev, 0);
    HMIDIIN h = nullptr;
    EXPECT_EQ(m_pDriver->InOpen(&h, static_cast<UINT>(nDev), reinterpret_cast<DWORD_PTR>(&CALLBACK_InProc),
                                reinterpret_cast<DWORD_PTR>(&m_log), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    for (std::size_t i = 0; i < kHeaders; ++i) {
      m_aHdr[i].lpData = reinterpret_cast<char*>(m_aBuf[i].data());
      m_aHdr[i].dwBufferLength = kBlock;
      EXPECT_EQ(m_pDriver->InPrepareHeader(h, &m_aHdr[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
      EXPECT_EQ(m_pDriver->InAddBuffer(h, &m_aHdr[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(m_pDriver->InStart(h), MMSYSERR_NOERROR);
    // A new JACK connection carries data only once the server's graph has taken it in.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return h;
  }

  CPeer m_peer;
  std::unique_ptr<CRtMidiDriver> m_pDriver;
  std::atomic<int> m_nChanges{0};
  CInLog m_log;
  MIDIHDR m_aHdr[kHeaders];
  std::vector<BYTE> m_aBuf[kHeaders] = {std::vector<BYTE>(kBlock), std::vector<BYTE>(kBlock),
                                        std::vector<BYTE>(kBlock)};
};

TEST_F(RtMidiJack, Directory_ListsPeerPortsByProductNameWithoutOwnPorts) {
  EXPECT_GE(FindIn(*m_pDriver, kPeerRead), 0);
  EXPECT_GE(FindOut(*m_pDriver, kPeerWrite), 0);
  HMIDIIN h = OpenInput();
  // Our own input port ("velda-test-NN:in") is no output device.
  const UINT nOut = m_pDriver->OutGetNumDevs();
  for (UINT i = 0; i < nOut; ++i) {
    MIDIOUTCAPS caps;
    ASSERT_EQ(m_pDriver->OutGetDevCaps(i, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_NE(PnameToString(caps.szPname).Str(), "in");
  }
  EXPECT_EQ(m_log.nOpen.load(), 1);
  EXPECT_EQ(m_pDriver->InClose(h), MMSYSERR_NOERROR);
  EXPECT_EQ(m_log.nClose.load(), 1);
}

class RtMidiJackSysEx : public RtMidiJack, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(RtMidiJackSysEx, SysEx_ArrivesWholeThroughHeadersInOrder) {
  const std::size_t n = GetParam();
  HMIDIIN h = OpenInput();
  const std::vector<unsigned char> aSent = SysEx(n);
  m_peer.Send(aSent);
  ASSERT_TRUE(WaitFor([&] { return m_log.nBytes.load() >= n; })) << m_log.nBytes.load() << " of " << n;
  std::vector<BYTE> aGot;
  {
    const std::lock_guard<std::mutex> lock(m_log.mx);
    EXPECT_EQ(m_log.aBlocks.size(), (n + kBlock - 1) / kBlock);
    for (const auto& a : m_log.aBlocks) aGot.insert(aGot.end(), a.begin(), a.end());
  }
  EXPECT_EQ(aGot, std::vector<BYTE>(aSent.begin(), aSent.end()));
  EXPECT_EQ(m_pDriver->InClose(h), MMSYSERR_NOERROR);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RtMidiJackSysEx, ::testing::Values(8, 1024, 2821, 4691));

// A bridge splits at 256 bytes and clock or active sensing goes between the parts: the message
// still fills the headers whole and in order, a header goes back only when full or at the end,
// and the real-time bytes come as short messages of their own.
TEST_F(RtMidiJack, SysEx_SplitByABridgeArrivesWhole) {
  HMIDIIN h = OpenInput();
  const std::vector<unsigned char> aSent = SysEx(2821);
  m_peer.SendSplit(aSent, 256);
  ASSERT_TRUE(WaitFor([&] { return m_log.nBytes.load() >= aSent.size() && m_log.nShort.load() == 12; }))
      << m_log.nBytes.load() << " bytes, " << m_log.nShort.load() << " short messages";
  std::vector<BYTE> aGot;
  {
    const std::lock_guard<std::mutex> lock(m_log.mx);
    EXPECT_EQ(m_log.aBlocks.size(), 3U);
    for (const auto& a : m_log.aBlocks) aGot.insert(aGot.end(), a.begin(), a.end());
  }
  EXPECT_EQ(aGot, std::vector<BYTE>(aSent.begin(), aSent.end()));
  EXPECT_EQ(m_pDriver->InClose(h), MMSYSERR_NOERROR);
}

TEST_F(RtMidiJack, Reset_ReturnsEveryQueuedHeaderEmpty) {
  m_log.bGiveBack = false;
  HMIDIIN h = OpenInput();
  EXPECT_EQ(m_pDriver->InReset(h), MMSYSERR_NOERROR);
  {
    const std::lock_guard<std::mutex> lock(m_log.mx);
    ASSERT_EQ(m_log.aBlocks.size(), kHeaders);
    for (const auto& a : m_log.aBlocks) EXPECT_TRUE(a.empty());
  }
  for (const MIDIHDR& hdr : m_aHdr) EXPECT_NE(LoadHeaderFlags(hdr) & MHDR_DONE, 0U);
  // Nothing arrives after a reset until the headers are queued again.
  m_peer.Send(SysEx(100));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(m_log.nBytes.load(), 0U);
  EXPECT_EQ(m_pDriver->InClose(h), MMSYSERR_NOERROR);
}

// A header over the bytes of a, for an output.
MIDIHDR HeaderOf(std::vector<unsigned char>& a) {
  MIDIHDR hdr;
  hdr.lpData = reinterpret_cast<char*>(a.data());
  hdr.dwBufferLength = static_cast<DWORD>(a.size());
  return hdr;
}

class RtMidiJackOut : public RtMidiJack, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(RtMidiJackOut, LongMsg_ReachesThePeerWhole) {
  const int nDev = FindOut(*m_pDriver, kPeerWrite);
  ASSERT_GE(nDev, 0);
  HMIDIOUT h = nullptr;
  ASSERT_EQ(m_pDriver->OutOpen(&h, static_cast<UINT>(nDev), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the new connection settles
  std::vector<unsigned char> a = SysEx(GetParam());
  MIDIHDR hdr = HeaderOf(a);
  ASSERT_EQ(m_pDriver->OutPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(m_pDriver->OutLongMsg(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  EXPECT_NE(LoadHeaderFlags(hdr) & MHDR_DONE, 0U);
  ASSERT_TRUE(WaitFor([&] { return !m_peer.Received().empty(); }));
  EXPECT_EQ(m_peer.Received().front(), a);
  EXPECT_EQ(m_pDriver->OutClose(h), MMSYSERR_NOERROR);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RtMidiJackOut, ::testing::Values(8, 2821, 4096, 16379));

// The last request before a close (the mode-off request) reaches the instrument once: neither
// lost with the port nor read again from a buffer no one clears any more.
TEST_F(RtMidiJack, LongMsg_SentJustBeforeCloseArrivesOnce) {
  const int nDev = FindOut(*m_pDriver, kPeerWrite);
  ASSERT_GE(nDev, 0);
  std::vector<std::vector<unsigned char>> aSent;
  for (std::size_t nRound = 0; nRound < 4; ++nRound) {
    HMIDIOUT h = nullptr;
    ASSERT_EQ(m_pDriver->OutOpen(&h, static_cast<UINT>(nDev), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the new connection settles
    aSent.push_back(SysEx(8 + nRound));
    MIDIHDR hdr = HeaderOf(aSent.back());
    ASSERT_EQ(m_pDriver->OutPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(m_pDriver->OutLongMsg(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(m_pDriver->OutUnprepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(m_pDriver->OutClose(h), MMSYSERR_NOERROR);
  }
  WaitFor([&] { return m_peer.Received().size() > aSent.size(); }, 300);
  EXPECT_EQ(m_peer.Received(), aSent);
}

// A send the MIDI system refused (RtMidi reports it through the error callback, which fails the
// port) is the port's end: alsa-lib would send the refused event again with the next one, so
// what follows is refused and nothing more reaches the instrument.
TEST_F(RtMidiJack, LongMsg_AfterARefusedSendIsRefused) {
  const int nDev = FindOut(*m_pDriver, kPeerWrite);
  ASSERT_GE(nDev, 0);
  HMIDIOUT h = nullptr;
  ASSERT_EQ(m_pDriver->OutOpen(&h, static_cast<UINT>(nDev), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the new connection settles
  std::vector<unsigned char> a = SysEx(8);
  MIDIHDR hdr = HeaderOf(a);
  ASSERT_EQ(m_pDriver->OutPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(m_pDriver->OutLongMsg(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  reinterpret_cast<CRtMidiOutput*>(h)->SetFailed();  // what the error callback does on a refusal
  EXPECT_EQ(m_pDriver->OutLongMsg(h, &hdr, sizeof hdr), MMSYSERR_ERROR);
  WaitFor([&] { return m_peer.Received().size() > 1; }, 300);
  EXPECT_EQ(m_peer.Received(), std::vector<std::vector<unsigned char>>{a});
  EXPECT_EQ(m_pDriver->OutClose(h), MMSYSERR_NOERROR);
}

TEST_F(RtMidiJack, LongMsg_LongerThanJackCarriesIsRefused) {
  const int nDev = FindOut(*m_pDriver, kPeerWrite);
  ASSERT_GE(nDev, 0);
  HMIDIOUT h = nullptr;
  ASSERT_EQ(m_pDriver->OutOpen(&h, static_cast<UINT>(nDev), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::vector<unsigned char> a = SysEx(16380);
  MIDIHDR hdr = HeaderOf(a);
  ASSERT_EQ(m_pDriver->OutPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(m_pDriver->OutLongMsg(h, &hdr, sizeof hdr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(m_pDriver->OutClose(h), MMSYSERR_NOERROR);
}

TEST_F(RtMidiJack, DeviceChange_ReportedWhenThePeersPortsGo) {
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const int nBefore = m_nChanges.load();
  m_peer.ClosePorts();
  EXPECT_TRUE(WaitFor([&] { return m_nChanges.load() > nBefore; }, 2000));
  EXPECT_EQ(FindIn(*m_pDriver, kPeerRead), -1);
}

struct CNoSystemCase {
  EMidiApi eApi;
  const char* pszError;
};

void PrintTo(const CNoSystemCase& c, std::ostream* pOs) { *pOs << NameOf(c.eApi); }

class RtMidiNoSystem : public ::testing::TestWithParam<CNoSystemCase> {};

TEST_P(RtMidiNoSystem, Create_FailsWithOneSentenceAndPrintsNothing) {
  const char* pszOld = std::getenv("JACK_DEFAULT_SERVER");
  const std::string strOld = pszOld == nullptr ? "" : pszOld;
  ::setenv("JACK_DEFAULT_SERVER", "velda-no-such-server", 1);
  CRtMidiOptions opt;
  opt.eApi = GetParam().eApi;
  std::string strError;
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  auto p = CRtMidiDriver::Create(opt, strError);
  const std::string strOut = ::testing::internal::GetCapturedStdout();
  const std::string strErr = ::testing::internal::GetCapturedStderr();
  ::setenv("JACK_DEFAULT_SERVER", strOld.c_str(), 1);
  if (p != nullptr) GTEST_SKIP() << "this machine has that MIDI system";
  EXPECT_EQ(strError, GetParam().pszError);
  EXPECT_EQ(strOut, "");
  EXPECT_EQ(strErr, "");
}

INSTANTIATE_TEST_SUITE_P(
    Apis, RtMidiNoSystem,
    ::testing::Values(CNoSystemCase{EMidiApi::Jack, "no MIDI system is available: no JACK server is running"},
                      CNoSystemCase{EMidiApi::Alsa,
                                    "no MIDI system is available: the ALSA sequencer cannot be opened"}));

}  // namespace
}  // namespace velda::rtmidi
