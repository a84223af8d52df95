// The simulated VELDA instrument: the other side of the update protocol, written from the
// message layouts on its own (it shares no code with the installer), so that it catches the
// installer's encoding faults instead of repeating them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velda {

// What the instrument needs from whatever hosts it (the virtual MIDI driver).
class CInstrumentHost {
 public:
  virtual ~CInstrumentHost() = default;
  // Bytes that arrive at the installer's input as one delivery.
  virtual void Deliver(std::vector<std::uint8_t> aBytes) = 0;
  // Runs fn after nDelayMs on the host's clock.
  virtual void Schedule(std::uint32_t nDelayMs, std::function<void()> fn) = 0;
  // The instrument's USB-MIDI devices vanish (false) or come back (true).
  virtual void SetPresent(bool bPresent) = 0;
};

// Settings of the simulated instrument (the fault plan is added by its own header).
struct CInstrumentConfig {
  std::string strKeyword = "#5168_1994KESTRA";  // update mode only with this keyword
  std::string strInquiryText = "VELDA";          // text of the inquiry reply
  bool bRestartOnModeOn = true;                  // restarts (devices vanish) entering update mode
  std::uint32_t nRestartMs = 3000;               // how long the devices are gone
  std::uint32_t nLatencyMs = 2;                  // reply latency
};

}  // namespace velda
