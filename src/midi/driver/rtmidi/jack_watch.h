// A small JACK client of our own that tells when the JACK server goes away (RtMidi does not) and
// when ports come or go. It makes no ports.
#pragma once

#include <atomic>
#include <memory>
#include <string>

namespace velda::rtmidi {

class CJackWatch {
 public:
  // Null when no JACK server answers (no server is ever started for us).
  static std::unique_ptr<CJackWatch> Open(const std::string& strClientName);
  ~CJackWatch();
  CJackWatch(const CJackWatch&) = delete;
  CJackWatch& operator=(const CJackWatch&) = delete;

  bool ServerGone() const { return m_bGone.load(); }
  // Whether a port was registered or unregistered since the last call.
  bool TakePortsChanged() { return m_bPortsChanged.exchange(false); }

 private:
  CJackWatch() = default;
  static void OnShutdown(void* pArg);
  static void OnPortRegistration(unsigned int nPort, int nRegister, void* pArg);

  void* m_pClient = nullptr;  // jack_client_t
  std::atomic<bool> m_bGone{false};
  std::atomic<bool> m_bPortsChanged{false};
};

// Whether a JACK server answers now: opens and closes a client.
bool JackServerRunning(const std::string& strClientName);

}  // namespace velda::rtmidi
