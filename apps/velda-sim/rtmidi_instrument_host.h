// The simulated instrument on real MIDI ports: its input (what the installer writes) is a port
// named "HALVEN USB OUT 0-1", its output (what the installer reads) one named "HALVEN USB IN 0-1".
// On ALSA the input is RtMidi's and the output our own sequencer port (alsa_reply_port.h); on
// JACK both belong to one client of ours that lives as long as the host. The instrument runs on one device thread:
// messages received, its timed events and its replies all go through it. A restart destroys both ports (on ALSA their
// clients with them) and makes them again when the instrument comes back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fw/device_thread.h"
#include "instrument/sim_instrument.h"
#include "midi/driver/rtmidi/port_names.h"

class RtMidiIn;

namespace velda::rtmidi {
class CJackClient;
class CJackPort;
}  // namespace velda::rtmidi

namespace velda::sim {

class CAlsaReplyPort;

struct CSimPorts {
  rtmidi::EMidiApi eApi = rtmidi::EMidiApi::Jack;
  std::string strClientName = "velda-sim";
  std::string strReadName = "HALVEN USB IN 0-1";    // the installer reads this one
  std::string strWriteName = "HALVEN USB OUT 0-1";  // the installer writes this one
};

class CRtMidiInstrumentHost : public CInstrumentHost {
 public:
  explicit CRtMidiInstrumentHost(const CSimPorts& ports);
  ~CRtMidiInstrumentHost() override;
  CRtMidiInstrumentHost(const CRtMidiInstrumentHost&) = delete;
  CRtMidiInstrumentHost& operator=(const CRtMidiInstrumentHost&) = delete;

  // Makes the ports; false with a sentence when the MIDI system cannot make them.
  bool Open(std::string& strError);
  // Who handles a received message (on the device thread).
  void SetReceiver(std::function<void(std::vector<std::uint8_t>)> fnReceive);
  // Runs fn on the device thread and waits for it.
  void RunOnDeviceThread(const std::function<void()>& fn);
  // Ports gone and the device thread stopped: nothing runs afterwards.
  void Close();
  // Whether the JACK server has gone away.
  bool ServerGone() const;

  void Deliver(std::vector<std::uint8_t> aBytes) override;
  void Schedule(std::uint32_t nDelayMs, std::function<void()> fn) override;
  void SetPresent(bool bPresent) override;

 private:
  static void OnRtMessage(double dDelta, std::vector<unsigned char>* pMessage, void* pUser);
  static void OnJackBytes(const std::uint8_t* p, std::size_t n, void* pUser);
  void Receive(std::vector<std::uint8_t> aMessage);
  bool MakePorts(std::string& strError);
  void DropPorts();

  CSimPorts m_ports;
  fw::CDeviceThread m_thread;
  std::mutex m_mx;  // the ports and the receiver
  std::unique_ptr<RtMidiIn> m_pIn;
  std::unique_ptr<CAlsaReplyPort> m_pOut;
  std::unique_ptr<rtmidi::CJackClient> m_pJack;
  rtmidi::CJackPort* m_pJackIn = nullptr;
  rtmidi::CJackPort* m_pJackOut = nullptr;
  std::vector<std::uint8_t> m_aPart;  // a system-exclusive message split into events (delivery thread)
  std::function<void(std::vector<std::uint8_t>)> m_fnReceive;
  bool m_bClosed = false;
};

}  // namespace velda::sim
