#include "rtmidi_instrument_host.h"

#include <rtmidi/RtMidi.h>

#include <future>

#include "alsa_reply_port.h"
#include "midi/driver/rtmidi/jack_client.h"
#include "midi/driver/rtmidi/library_notes.h"
#include "midi/driver/rtmidi/rt_api.h"

namespace velda::sim {

namespace {

void OnRtError(RtMidiError::Type /*eType*/, const std::string& strText, void* /*pUser*/) {
  rtmidi::LibraryNote("rtmidi: " + strText);
}

}  // namespace

CRtMidiInstrumentHost::CRtMidiInstrumentHost(const CSimPorts& ports) : m_ports(ports) {}

CRtMidiInstrumentHost::~CRtMidiInstrumentHost() { Close(); }

bool CRtMidiInstrumentHost::Open(std::string& strError) {
  const std::lock_guard<std::mutex> lock(m_mx);
  if (m_ports.eApi == rtmidi::EMidiApi::Jack) {
    m_pJack = rtmidi::CJackClient::Open(m_ports.strClientName);
    if (m_pJack == nullptr) {
      strError = "no JACK server is running";
      return false;
    }
  }
  return MakePorts(strError);
}

bool CRtMidiInstrumentHost::ServerGone() const { return m_pJack != nullptr && m_pJack->ServerGone(); }

void CRtMidiInstrumentHost::SetReceiver(std::function<void(std::vector<std::uint8_t>)> fnReceive) {
  const std::lock_guard<std::mutex> lock(m_mx);
  m_fnReceive = std::move(fnReceive);
}

void CRtMidiInstrumentHost::RunOnDeviceThread(const std::function<void()>& fn) {
  std::promise<void> done;
  m_thread.ScheduleAfter(0, [&fn, &done] {
    fn();
    done.set_value();
  });
  done.get_future().wait();
}

void CRtMidiInstrumentHost::Close() {
  {
    const std::lock_guard<std::mutex> lock(m_mx);
    if (m_bClosed) return;
    m_bClosed = true;
    m_fnReceive = nullptr;
  }
  m_thread.Stop();
  const std::lock_guard<std::mutex> lock(m_mx);
  DropPorts();
  m_pJack.reset();
}

bool CRtMidiInstrumentHost::MakePorts(std::string& strError) {
  if (m_pJack != nullptr) {
    m_pJackIn = m_pJack->OpenInput(m_ports.strWriteName, "", &CRtMidiInstrumentHost::OnJackBytes, this);
    m_pJackOut = m_pJack->OpenOutput(m_ports.strReadName, "");
    if (m_pJackIn == nullptr || m_pJackOut == nullptr) {
      DropPorts();
      strError = "the ports cannot be made on the JACK server";
      return false;
    }
    return true;
  }
  try {
    rtmidi::CaptureLibraryOutput();
    auto pIn = std::make_unique<RtMidiIn>(rtmidi::RtApiOf(m_ports.eApi), m_ports.strClientName);
    pIn->setErrorCallback(&OnRtError, nullptr);
    pIn->ignoreTypes(false, true, true);
    pIn->setCallback(&CRtMidiInstrumentHost::OnRtMessage, this);
    pIn->openVirtualPort(m_ports.strWriteName);
    std::unique_ptr<CAlsaReplyPort> pOut = CAlsaReplyPort::Open(m_ports.strClientName, m_ports.strReadName, strError);
    if (pOut == nullptr) return false;
    m_pIn = std::move(pIn);
    m_pOut = std::move(pOut);
  } catch (const RtMidiError& e) {
    rtmidi::LibraryNote(std::string("rtmidi: ") + e.what());
    strError = std::string("the ports cannot be made: ") + e.what();
    return false;
  }
  return true;
}

void CRtMidiInstrumentHost::DropPorts() {
  // Not cancelCallback(): RtMidi's thread may be about to call it (see rtmidi_input.cpp).
  m_pIn.reset();
  m_pOut.reset();
  if (m_pJack != nullptr) {
    m_pJack->ClosePort(m_pJackIn);
    m_pJack->ClosePort(m_pJackOut);
  }
  m_pJackIn = nullptr;
  m_pJackOut = nullptr;
}

void CRtMidiInstrumentHost::OnRtMessage(double /*dDelta*/, std::vector<unsigned char>* pMessage, void* pUser) {
  if (pMessage == nullptr || pMessage->empty() || pMessage->front() != 0xF0) return;
  static_cast<CRtMidiInstrumentHost*>(pUser)->Receive(std::vector<std::uint8_t>(pMessage->begin(), pMessage->end()));
}

void CRtMidiInstrumentHost::OnJackBytes(const std::uint8_t* p, std::size_t n, void* pUser) {
  // A message split by a bridge comes in parts; real-time bytes between them are left out.
  auto* pThis = static_cast<CRtMidiInstrumentHost*>(pUser);
  std::vector<std::uint8_t>& aPart = pThis->m_aPart;
  if (p[0] == 0xF0) {
    aPart.assign(p, p + n);
  } else if (!aPart.empty() && (p[0] < 0x80 || p[0] == 0xF7)) {
    aPart.insert(aPart.end(), p, p + n);
  } else {
    if (p[0] < 0xF8) aPart.clear();  // a status byte ends an open message
    return;
  }
  if (aPart.back() != 0xF7) return;
  pThis->Receive(std::move(aPart));
  aPart.clear();
}

void CRtMidiInstrumentHost::Receive(std::vector<std::uint8_t> aMessage) {
  CRtMidiInstrumentHost* pThis = this;
  m_thread.ScheduleAfter(0, [pThis, a = std::move(aMessage)]() mutable {
    std::function<void(std::vector<std::uint8_t>)> fn;
    {
      const std::lock_guard<std::mutex> lock(pThis->m_mx);
      fn = pThis->m_fnReceive;
    }
    if (fn) fn(std::move(a));
  });
}

void CRtMidiInstrumentHost::Deliver(std::vector<std::uint8_t> aBytes) {
  m_thread.ScheduleAfter(0, [this, a = std::move(aBytes)] {
    const std::lock_guard<std::mutex> lock(m_mx);
    if (a.empty()) return;
    if (m_pJack != nullptr) {
      if (m_pJackOut != nullptr && !m_pJack->Send(m_pJackOut, a.data(), a.size())) {
        rtmidi::LibraryNote("jack: a reply of " + std::to_string(a.size()) + " bytes could not be sent");
      }
      return;
    }
    std::string strError;
    if (m_pOut != nullptr && !m_pOut->Send(a.data(), a.size(), strError)) rtmidi::LibraryNote("alsa: " + strError);
  });
}

void CRtMidiInstrumentHost::Schedule(std::uint32_t nDelayMs, std::function<void()> fn) {
  m_thread.ScheduleAfter(nDelayMs, std::move(fn));
}

void CRtMidiInstrumentHost::SetPresent(bool bPresent) {
  m_thread.ScheduleAfter(0, [this, bPresent] {
    const std::lock_guard<std::mutex> lock(m_mx);
    if (m_bClosed) return;
    if (!bPresent) {
      DropPorts();
      return;
    }
    std::string strError;
    if (m_pIn == nullptr && m_pJackIn == nullptr && !MakePorts(strError))
      rtmidi::LibraryNote("the ports did not come back: " + strError);
  });
}

}  // namespace velda::sim
