#include "midi/driver/rtmidi/alsa_announce.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

namespace velda::rtmidi {

namespace {

bool IsAnnouncement(const snd_seq_event_t& ev) {
  switch (ev.type) {
    case SND_SEQ_EVENT_CLIENT_START:
    case SND_SEQ_EVENT_CLIENT_EXIT:
    case SND_SEQ_EVENT_CLIENT_CHANGE:
    case SND_SEQ_EVENT_PORT_START:
    case SND_SEQ_EVENT_PORT_EXIT:
    case SND_SEQ_EVENT_PORT_CHANGE:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::unique_ptr<CAlsaAnnounce> CAlsaAnnounce::Open(const std::string& strClientName) {
  snd_seq_t* pSeq = nullptr;
  if (snd_seq_open(&pSeq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) return nullptr;
  snd_seq_set_client_name(pSeq, strClientName.c_str());
  const int nPort = snd_seq_create_simple_port(
      pSeq, "announcements", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT, SND_SEQ_PORT_TYPE_APPLICATION);
  const int fdWake = nPort < 0 ? -1 : eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fdWake < 0 || snd_seq_connect_from(pSeq, nPort, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
    if (fdWake >= 0) close(fdWake);
    snd_seq_close(pSeq);
    return nullptr;
  }
  return std::unique_ptr<CAlsaAnnounce>(new CAlsaAnnounce(pSeq, fdWake));
}

CAlsaAnnounce::CAlsaAnnounce(snd_seq_t* pSeq, int fdWake) : m_pSeq(pSeq), m_fdWake(fdWake) {}

CAlsaAnnounce::~CAlsaAnnounce() {
  snd_seq_close(m_pSeq);
  close(m_fdWake);
}

void CAlsaAnnounce::Wake() {
  const std::uint64_t n = 1;
  [[maybe_unused]] const ssize_t r = write(m_fdWake, &n, sizeof n);
}

std::vector<int> CAlsaAnnounce::Wait(std::uint32_t nMs) {
  std::vector<int> aClients;
  Drain(aClients);  // what came while the caller was busy
  if (!aClients.empty()) return aClients;
  pollfd aFds[8];
  const int nSeq = std::min(snd_seq_poll_descriptors_count(m_pSeq, POLLIN), 7);
  snd_seq_poll_descriptors(m_pSeq, aFds, static_cast<unsigned int>(nSeq), POLLIN);
  aFds[nSeq] = pollfd{m_fdWake, POLLIN, 0};
  if (poll(aFds, static_cast<nfds_t>(nSeq) + 1, static_cast<int>(nMs)) > 0) {
    std::uint64_t n = 0;
    [[maybe_unused]] const ssize_t r = read(m_fdWake, &n, sizeof n);
    Drain(aClients);
  }
  return aClients;
}

void CAlsaAnnounce::Drain(std::vector<int>& aClients) {
  snd_seq_event_t* pEv = nullptr;
  // -EAGAIN: nothing more; -ENOSPC: the kernel's queue overflowed and events were lost, which is
  // itself a change (the caller looks at the lists anyway).
  for (int r = 0; (r = snd_seq_event_input(m_pSeq, &pEv)) >= 0 || r == -ENOSPC;) {
    if (r == -ENOSPC || pEv == nullptr) continue;
    if (!IsAnnouncement(*pEv)) continue;
    const int nClient = pEv->data.addr.client;
    if (std::find(aClients.begin(), aClients.end(), nClient) == aClients.end()) aClients.push_back(nClient);
  }
}

}  // namespace velda::rtmidi
