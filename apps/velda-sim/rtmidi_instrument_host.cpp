#include "rtmidi_instrument_host.h"

#include <rtmidi/RtMidi.h>

#include <future>

#include "midi/driver/rtmidi/library_notes.h"

namespace velda::sim {

namespace {

RtMidi::Api RtApiOf(rtmidi::EMidiApi eApi) {
  return eApi == rtmidi::EMidiApi::Jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

void OnRtError(RtMidiError::Type /*eType*/, const std::string& strText, void* /*pUser*/) {
  rtmidi::LibraryNote("rtmidi: " + strText);
}

}  // namespace

CRtMidiInstrumentHost::CRtMidiInstrumentHost(const CSimPorts& ports) : m_ports(ports) {}

CRtMidiInstrumentHost::~CRtMidiInstrumentHost() { Close(); }

bool CRtMidiInstrumentHost::Open(std::string& strError) {
  const std::lock_guard<std::mutex> lock(m_mx);
  return MakePorts(strError);
}

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
}

bool CRtMidiInstrumentHost::MakePorts(std::string& strError) {
  try {
    const rtmidi::CCerrToNotes quiet;
    auto pIn = std::make_unique<RtMidiIn>(RtApiOf(m_ports.eApi), m_ports.strClientName);
    pIn->setErrorCallback(&OnRtError, nullptr);
    pIn->ignoreTypes(false, true, true);
    pIn->setCallback(&CRtMidiInstrumentHost::OnRtMessage, this);
    pIn->openVirtualPort(m_ports.strWriteName);
    auto pOut = std::make_unique<RtMidiOut>(RtApiOf(m_ports.eApi), m_ports.strClientName);
    pOut->setErrorCallback(&OnRtError, nullptr);
    pOut->openVirtualPort(m_ports.strReadName);
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
  // Not cancelCallback(): RtMidi's JACK thread may be about to call it (see rtmidi_input.cpp).
  m_pIn.reset();
  m_pOut.reset();
}

void CRtMidiInstrumentHost::OnRtMessage(double /*dDelta*/, std::vector<unsigned char>* pMessage, void* pUser) {
  auto* pThis = static_cast<CRtMidiInstrumentHost*>(pUser);
  if (pMessage == nullptr || pMessage->empty() || pMessage->front() != 0xF0) return;
  std::vector<std::uint8_t> aMessage(pMessage->begin(), pMessage->end());
  pThis->m_thread.ScheduleAfter(0, [pThis, a = std::move(aMessage)]() mutable {
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
    if (m_pOut == nullptr || a.empty()) return;
    try {
      m_pOut->sendMessage(a.data(), a.size());
    } catch (const RtMidiError& e) {
      rtmidi::LibraryNote(std::string("rtmidi: ") + e.what());
    }
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
    if (m_pIn == nullptr && !MakePorts(strError)) rtmidi::LibraryNote("the ports did not come back: " + strError);
  });
}

}  // namespace velda::sim
