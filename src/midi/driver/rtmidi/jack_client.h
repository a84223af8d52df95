// One JACK client of our own for the program's life, with the MIDI ports it opens and closes.
//
// Why not RtMidi's JACK side: every RtMidi object is a client of its own, made and closed with
// each listing and each open, and closed without being deactivated first. Closing clients while
// other clients change the graph crashes inside libjack. Here one client is activated once and,
// at the end, deactivated before it is closed, never from inside a JACK callback; ports come and
// go on it instead of clients.
//
// Threads: JACK's process callback only moves bytes between the ports' rings and the port
// buffers (no lock, no allocation). Received messages reach their receiver on the client's own
// delivery thread; messages to send are queued from any one thread per port.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velda::rtmidi {

class CJackPort;

class CJackClient {
 public:
  // Called on the delivery thread with one JACK MIDI event (a whole message, or a part of a
  // system-exclusive message that a bridge has split).
  using FReceive = void (*)(const std::uint8_t* p, std::size_t n, void* pUser);

  // The longest message one port carries whole; longer ones are refused.
  static constexpr std::size_t kMaxMessage = 16379;

  // Null when no JACK server answers (none is ever started for us), with the reason noted.
  static std::unique_ptr<CJackClient> Open(const std::string& strName);
  // Closes every port still open, deactivates, then closes the client.
  ~CJackClient();
  CJackClient(const CJackClient&) = delete;
  CJackClient& operator=(const CJackClient&) = delete;

  // Whether the server has gone away; the client is dead from then on (nothing is listed or
  // opened) and only closing it is left.
  bool ServerGone() const { return m_bGone.load(); }
  // Whether any port of another client came or went since the last call.
  bool TakePortsChanged() { return m_bPortsChanged.exchange(false); }
  // The name JACK gave the client (it may add "-01" ... when the name is taken).
  const std::string& Name() const { return m_strName; }

  // The MIDI ports of the other clients, by full name ("client:port"): the ones that send
  // (bSources) or the ones that receive.
  std::vector<std::string> ListPorts(bool bSources) const;

  // A port of ours named strShortName (made unique when taken), connected to strOther when that
  // is not empty. Null with a note when JACK refuses.
  CJackPort* OpenInput(const std::string& strShortName, const std::string& strOther, FReceive fnReceive, void* pUser);
  CJackPort* OpenOutput(const std::string& strShortName, const std::string& strOther);
  // Queues one message; waits a little while the ring is full. False when it cannot be sent
  // (too long, server gone, ring still full).
  bool Send(CJackPort* pPort, const std::uint8_t* p, std::size_t n);
  // No callback for the port runs once this returns (unless called from its own receiver).
  void ClosePort(CJackPort* pPort);

  // Messages dropped on the way in because a ring was full (counted over every port).
  std::uint64_t DroppedIn() const { return m_nDroppedIn.load(); }

 private:
  static constexpr std::size_t kMaxPorts = 8;

  CJackClient() = default;
  static int OnProcess(std::uint32_t nFrames, void* pArg);
  static void OnShutdown(int eCode, const char* pszReason, void* pArg);  // jack_status_t
  static void OnPortRegistration(std::uint32_t nPort, int nRegister, void* pArg);
  // Registers the port under strShortName (made unique when taken) and gives it a slot.
  CJackPort* AddPort(std::unique_ptr<CJackPort> pPort, const std::string& strShortName);
  void DeliveryLoop();
  void Wake();

  void* m_pClient = nullptr;  // jack_client_t
  std::string m_strName;
  std::atomic<bool> m_bGone{false};
  std::atomic<bool> m_bPortsChanged{false};
  std::atomic<std::uint64_t> m_nDroppedIn{0};

  // The open ports as the callbacks see them; a slot is emptied before its port goes, and
  // the counters tell when no callback can still hold it.
  std::array<std::atomic<CJackPort*>, kMaxPorts> m_apSlots{};
  std::atomic<int> m_nInProcess{0};
  std::atomic<std::uint64_t> m_nPeriods{0};  // process callbacks run
  std::atomic<int> m_nInDelivery{0};
  std::mutex m_mxPorts;  // the slots' writers and m_aPorts; never taken by a JACK callback
  std::vector<std::unique_ptr<CJackPort>> m_aPorts;

  std::atomic<std::uint32_t> m_nWake{0};
  std::atomic<bool> m_bStop{false};
  std::thread m_delivery;
};

}  // namespace velda::rtmidi
