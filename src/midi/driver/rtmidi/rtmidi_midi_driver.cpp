#include "midi/driver/rtmidi/rtmidi_midi_driver.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <chrono>

#include "fw/wnd.h"
#include "midi/driver/rtmidi/alsa_announce.h"
#include "midi/driver/rtmidi/jack_client.h"
#include "midi/driver/rtmidi/library_notes.h"
#include "midi/driver/rtmidi/rt_api.h"
#include "midi/driver/rtmidi/rtmidi_input.h"
#include "midi/driver/rtmidi/rtmidi_output.h"

namespace velda::rtmidi {

namespace {

// A sequencer event towards a hardware port is written whole into the port's raw MIDI buffer,
// one page (4096 bytes at the least): a longer one is dropped by the kernel without a word,
// after the send has been reported done. So a longer message is refused before anything is sent.
constexpr std::size_t kAlsaMaxMessage = 4096;
constexpr std::uint64_t kReviveEveryMs = 1000;

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

// RtMidi's errors and warnings after construction: notes; userData, when given, is an output
// whose sends then stop.
void OnRtError(RtMidiError::Type eType, const std::string& strText, void* pUser) {
  LibraryNote("rtmidi: " + strText);
  if (pUser != nullptr && eType != RtMidiError::WARNING && eType != RtMidiError::DEBUG_WARNING) {
    static_cast<CRtMidiOutput*>(pUser)->SetFailed();
  }
}

template <class TRt>
std::vector<std::string> PortNames(TRt& rt) {
  std::vector<std::string> a;
  const unsigned int n = rt.getPortCount();
  for (unsigned int i = 0; i < n; ++i) a.push_back(rt.getPortName(i));
  return a;
}

// The index of a port in an RtMidi object's own list, or -1.
template <class TRt>
int IndexOf(TRt& rt, const std::string& strFull) {
  const std::vector<std::string> a = PortNames(rt);
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == strFull) return static_cast<int>(i);
  }
  return -1;
}

bool IsHeaderArgOk(const MIDIHDR* pHdr, UINT cbHdr) { return pHdr != nullptr && cbHdr >= sizeof(MIDIHDR); }

MMRESULT PrepareHeader(MIDIHDR* pHdr) {
  if (pHdr->lpData == nullptr || pHdr->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  StoreHeaderFlags(*pHdr, LoadHeaderFlags(*pHdr) | MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT UnprepareHeader(MIDIHDR* pHdr) {
  const DWORD dwFlags = LoadHeaderFlags(*pHdr);
  if ((dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
  StoreHeaderFlags(*pHdr, dwFlags & ~MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

}  // namespace

std::size_t CRtMidiDriver::MaxMessage(EMidiApi eApi) {
  return eApi == EMidiApi::Jack ? CJackClient::kMaxMessage : kAlsaMaxMessage;
}

std::unique_ptr<CRtMidiDriver> CRtMidiDriver::Create(const CRtMidiOptions& opt, std::string& strError) {
  std::unique_ptr<CRtMidiDriver> p(new CRtMidiDriver(opt));
  {
    const std::lock_guard<std::mutex> lock(p->m_mxDir);
    if (!p->MakeDirectory(strError)) return nullptr;
    p->m_aSeenIn = p->ListIn();
    p->m_aSeenOut = p->ListOut();
  }
  if (opt.nWatchMs != 0) {
    if (opt.eApi == EMidiApi::Alsa) {
      p->m_pAnnounce = CAlsaAnnounce::Open(opt.strClientName);
      if (p->m_pAnnounce == nullptr) LibraryNote("alsa: no announcements: device changes are seen by looking only");
    }
    p->m_watcher = std::thread([q = p.get()] { q->WatchLoop(); });
  }
  return p;
}

CRtMidiDriver::CRtMidiDriver(const CRtMidiOptions& opt) : m_opt(opt) {
  if (!m_opt.fnDeviceChange) {
    m_opt.fnDeviceChange = [] { fw::PostToMainWindow(fw::WM_DEVICECHANGE, fw::DBT_DEVNODES_CHANGED, 0); };
  }
}

CRtMidiDriver::~CRtMidiDriver() {
  {
    const std::lock_guard<std::mutex> lock(m_mxStop);
    m_bStop = true;
  }
  m_cvStop.notify_all();
  if (m_pAnnounce != nullptr) m_pAnnounce->Wake();
  if (m_watcher.joinable()) m_watcher.join();
  m_pAnnounce.reset();
  // Ports first, then the listing objects, then the watch: every client closes before the next.
  {
    const std::lock_guard<std::mutex> lock(m_mxHandles);
    for (auto& [h, pIn] : m_ins) pIn->Close();
    m_ins.clear();
    m_outs.clear();
  }
  const std::lock_guard<std::mutex> lock(m_mxDir);
  DropDirectory();
}

bool CRtMidiDriver::ServerGone() const {
  const std::lock_guard<std::mutex> lock(m_mxDir);
  return m_bGone;
}

bool CRtMidiDriver::MakeDirectory(std::string& strError) {
  if (m_opt.eApi == EMidiApi::Jack) {
    m_pJack = CJackClient::Open(m_opt.strClientName);
    if (m_pJack == nullptr) {
      strError = "no MIDI system is available: no JACK server is running";
      return false;
    }
    return true;
  }
  try {
    CaptureLibraryOutput();
    m_pListIn = std::make_unique<RtMidiIn>(RtApiOf(m_opt.eApi), m_opt.strClientName);
    m_pListIn->setErrorCallback(&OnRtError, nullptr);
    m_pListOut = std::make_unique<RtMidiOut>(RtApiOf(m_opt.eApi), m_opt.strClientName);
    m_pListOut->setErrorCallback(&OnRtError, nullptr);
  } catch (const RtMidiError& e) {
    LibraryNote(std::string("rtmidi: ") + e.what());
    DropDirectory();
    strError = "no MIDI system is available: the ALSA sequencer cannot be opened";
    return false;
  }
  return true;
}

void CRtMidiDriver::DropDirectory() {
  m_pListIn.reset();
  m_pListOut.reset();
  m_pJack.reset();
}

bool CRtMidiDriver::Usable() {
  if (!m_bGone && m_pJack != nullptr && m_pJack->ServerGone()) {
    m_bGone = true;
    LibraryNote("the JACK server has gone away: no MIDI devices until it is back and every port is closed");
  }
  if (!m_bGone) return m_pListIn != nullptr || m_pJack != nullptr;
  {
    const std::lock_guard<std::mutex> lock(m_mxHandles);
    if (!m_ins.empty() || !m_outs.empty()) return false;
  }
  DropDirectory();  // every dead client is closed before a new one is made
  if (NowMs() - m_nLastRevive < kReviveEveryMs) return false;
  m_nLastRevive = NowMs();
  std::string strError;
  if (!MakeDirectory(strError)) {
    DropDirectory();
    return false;
  }
  m_bGone = false;
  LibraryNote("a JACK server answers again");
  return true;
}

std::vector<CRtMidiDriver::CPort> CRtMidiDriver::ListIn() {
  std::vector<CPort> a;
  if (m_bGone) return a;
  std::vector<std::string> aNames;
  if (m_pJack != nullptr) {
    aNames = m_pJack->ListPorts(true);
  } else if (m_pListIn != nullptr) {
    aNames = PortNames(*m_pListIn);
  }
  for (const std::string& s : aNames) {
    if (!IsOwnClient(s, m_opt.strClientName)) a.push_back(CPort{s, ProductNameOf(m_opt.eApi, s)});
  }
  return a;
}

std::vector<CRtMidiDriver::CPort> CRtMidiDriver::ListOut() {
  std::vector<CPort> a;
  if (m_bGone) return a;
  std::vector<std::string> aNames;
  if (m_pJack != nullptr) {
    aNames = m_pJack->ListPorts(false);
  } else if (m_pListOut != nullptr) {
    aNames = PortNames(*m_pListOut);
  }
  for (const std::string& s : aNames) {
    if (!IsOwnClient(s, m_opt.strClientName)) a.push_back(CPort{s, ProductNameOf(m_opt.eApi, s)});
  }
  return a;
}

std::vector<int> CRtMidiDriver::WaitForNextLook() {
  if (m_pAnnounce != nullptr) return m_pAnnounce->Wait(m_opt.nWatchMs);
  std::unique_lock<std::mutex> lockStop(m_mxStop);
  m_cvStop.wait_for(lockStop, std::chrono::milliseconds(m_opt.nWatchMs), [this] { return m_bStop; });
  return {};
}

bool CRtMidiDriver::ListsAnyOf(const std::vector<int>& aClients) const {
  for (const std::vector<CPort>* pList : {&m_aSeenIn, &m_aSeenOut}) {
    for (const CPort& port : *pList) {
      if (std::find(aClients.begin(), aClients.end(), AlsaClientOf(port.strFull)) != aClients.end()) return true;
    }
  }
  return false;
}

void CRtMidiDriver::WatchLoop() {
  for (;;) {
    const std::vector<int> aAnnounced = WaitForNextLook();
    {
      const std::lock_guard<std::mutex> lock(m_mxStop);
      if (m_bStop) return;
    }
    bool bChanged = false;
    {
      const std::lock_guard<std::mutex> lock(m_mxDir);
      std::vector<CPort> aIn = ListIn();
      std::vector<CPort> aOut = ListOut();
      bChanged = aIn != m_aSeenIn || aOut != m_aSeenOut || ListsAnyOf(aAnnounced);
      m_aSeenIn = std::move(aIn);
      m_aSeenOut = std::move(aOut);
    }
    if (bChanged) m_opt.fnDeviceChange();
  }
}

CRtMidiInput* CRtMidiDriver::FindIn(HMIDIIN h) {
  const std::lock_guard<std::mutex> lock(m_mxHandles);
  const auto it = m_ins.find(h);
  return it == m_ins.end() ? nullptr : it->second.get();
}

CRtMidiOutput* CRtMidiDriver::FindOut(HMIDIOUT h) {
  const std::lock_guard<std::mutex> lock(m_mxHandles);
  const auto it = m_outs.find(h);
  return it == m_outs.end() ? nullptr : it->second.get();
}

// ---- Input ----

UINT CRtMidiDriver::InGetNumDevs() {
  const std::lock_guard<std::mutex> lock(m_mxDir);
  m_aIn = Usable() ? ListIn() : std::vector<CPort>{};
  return static_cast<UINT>(m_aIn.size());
}

MMRESULT CRtMidiDriver::InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) {
  if (pCaps == nullptr || cbCaps < sizeof(MIDIINCAPS)) return MMSYSERR_INVALPARAM;
  const std::lock_guard<std::mutex> lock(m_mxDir);
  if (uDeviceId >= m_aIn.size()) return MMSYSERR_BADDEVICEID;
  *pCaps = MIDIINCAPS{};
  StringToPname(m_aIn[uDeviceId].strProduct, pCaps->szPname);
  return MMSYSERR_NOERROR;
}

MMRESULT CRtMidiDriver::InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                               DWORD fdwOpen) {
  if (phMidiIn == nullptr) return MMSYSERR_INVALPARAM;
  *phMidiIn = nullptr;
  if ((fdwOpen & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION && (fdwOpen & CALLBACK_TYPEMASK) != CALLBACK_NULL) {
    return MMSYSERR_INVALFLAG;
  }
  const std::lock_guard<std::mutex> lock(m_mxDir);
  if (!Usable()) return MMSYSERR_NODRIVER;
  if (uDeviceId >= m_aIn.size()) return MMSYSERR_BADDEVICEID;
  auto* pfn = (fdwOpen & CALLBACK_TYPEMASK) == CALLBACK_FUNCTION ? reinterpret_cast<MIDIINPROC>(dwCallback) : nullptr;
  auto pInput = std::make_unique<CRtMidiInput>(pfn, dwInstance);
  if (m_pJack != nullptr) {
    CJackPort* pPort = m_pJack->OpenInput("in", m_aIn[uDeviceId].strFull, &CRtMidiInput::OnJackBytes, pInput.get());
    if (pPort == nullptr) return MMSYSERR_ERROR;
    pInput->AttachJack(m_pJack.get(), pPort);
  } else {
    try {
      auto pRt = std::make_unique<RtMidiIn>(RtApiOf(m_opt.eApi), m_opt.strClientName);
      pRt->setErrorCallback(&OnRtError, nullptr);
      pRt->ignoreTypes(false, true, true);  // system-exclusive in; clock and active sensing out
      const int nIndex = IndexOf(*pRt, m_aIn[uDeviceId].strFull);
      if (nIndex < 0) return MMSYSERR_BADDEVICEID;  // gone since it was counted
      pRt->openPort(static_cast<unsigned int>(nIndex), "in");
      if (!pRt->isPortOpen()) return MMSYSERR_ERROR;
      pInput->Attach(std::move(pRt));
    } catch (const RtMidiError& e) {
      LibraryNote(std::string("rtmidi: ") + e.what());
      return MMSYSERR_ERROR;
    }
  }
  CRtMidiInput* p = pInput.get();
  {
    const std::lock_guard<std::mutex> lockHandles(m_mxHandles);
    m_ins.emplace(p->Handle(), std::move(pInput));
  }
  *phMidiIn = p->Handle();
  p->ConfirmOpen();
  return MMSYSERR_NOERROR;
}

MMRESULT CRtMidiDriver::InStart(HMIDIIN hMidiIn) {
  CRtMidiInput* p = FindIn(hMidiIn);
  return p == nullptr ? MMSYSERR_INVALHANDLE : p->Start();
}

MMRESULT CRtMidiDriver::InStop(HMIDIIN hMidiIn) {
  CRtMidiInput* p = FindIn(hMidiIn);
  return p == nullptr ? MMSYSERR_INVALHANDLE : p->Stop();
}

MMRESULT CRtMidiDriver::InReset(HMIDIIN hMidiIn) {
  CRtMidiInput* p = FindIn(hMidiIn);
  return p == nullptr ? MMSYSERR_INVALHANDLE : p->Reset();
}

MMRESULT CRtMidiDriver::InClose(HMIDIIN hMidiIn) {
  std::unique_ptr<CRtMidiInput> pInput;
  {
    const std::lock_guard<std::mutex> lock(m_mxHandles);
    const auto it = m_ins.find(hMidiIn);
    if (it == m_ins.end()) return MMSYSERR_INVALHANDLE;
    pInput = std::move(it->second);
    m_ins.erase(it);
  }
  pInput->Close();
  return MMSYSERR_NOERROR;
}

MMRESULT CRtMidiDriver::InPrepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  if (!IsHeaderArgOk(pHdr, cbHdr)) return MMSYSERR_INVALPARAM;
  // From inside the callback the handle is the one calling back: no look-up (and no lock).
  const auto* pHere = reinterpret_cast<CRtMidiInput*>(hMidiIn);
  if (pHere == nullptr || (!pHere->IsCallingBackHere() && FindIn(hMidiIn) == nullptr)) return MMSYSERR_INVALHANDLE;
  return PrepareHeader(pHdr);
}

MMRESULT CRtMidiDriver::InUnprepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  if (!IsHeaderArgOk(pHdr, cbHdr)) return MMSYSERR_INVALPARAM;
  const auto* pHere = reinterpret_cast<CRtMidiInput*>(hMidiIn);
  if (pHere == nullptr || (!pHere->IsCallingBackHere() && FindIn(hMidiIn) == nullptr)) return MMSYSERR_INVALHANDLE;
  return UnprepareHeader(pHdr);
}

MMRESULT CRtMidiDriver::InAddBuffer(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) {
  if (!IsHeaderArgOk(pHdr, cbHdr)) return MMSYSERR_INVALPARAM;
  auto* pHere = reinterpret_cast<CRtMidiInput*>(hMidiIn);
  if (pHere == nullptr) return MMSYSERR_INVALHANDLE;
  if (!pHere->IsCallingBackHere()) {
    pHere = FindIn(hMidiIn);
    if (pHere == nullptr) return MMSYSERR_INVALHANDLE;
  }
  return pHere->AddBuffer(pHdr);
}

// ---- Output ----

UINT CRtMidiDriver::OutGetNumDevs() {
  const std::lock_guard<std::mutex> lock(m_mxDir);
  m_aOut = Usable() ? ListOut() : std::vector<CPort>{};
  return static_cast<UINT>(m_aOut.size());
}

MMRESULT CRtMidiDriver::OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) {
  if (pCaps == nullptr || cbCaps < sizeof(MIDIOUTCAPS)) return MMSYSERR_INVALPARAM;
  const std::lock_guard<std::mutex> lock(m_mxDir);
  if (uDeviceId >= m_aOut.size()) return MMSYSERR_BADDEVICEID;
  *pCaps = MIDIOUTCAPS{};
  StringToPname(m_aOut[uDeviceId].strProduct, pCaps->szPname);
  return MMSYSERR_NOERROR;
}

std::string CRtMidiDriver::InSystemName(UINT uDeviceId) {
  const std::lock_guard<std::mutex> lock(m_mxDir);
  return uDeviceId < m_aIn.size() ? m_aIn[uDeviceId].strFull : std::string();
}

std::string CRtMidiDriver::OutSystemName(UINT uDeviceId) {
  const std::lock_guard<std::mutex> lock(m_mxDir);
  return uDeviceId < m_aOut.size() ? m_aOut[uDeviceId].strFull : std::string();
}

MMRESULT CRtMidiDriver::OutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR /*dwCallback*/, DWORD_PTR /*dwInstance*/,
                                DWORD fdwOpen) {
  if (phMidiOut == nullptr) return MMSYSERR_INVALPARAM;
  *phMidiOut = nullptr;
  if ((fdwOpen & CALLBACK_TYPEMASK) != CALLBACK_NULL) return MMSYSERR_INVALFLAG;
  const std::lock_guard<std::mutex> lock(m_mxDir);
  if (!Usable()) return MMSYSERR_NODRIVER;
  if (uDeviceId == MIDI_MAPPER) return MIDIERR_NODEVICE;  // there is no mapper here
  if (uDeviceId >= m_aOut.size()) return MMSYSERR_BADDEVICEID;
  std::unique_ptr<CRtMidiOutput> pOutput;
  if (m_pJack != nullptr) {
    CJackPort* pPort = m_pJack->OpenOutput("out", m_aOut[uDeviceId].strFull);
    if (pPort == nullptr) return MMSYSERR_ERROR;
    pOutput = std::make_unique<CRtMidiOutput>(m_pJack.get(), pPort);
  } else {
    try {
      auto pRt = std::make_unique<RtMidiOut>(RtApiOf(m_opt.eApi), m_opt.strClientName);
      pRt->setErrorCallback(&OnRtError, nullptr);
      const int nIndex = IndexOf(*pRt, m_aOut[uDeviceId].strFull);
      if (nIndex < 0) return MMSYSERR_BADDEVICEID;
      pRt->openPort(static_cast<unsigned int>(nIndex), "out");
      if (!pRt->isPortOpen()) return MMSYSERR_ERROR;
      RtMidiOut* pRaw = pRt.get();
      pOutput = std::make_unique<CRtMidiOutput>(std::move(pRt), MaxMessage(m_opt.eApi));
      pRaw->setErrorCallback(&OnRtError, pOutput.get());
    } catch (const RtMidiError& e) {
      LibraryNote(std::string("rtmidi: ") + e.what());
      return MMSYSERR_ERROR;
    }
  }
  CRtMidiOutput* p = pOutput.get();
  {
    const std::lock_guard<std::mutex> lockHandles(m_mxHandles);
    m_outs.emplace(p->Handle(), std::move(pOutput));
  }
  *phMidiOut = p->Handle();
  return MMSYSERR_NOERROR;
}

MMRESULT CRtMidiDriver::OutPrepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  if (!IsHeaderArgOk(pHdr, cbHdr)) return MMSYSERR_INVALPARAM;
  if (FindOut(hMidiOut) == nullptr) return MMSYSERR_INVALHANDLE;
  return PrepareHeader(pHdr);
}

MMRESULT CRtMidiDriver::OutUnprepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  if (!IsHeaderArgOk(pHdr, cbHdr)) return MMSYSERR_INVALPARAM;
  if (FindOut(hMidiOut) == nullptr) return MMSYSERR_INVALHANDLE;
  return UnprepareHeader(pHdr);
}

MMRESULT CRtMidiDriver::OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) {
  if (!IsHeaderArgOk(pHdr, cbHdr)) return MMSYSERR_INVALPARAM;
  CRtMidiOutput* p = FindOut(hMidiOut);
  if (p == nullptr) return MMSYSERR_INVALHANDLE;
  if (ServerGone()) return MMSYSERR_NODRIVER;
  return p->LongMsg(pHdr);
}

MMRESULT CRtMidiDriver::OutReset(HMIDIOUT hMidiOut) {
  // Messages are done as soon as they are handed over: nothing is left to return.
  return FindOut(hMidiOut) == nullptr ? MMSYSERR_INVALHANDLE : MMSYSERR_NOERROR;
}

MMRESULT CRtMidiDriver::OutClose(HMIDIOUT hMidiOut) {
  std::unique_ptr<CRtMidiOutput> pOutput;
  {
    const std::lock_guard<std::mutex> lock(m_mxHandles);
    const auto it = m_outs.find(hMidiOut);
    if (it == m_outs.end()) return MMSYSERR_INVALHANDLE;
    pOutput = std::move(it->second);
    m_outs.erase(it);
  }
  pOutput.reset();
  return MMSYSERR_NOERROR;
}

}  // namespace velda::rtmidi
