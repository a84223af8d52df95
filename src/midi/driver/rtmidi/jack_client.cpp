#include "midi/driver/rtmidi/jack_client.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <chrono>
#include <cstring>

#include "midi/driver/rtmidi/library_notes.h"

namespace velda::rtmidi {

namespace {

// Each port's ring holds a few of the longest messages, each with a length word in front.
constexpr std::size_t kRingBytes = 64 * 1024;
constexpr std::uint32_t kLengthBytes = sizeof(std::uint32_t);
// How long a send waits for room before it gives up.
constexpr auto kSendWait = std::chrono::seconds(2);
// How long closing an output waits for what is still queued to go out.
constexpr auto kDrainWait = std::chrono::seconds(1);
// Periods an output keeps running after its ring is empty: the receivers read the last message
// in the period it was written, and then see empty buffers. A port left out of the process
// callback keeps its last buffer, which the receivers would read again in every period until
// the port goes.
constexpr std::uint64_t kDrainPeriods = 3;

jack_client_t* ClientOf(void* p) { return static_cast<jack_client_t*>(p); }

// Waits until no callback counted by nBusy runs; from inside such a callback there is nothing to
// wait for.
void WaitIdle(const std::atomic<int>& nBusy) {
  while (nBusy.load() != 0) std::this_thread::yield();
}

}  // namespace

class CJackPort {
 public:
  CJackPort(bool bInput, CJackClient::FReceive fnReceive, void* pUser)
      : m_bInput(bInput), m_fnReceive(fnReceive), m_pUser(pUser), m_pRing(jack_ringbuffer_create(kRingBytes)) {
    if (bInput) m_aMessage.resize(CJackClient::kMaxMessage + 1);
  }
  ~CJackPort() { jack_ringbuffer_free(m_pRing); }
  CJackPort(const CJackPort&) = delete;
  CJackPort& operator=(const CJackPort&) = delete;

  // On the process thread: what arrived goes into the ring (whole or not at all).
  bool TakeIn(std::uint32_t nFrames, std::atomic<std::uint64_t>& nDropped) {
    void* pBuffer = jack_port_get_buffer(m_pPort, nFrames);
    const std::uint32_t nEvents = jack_midi_get_event_count(pBuffer);
    bool bAny = false;
    for (std::uint32_t i = 0; i < nEvents; ++i) {
      jack_midi_event_t ev{};
      if (jack_midi_event_get(&ev, pBuffer, i) != 0 || ev.size == 0) continue;
      const auto nSize = static_cast<std::uint32_t>(ev.size);
      if (ev.size > CJackClient::kMaxMessage || jack_ringbuffer_write_space(m_pRing) < kLengthBytes + ev.size) {
        nDropped.fetch_add(1);
        continue;
      }
      jack_ringbuffer_write(m_pRing, reinterpret_cast<const char*>(&nSize), kLengthBytes);
      jack_ringbuffer_write(m_pRing, reinterpret_cast<const char*>(ev.buffer), ev.size);
      bAny = true;
    }
    return bAny;
  }

  // On the process thread: queued messages go out, as many as this period's buffer takes.
  void PutOut(std::uint32_t nFrames) {
    void* pBuffer = jack_port_get_buffer(m_pPort, nFrames);
    jack_midi_clear_buffer(pBuffer);
    bool bWritten = false;
    std::uint32_t nSize = 0;
    while (jack_ringbuffer_peek(m_pRing, reinterpret_cast<char*>(&nSize), kLengthBytes) == kLengthBytes &&
           jack_ringbuffer_read_space(m_pRing) >= kLengthBytes + nSize) {
      jack_midi_data_t* pTo = jack_midi_event_reserve(pBuffer, 0, nSize);
      if (pTo == nullptr) {
        if (bWritten) break;  // the rest goes in the next period
        // Not even an empty buffer takes it: dropped rather than wedging every later message.
        jack_ringbuffer_read_advance(m_pRing, kLengthBytes + nSize);
        continue;
      }
      jack_ringbuffer_read_advance(m_pRing, kLengthBytes);
      jack_ringbuffer_read(m_pRing, reinterpret_cast<char*>(pTo), nSize);
      bWritten = true;
    }
  }

  // On the delivery thread: every complete message in the ring to the receiver.
  void Deliver() {
    std::uint32_t nSize = 0;
    while (jack_ringbuffer_peek(m_pRing, reinterpret_cast<char*>(&nSize), kLengthBytes) == kLengthBytes &&
           jack_ringbuffer_read_space(m_pRing) >= kLengthBytes + nSize) {
      jack_ringbuffer_read_advance(m_pRing, kLengthBytes);
      jack_ringbuffer_read(m_pRing, reinterpret_cast<char*>(m_aMessage.data()), nSize);
      m_fnReceive(m_aMessage.data(), nSize, m_pUser);
    }
  }

  // On the sending thread.
  bool Queue(const std::uint8_t* p, std::size_t n, const std::atomic<bool>& bGone) {
    const auto nSize = static_cast<std::uint32_t>(n);
    const auto tEnd = std::chrono::steady_clock::now() + kSendWait;
    while (jack_ringbuffer_write_space(m_pRing) < kLengthBytes + n) {
      if (bGone.load() || std::chrono::steady_clock::now() > tEnd) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The bytes first would be as good: the reader takes a message only once all of it is there.
    jack_ringbuffer_write(m_pRing, reinterpret_cast<const char*>(&nSize), kLengthBytes);
    jack_ringbuffer_write(m_pRing, reinterpret_cast<const char*>(p), n);
    return true;
  }

  bool m_bInput;
  CJackClient::FReceive m_fnReceive;
  void* m_pUser;
  jack_ringbuffer_t* m_pRing;
  jack_port_t* m_pPort = nullptr;
  std::vector<std::uint8_t> m_aMessage;
};

std::unique_ptr<CJackClient> CJackClient::Open(const std::string& strName) {
  CaptureLibraryOutput();  // libjack's own messages become notes too
  jack_status_t status{};
  jack_client_t* pClient = jack_client_open(strName.c_str(), JackNoStartServer, &status);
  if (pClient == nullptr) {
    LibraryNote("jack: no server answers (status " + std::to_string(status) + ")");
    return nullptr;
  }
  std::unique_ptr<CJackClient> p(new CJackClient());
  p->m_pClient = pClient;
  p->m_strName = jack_get_client_name(pClient);
  jack_set_process_callback(pClient, &CJackClient::OnProcess, p.get());
  jack_on_info_shutdown(
      pClient, [](jack_status_t eCode, const char* pszReason, void* pArg) { OnShutdown(eCode, pszReason, pArg); },
      p.get());
  jack_set_port_registration_callback(pClient, &CJackClient::OnPortRegistration, p.get());
  p->m_delivery = std::thread([q = p.get()] { q->DeliveryLoop(); });
  if (jack_activate(pClient) != 0) {
    LibraryNote("jack: our client cannot be activated");
    return nullptr;  // the destructor closes it
  }
  return p;
}

CJackClient::~CJackClient() {
  m_bStop.store(true);
  Wake();
  if (m_delivery.joinable()) m_delivery.join();
  if (m_pClient != nullptr) {
    // Deactivated first: after this no process or notification callback runs, so closing
    // cannot meet one. A dead client has nothing left to deactivate.
    if (!m_bGone.load()) jack_deactivate(ClientOf(m_pClient));
    jack_client_close(ClientOf(m_pClient));
  }
  m_aPorts.clear();
}

std::vector<std::string> CJackClient::ListPorts(bool bSources) const {
  std::vector<std::string> a;
  if (m_bGone.load()) return a;
  const char** ppNames = jack_get_ports(ClientOf(m_pClient), nullptr, JACK_DEFAULT_MIDI_TYPE,
                                        bSources ? JackPortIsOutput : JackPortIsInput);
  if (ppNames == nullptr) return a;
  const std::string strOwn = m_strName + ":";
  for (const char** pp = ppNames; *pp != nullptr; ++pp) {
    if (std::strncmp(*pp, strOwn.c_str(), strOwn.size()) != 0) a.emplace_back(*pp);
  }
  jack_free(static_cast<void*>(ppNames));
  return a;
}

CJackPort* CJackClient::OpenInput(const std::string& strShortName, const std::string& strOther, FReceive fnReceive,
                                  void* pUser) {
  CJackPort* p = AddPort(std::make_unique<CJackPort>(true, fnReceive, pUser), strShortName);
  if (p != nullptr && !strOther.empty() &&
      jack_connect(ClientOf(m_pClient), strOther.c_str(), jack_port_name(p->m_pPort)) != 0) {
    LibraryNote("jack: " + strOther + " cannot be connected to our input");
    ClosePort(p);
    return nullptr;
  }
  return p;
}

CJackPort* CJackClient::OpenOutput(const std::string& strShortName, const std::string& strOther) {
  CJackPort* p = AddPort(std::make_unique<CJackPort>(false, nullptr, nullptr), strShortName);
  if (p != nullptr && !strOther.empty() &&
      jack_connect(ClientOf(m_pClient), jack_port_name(p->m_pPort), strOther.c_str()) != 0) {
    LibraryNote("jack: our output cannot be connected to " + strOther);
    ClosePort(p);
    return nullptr;
  }
  return p;
}

CJackPort* CJackClient::AddPort(std::unique_ptr<CJackPort> pPort, const std::string& strShortName) {
  if (m_bGone.load()) return nullptr;
  const unsigned long nFlags = pPort->m_bInput ? JackPortIsInput : JackPortIsOutput;
  for (int i = 1; pPort->m_pPort == nullptr && i <= static_cast<int>(kMaxPorts); ++i) {
    const std::string strTry = i == 1 ? strShortName : strShortName + "-" + std::to_string(i);
    pPort->m_pPort = jack_port_register(ClientOf(m_pClient), strTry.c_str(), JACK_DEFAULT_MIDI_TYPE, nFlags, 0);
  }
  if (pPort->m_pPort == nullptr) {
    LibraryNote(std::string("jack: the ") + (pPort->m_bInput ? "input" : "output") + " port " + strShortName +
                " cannot be made");
    return nullptr;
  }
  const std::lock_guard<std::mutex> lock(m_mxPorts);
  for (auto& slot : m_apSlots) {
    if (slot.load() != nullptr) continue;
    CJackPort* p = pPort.get();
    m_aPorts.push_back(std::move(pPort));
    slot.store(p);
    return p;
  }
  LibraryNote("jack: too many ports open");
  jack_port_unregister(ClientOf(m_pClient), pPort->m_pPort);
  return nullptr;
}

bool CJackClient::Send(CJackPort* pPort, const std::uint8_t* p, std::size_t n) {
  if (pPort == nullptr || pPort->m_bInput || n == 0 || n > kMaxMessage || m_bGone.load()) return false;
  return pPort->Queue(p, n, m_bGone);
}

void CJackClient::ClosePort(CJackPort* pPort) {
  if (pPort == nullptr) return;
  // A message handed over is sent: the last ones before a close (the mode-off request) must not
  // go with the port.
  const auto tEnd = std::chrono::steady_clock::now() + kDrainWait;
  const auto bWaiting = [&] { return !pPort->m_bInput && !m_bGone.load() && std::chrono::steady_clock::now() < tEnd; };
  while (bWaiting() && jack_ringbuffer_read_space(pPort->m_pRing) != 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::uint64_t nEmptyAt = m_nPeriods.load();
  while (bWaiting() && m_nPeriods.load() < nEmptyAt + kDrainPeriods) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  {
    const std::lock_guard<std::mutex> lock(m_mxPorts);
    for (auto& slot : m_apSlots) {
      if (slot.load() == pPort) slot.store(nullptr);
    }
  }
  WaitIdle(m_nInProcess);
  if (m_delivery.get_id() != std::this_thread::get_id()) WaitIdle(m_nInDelivery);
  // A dead client's ports go with it when it is closed.
  if (!m_bGone.load()) jack_port_unregister(ClientOf(m_pClient), pPort->m_pPort);
  const std::lock_guard<std::mutex> lock(m_mxPorts);
  for (auto it = m_aPorts.begin(); it != m_aPorts.end(); ++it) {
    if (it->get() == pPort) {
      m_aPorts.erase(it);
      break;
    }
  }
}

int CJackClient::OnProcess(std::uint32_t nFrames, void* pArg) {
  auto* pThis = static_cast<CJackClient*>(pArg);
  pThis->m_nInProcess.fetch_add(1);
  bool bReceived = false;
  for (auto& slot : pThis->m_apSlots) {
    CJackPort* p = slot.load();
    if (p == nullptr) continue;
    if (p->m_bInput) {
      bReceived = p->TakeIn(nFrames, pThis->m_nDroppedIn) || bReceived;
    } else {
      p->PutOut(nFrames);
    }
  }
  pThis->m_nPeriods.fetch_add(1);
  pThis->m_nInProcess.fetch_sub(1);
  if (bReceived) pThis->Wake();
  return 0;
}

void CJackClient::OnShutdown(int /*nCode*/, const char* /*pszReason*/, void* pArg) {
  auto* pThis = static_cast<CJackClient*>(pArg);
  pThis->m_bGone.store(true);
  pThis->m_bPortsChanged.store(true);
  pThis->Wake();
}

void CJackClient::OnPortRegistration(std::uint32_t nPort, int /*nRegister*/, void* pArg) {
  auto* pThis = static_cast<CJackClient*>(pArg);
  const jack_port_t* pPort = jack_port_by_id(ClientOf(pThis->m_pClient), nPort);
  if (pPort == nullptr || jack_port_is_mine(ClientOf(pThis->m_pClient), pPort) == 0) {
    pThis->m_bPortsChanged.store(true);
  }
}

void CJackClient::Wake() {
  m_nWake.fetch_add(1);
  m_nWake.notify_one();
}

void CJackClient::DeliveryLoop() {
  while (!m_bStop.load()) {
    const std::uint32_t nSeen = m_nWake.load();
    m_nInDelivery.fetch_add(1);
    for (auto& slot : m_apSlots) {
      CJackPort* p = slot.load();
      if (p != nullptr && p->m_bInput) p->Deliver();
    }
    m_nInDelivery.fetch_sub(1);
    m_nWake.wait(nSeen);
  }
}

}  // namespace velda::rtmidi
