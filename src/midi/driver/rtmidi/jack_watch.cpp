#include "midi/driver/rtmidi/jack_watch.h"

#include <jack/jack.h>

#include "midi/driver/rtmidi/library_notes.h"

namespace velda::rtmidi {

namespace {

jack_client_t* OpenClient(const std::string& strClientName) {
  jack_status_t status{};
  jack_client_t* pClient = jack_client_open(strClientName.c_str(), JackNoStartServer, &status);
  if (pClient == nullptr) LibraryNote("jack: no server answers (status " + std::to_string(status) + ")");
  return pClient;
}

}  // namespace

std::unique_ptr<CJackWatch> CJackWatch::Open(const std::string& strClientName) {
  jack_client_t* pClient = OpenClient(strClientName);
  if (pClient == nullptr) return nullptr;
  std::unique_ptr<CJackWatch> p(new CJackWatch());
  p->m_pClient = pClient;
  jack_on_shutdown(pClient, &CJackWatch::OnShutdown, p.get());
  jack_set_port_registration_callback(pClient, &CJackWatch::OnPortRegistration, p.get());
  if (jack_activate(pClient) != 0) {
    LibraryNote("jack: the watching client cannot be activated");
    return nullptr;
  }
  return p;
}

CJackWatch::~CJackWatch() {
  if (m_pClient != nullptr) jack_client_close(static_cast<jack_client_t*>(m_pClient));
}

void CJackWatch::OnShutdown(void* pArg) {
  auto* p = static_cast<CJackWatch*>(pArg);
  p->m_bGone.store(true);
  p->m_bPortsChanged.store(true);
}

void CJackWatch::OnPortRegistration(unsigned int /*nPort*/, int /*nRegister*/, void* pArg) {
  static_cast<CJackWatch*>(pArg)->m_bPortsChanged.store(true);
}

bool JackServerRunning(const std::string& strClientName) {
  jack_client_t* pClient = OpenClient(strClientName);
  if (pClient == nullptr) return false;
  jack_client_close(pClient);
  return true;
}

}  // namespace velda::rtmidi
