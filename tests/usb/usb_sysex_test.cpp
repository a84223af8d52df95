// SysEx both ways across the kernel's USB-MIDI stack (run inside the test machine by
// scenarios.sh): the installer's ALSA backend on the host's port, and an RtMidi peer on the
// gadget's port (the instrument's side of the cable). The peer's own sequencer path into the
// gadget carries one page per event, so messages from the device stop at 4096 bytes; towards
// the device 4097 bytes is sent too, and must be refused. Every message arrives whole, or its send is
// refused with an error; none is cut short in silence.
#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "midi/driver/rtmidi/rtmidi_midi_driver.h"
#include "protocol/area_reply.h"
#include "protocol/messages.h"

namespace velda::rtmidi {
namespace {

constexpr const char* kUsbPort = "HALVEN USB MIDI 1";  // the host's name for the device's port
constexpr const char* kGadgetPort = "f_midi";          // the device side's port
constexpr std::size_t kHeaders = 8;
constexpr std::size_t kBlock = 1024;

template <class TPred>
bool WaitFor(TPred pred, int nMs = 8000) {
  for (int i = 0; i < nMs / 10; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return pred();
}

std::vector<unsigned char> SysEx(std::size_t n) {
  std::vector<unsigned char> a(n);
  a.front() = 0xF0;
  for (std::size_t i = 1; i + 1 < n; ++i) a[i] = static_cast<unsigned char>((i * 7) % 0x80);
  a.back() = 0xF7;
  return a;
}

unsigned FindRtPort(RtMidi& m, const std::string& strName) {
  for (unsigned i = 0; i < m.getPortCount(); ++i) {
    if (m.getPortName(i).find(strName) != std::string::npos) return i;
  }
  return ~0U;
}

// The device's side: RtMidi subscribed to the gadget's port both ways.
class CGadgetPeer {
 public:
  CGadgetPeer() : m_in(RtMidi::LINUX_ALSA, "velda-gadget-peer"), m_out(RtMidi::LINUX_ALSA, "velda-gadget-peer") {
    m_in.ignoreTypes(false, true, true);
    m_in.setCallback(&CGadgetPeer::OnMessage, this);
    const unsigned nIn = FindRtPort(m_in, kGadgetPort);
    const unsigned nOut = FindRtPort(m_out, kGadgetPort);
    if (nIn == ~0U || nOut == ~0U) throw std::runtime_error("no gadget port");
    m_in.openPort(nIn);
    m_out.openPort(nOut);
  }
  bool Send(const std::vector<unsigned char>& a) {
    m_out.sendMessage(&a);
    return true;
  }
  std::vector<unsigned char> Received() {
    const std::lock_guard<std::mutex> lock(m_mx);
    return m_aReceived;
  }

 private:
  static void OnMessage(double, std::vector<unsigned char>* p, void* pUser) {
    auto* pThis = static_cast<CGadgetPeer*>(pUser);
    const std::lock_guard<std::mutex> lock(pThis->m_mx);
    pThis->m_aReceived.insert(pThis->m_aReceived.end(), p->begin(), p->end());
  }
  RtMidiIn m_in;
  RtMidiOut m_out;
  std::mutex m_mx;
  std::vector<unsigned char> m_aReceived;  // every message's bytes, one after another
};

struct CInLog {
  CMidiDriver* pDriver = nullptr;
  std::mutex mx;
  std::vector<BYTE> aBytes;
  std::atomic<std::size_t> nBytes{0};
};

void CALLBACK_InProc(HMIDIIN h, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR) {
  if (wMsg != MIM_LONGDATA) return;
  auto* pLog = reinterpret_cast<CInLog*>(dwInstance);
  auto* pHdr = reinterpret_cast<MIDIHDR*>(dwParam1);
  {
    const std::lock_guard<std::mutex> lock(pLog->mx);
    pLog->aBytes.insert(pLog->aBytes.end(), pHdr->lpData, pHdr->lpData + pHdr->dwBytesRecorded);
  }
  pLog->nBytes += pHdr->dwBytesRecorded;
  pLog->pDriver->InPrepareHeader(h, pHdr, sizeof(MIDIHDR));
  pLog->pDriver->InAddBuffer(h, pHdr, sizeof(MIDIHDR));
}

template <class TCaps, class TCount, class TCapsOf>
int FindDevice(TCount fnCount, TCapsOf fnCaps, const std::string& strName) {
  const UINT n = fnCount();
  for (UINT i = 0; i < n; ++i) {
    TCaps caps;
    if (fnCaps(i, &caps) == MMSYSERR_NOERROR && PnameToString(caps.szPname).Str() == strName)
      return static_cast<int>(i);
  }
  return -1;
}

// The index of the input or output named strName, -1 when none is.
int InDevice(CMidiDriver& d, const std::string& strName) {
  return FindDevice<MIDIINCAPS>([&] { return d.InGetNumDevs(); },
                                [&](UINT i, MIDIINCAPS* p) { return d.InGetDevCaps(i, p, sizeof *p); }, strName);
}
int OutDevice(CMidiDriver& d, const std::string& strName) {
  return FindDevice<MIDIOUTCAPS>([&] { return d.OutGetNumDevs(); },
                                 [&](UINT i, MIDIOUTCAPS* p) { return d.OutGetDevCaps(i, p, sizeof *p); }, strName);
}

class UsbSysEx : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    CRtMidiOptions opt;
    opt.eApi = EMidiApi::Alsa;
    opt.strClientName = "velda-usb-test";
    opt.nWatchMs = 0;
    std::string strError;
    m_pDriver = CRtMidiDriver::Create(opt, strError);
    ASSERT_NE(m_pDriver, nullptr) << strError;
    m_log.pDriver = m_pDriver.get();
    m_pPeer = std::make_unique<CGadgetPeer>();
  }

  std::unique_ptr<CRtMidiDriver> m_pDriver;
  std::unique_ptr<CGadgetPeer> m_pPeer;
  CInLog m_log;
};

class UsbSysExFromDevice : public UsbSysEx {};

// The installer's input on one port, with its headers queued and given back as they come.
class CListening {
 public:
  CListening(CMidiDriver& d, CInLog& log) : m_d(d), m_aBuf(kHeaders, std::vector<BYTE>(kBlock)) {
    log.pDriver = &d;
    m_pLog = &log;
  }
  ~CListening() {
    if (m_h == nullptr) return;
    EXPECT_EQ(m_d.InReset(m_h), MMSYSERR_NOERROR);
    EXPECT_EQ(m_d.InClose(m_h), MMSYSERR_NOERROR);
  }
  CListening(const CListening&) = delete;
  CListening& operator=(const CListening&) = delete;
  // Opens the input named strPort and starts it; a failure is the test's.
  void Open(const std::string& strPort) {
    const int nDev = InDevice(m_d, strPort);
    ASSERT_GE(nDev, 0) << "no input \"" << strPort << "\"";
    ASSERT_EQ(m_d.InOpen(&m_h, static_cast<UINT>(nDev), reinterpret_cast<DWORD_PTR>(&CALLBACK_InProc),
                         reinterpret_cast<DWORD_PTR>(m_pLog), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    for (std::size_t i = 0; i < kHeaders; ++i) {
      m_aHdr[i].lpData = reinterpret_cast<char*>(m_aBuf[i].data());
      m_aHdr[i].dwBufferLength = kBlock;
      ASSERT_EQ(m_d.InPrepareHeader(m_h, &m_aHdr[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
      ASSERT_EQ(m_d.InAddBuffer(m_h, &m_aHdr[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(m_d.InStart(m_h), MMSYSERR_NOERROR);
  }

 private:
  CMidiDriver& m_d;
  CInLog* m_pLog = nullptr;
  HMIDIIN m_h = nullptr;
  MIDIHDR m_aHdr[kHeaders];
  std::vector<std::vector<BYTE>> m_aBuf;
};

TEST_P(UsbSysExFromDevice, FromTheDevice_ArrivesWhole) {
  CListening in(*m_pDriver, m_log);
  ASSERT_NO_FATAL_FAILURE(in.Open(kUsbPort));
  const std::vector<unsigned char> aSent = SysEx(GetParam());
  ASSERT_TRUE(m_pPeer->Send(aSent));
  EXPECT_TRUE(WaitFor([&] { return m_log.nBytes.load() >= aSent.size(); }))
      << m_log.nBytes.load() << " of " << aSent.size() << " bytes arrived";
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // nothing more comes
  const std::lock_guard<std::mutex> lock(m_log.mx);
  EXPECT_EQ(m_log.aBytes, std::vector<BYTE>(aSent.begin(), aSent.end()));
}

TEST_P(UsbSysEx, ToTheDevice_ArrivesWholeOrIsRefused) {
  CRtMidiDriver& d = *m_pDriver;
  const int nDev = OutDevice(d, kUsbPort);
  ASSERT_GE(nDev, 0);
  HMIDIOUT h = nullptr;
  ASSERT_EQ(d.OutOpen(&h, static_cast<UINT>(nDev), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::vector<unsigned char> a = SysEx(GetParam());
  MIDIHDR hdr;
  hdr.lpData = reinterpret_cast<char*>(a.data());
  hdr.dwBufferLength = static_cast<DWORD>(a.size());
  ASSERT_EQ(d.OutPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  const MMRESULT r = d.OutLongMsg(h, &hdr, sizeof hdr);
  if (r == MMSYSERR_NOERROR) {
    EXPECT_TRUE(WaitFor([&] { return m_pPeer->Received().size() >= a.size(); }))
        << m_pPeer->Received().size() << " of " << a.size() << " bytes arrived after a send reported done";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(m_pPeer->Received(), a);
  } else {
    // Refused: then nothing of it may have gone out.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(m_pPeer->Received().empty()) << "a refused message was partly sent";
  }
  EXPECT_EQ(d.OutClose(h), MMSYSERR_NOERROR);
}

INSTANTIATE_TEST_SUITE_P(Sizes, UsbSysEx, ::testing::Values(8, 1024, 2821, 4096, 4097));

// The device unplugged and plugged back at once (the gadget unbound and bound again): the
// sequencer's announcements report it, with the periodic look a minute away.
TEST(UsbDeviceChange, AQuickReEnumerationIsReported) {
  const char* pszGadget = std::getenv("VELDA_USB_GADGET");
  ASSERT_NE(pszGadget, nullptr) << "VELDA_USB_GADGET names the gadget's configfs folder";
  const std::string strUdc = std::string(pszGadget) + "/UDC";
  std::string strController;
  std::getline(std::ifstream(strUdc), strController);
  ASSERT_FALSE(strController.empty()) << "the gadget is not bound";
  std::atomic<int> nChanges{0};
  CRtMidiOptions opt;
  opt.eApi = EMidiApi::Alsa;
  opt.strClientName = "velda-usb-test";
  opt.nWatchMs = 60000;
  opt.fnDeviceChange = [&] { ++nChanges; };
  std::string strError;
  std::unique_ptr<CRtMidiDriver> pDriver = CRtMidiDriver::Create(opt, strError);
  ASSERT_NE(pDriver, nullptr) << strError;
  auto fnListed = [&] { return InDevice(*pDriver, kUsbPort) >= 0; };
  ASSERT_TRUE(fnListed());
  std::ofstream(strUdc) << "\n";
  std::ofstream(strUdc) << strController << "\n";
  EXPECT_TRUE(WaitFor([&] { return nChanges.load() > 0; }, 5000)) << "no device change was reported";
  EXPECT_TRUE(WaitFor(fnListed)) << "the device did not come back";
}
INSTANTIATE_TEST_SUITE_P(Sizes, UsbSysExFromDevice, ::testing::Values(8, 1024, 2821, 4096));

// velda-sim on the sequencer, talking straight to the installer's backend (no USB between them):
// an area-check reply of 7031 bytes is larger than the receiver's input pool, so it must go in
// parts the receiver has room for; and the instrument answers on afterwards.
class CSimProcess {
 public:
  CSimProcess() {
    const char* pszSim = std::getenv("VELDA_SIM");
    if (pszSim == nullptr) return;
    m_pid = fork();
    if (m_pid == 0) {
      execl(pszSim, pszSim, "--midi-api", "alsa", "--instrument", "restart=off", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~CSimProcess() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
  }
  CSimProcess(const CSimProcess&) = delete;
  CSimProcess& operator=(const CSimProcess&) = delete;
  bool Started() const { return m_pid > 0; }

 private:
  pid_t m_pid = -1;
};

// The messages in a stream of bytes, each from its F0 to its F7.
std::vector<std::vector<BYTE>> MessagesIn(const std::vector<BYTE>& a) {
  std::vector<std::vector<BYTE>> aMessages;
  for (auto it = std::find(a.begin(), a.end(), SYSEX_START); it != a.end();) {
    const auto itEnd = std::find(it, a.end(), SYSEX_END);
    if (itEnd == a.end()) break;
    aMessages.emplace_back(it, itEnd + 1);
    it = std::find(itEnd, a.end(), SYSEX_START);
  }
  return aMessages;
}

TEST(SimOverAlsa, ALargeReplyArrivesWholeAndTheSimKeepsAnswering) {
  CSimProcess sim;
  ASSERT_TRUE(sim.Started()) << "VELDA_SIM names velda-sim";
  CRtMidiOptions opt;
  opt.eApi = EMidiApi::Alsa;
  opt.strClientName = "velda-usb-test";
  opt.nWatchMs = 0;
  std::string strError;
  std::unique_ptr<CRtMidiDriver> pDriver = CRtMidiDriver::Create(opt, strError);
  ASSERT_NE(pDriver, nullptr) << strError;
  CRtMidiDriver& d = *pDriver;
  int nOut = -1;
  ASSERT_TRUE(WaitFor([&] {
    nOut = OutDevice(d, "HALVEN USB OUT 0-1");
    return nOut >= 0 && InDevice(d, "HALVEN USB IN 0-1") >= 0;
  })) << "velda-sim's ports never appeared";
  CInLog log;
  CListening in(d, log);
  ASSERT_NO_FATAL_FAILURE(in.Open("HALVEN USB IN 0-1"));
  HMIDIOUT hOut = nullptr;
  ASSERT_EQ(d.OutOpen(&hOut, static_cast<UINT>(nOut), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  // Sends one request and waits for the next whole message back.
  auto fnAsk = [&](CSysEx aRequest) {
    const std::size_t nBefore = [&] {
      const std::lock_guard<std::mutex> lock(log.mx);
      return MessagesIn(log.aBytes).size();
    }();
    MIDIHDR hdr;
    hdr.lpData = reinterpret_cast<char*>(aRequest.data());
    hdr.dwBufferLength = static_cast<DWORD>(aRequest.size());
    EXPECT_EQ(d.OutPrepareHeader(hOut, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    EXPECT_EQ(d.OutLongMsg(hOut, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    std::vector<BYTE> aReply;
    WaitFor([&] {
      const std::lock_guard<std::mutex> lock(log.mx);
      const std::vector<std::vector<BYTE>> aMessages = MessagesIn(log.aBytes);
      if (aMessages.size() > nBefore) aReply = aMessages[nBefore];
      return !aReply.empty();
    });
    d.OutUnprepareHeader(hOut, &hdr, sizeof hdr);
    return aReply;
  };
  const std::vector<BYTE> aModeOn = fnAsk(BuildModeOn(fw::CString("#5168_1994KESTRA")));
  ASSERT_EQ(aModeOn.size(), 9U) << "no reply to mode on";
  ASSERT_EQ(std::vector<BYTE>(aModeOn.begin() + 5, aModeOn.end()), (std::vector<BYTE>{0x00, 0x40, 0x01, 0xF7}))
      << "mode on was not accepted";
  constexpr fw::UINT kLength = 0x1800;  // 7031 bytes packed
  for (int nRound = 0; nRound < 2; ++nRound) {
    const std::vector<BYTE> aReply = fnAsk(BuildAreaCheck(kLength, 0));
    ASSERT_EQ(aReply.size(), 7031U) << "round " << nRound << ": the area-check reply did not arrive whole";
    std::vector<BYTE> aData(kLength);
    const CAreaDecodeResult r = DecodeAreaReply(aReply.data(), aReply.size(), aData.data(), aData.size());
    EXPECT_TRUE(r.bChecksumOk);
    EXPECT_EQ(r.nBytes, kLength);
    EXPECT_EQ(std::count(aData.begin(), aData.end(), 0xFF), kLength) << "erased memory reads as FF";
  }
  EXPECT_FALSE(fnAsk(BuildInquiry()).empty()) << "velda-sim stopped answering after the large replies";
  EXPECT_EQ(d.OutClose(hOut), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace velda::rtmidi
