#include "alsa_reply_port.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "input_pool.h"

namespace velda::sim {

std::unique_ptr<CAlsaReplyPort> CAlsaReplyPort::Open(const std::string& strClientName, const std::string& strPortName,
                                                     std::string& strError) {
  snd_seq_t* pSeq = nullptr;
  int r = snd_seq_open(&pSeq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK);
  if (r < 0) {
    strError = std::string("the ALSA sequencer cannot be opened: ") + snd_strerror(r);
    return nullptr;
  }
  snd_seq_set_client_name(pSeq, strClientName.c_str());
  r = snd_seq_create_simple_port(pSeq, strPortName.c_str(), SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                 SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (r < 0) {
    strError = "the port \"" + strPortName + "\" cannot be made: " + snd_strerror(r);
    snd_seq_close(pSeq);
    return nullptr;
  }
  return std::unique_ptr<CAlsaReplyPort>(new CAlsaReplyPort(pSeq, r));
}

CAlsaReplyPort::CAlsaReplyPort(snd_seq_t* pSeq, int nPort) : m_pSeq(pSeq), m_nPort(nPort) {
  pollfd fd{};
  if (snd_seq_type(pSeq) == SND_SEQ_TYPE_HW && snd_seq_poll_descriptors(pSeq, &fd, 1, POLLOUT) == 1) m_fd = fd.fd;
}

CAlsaReplyPort::~CAlsaReplyPort() { snd_seq_close(m_pSeq); }

bool CAlsaReplyPort::Send(const std::uint8_t* p, std::size_t n, std::string& strError) {
  for (std::size_t nAt = 0; nAt < n;) {
    const std::size_t nPart = std::min(kPartBytes, n - nAt);
    WaitForRoom(CellsForEvent(nPart));
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_source(&ev, static_cast<unsigned char>(m_nPort));
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
    // The event only points at the bytes; the sequencer copies them.
    snd_seq_ev_set_sysex(&ev, static_cast<unsigned int>(nPart), const_cast<std::uint8_t*>(p + nAt));
    const int r = snd_seq_event_output_direct(m_pSeq, &ev);
    if (r < 0) {
      strError = "the sequencer refused bytes " + std::to_string(nAt) + " to " + std::to_string(nAt + nPart) +
                 " of a reply of " + std::to_string(n) + ": " + snd_strerror(r);
      return false;
    }
    nAt += nPart;
  }
  return true;
}

void CAlsaReplyPort::WaitForRoom(int nCells) {
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRoomWaitMs);
  while (!SubscribersHaveRoom(nCells) && std::chrono::steady_clock::now() < tEnd)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool CAlsaReplyPort::SubscribersHaveRoom(int nCells) {
  snd_seq_query_subscribe_t* pQuery = nullptr;
  snd_seq_query_subscribe_alloca(&pQuery);
  snd_seq_addr_t root{static_cast<unsigned char>(snd_seq_client_id(m_pSeq)), static_cast<unsigned char>(m_nPort)};
  snd_seq_query_subscribe_set_root(pQuery, &root);
  snd_seq_query_subscribe_set_type(pQuery, SND_SEQ_QUERY_SUBS_READ);
  for (int i = 0;; ++i) {
    snd_seq_query_subscribe_set_index(pQuery, i);
    if (snd_seq_query_port_subscribers(m_pSeq, pQuery) < 0) return true;
    int nPool = 0;
    const int nFree = InputPoolFree(m_fd, snd_seq_query_subscribe_get_addr(pQuery)->client, &nPool);
    // A kernel client has no input pool; a pool too small for the part can never take it.
    if (nFree >= 0 && nPool >= nCells && nFree < nCells) return false;
  }
}

}  // namespace velda::sim
