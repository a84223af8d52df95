// The instrument behind a USB device port: its restart is the gadget unbound from its device
// controller and bound again, so the host on the other end of the cable sees a real disconnect
// and reconnect. Messages still go through the MIDI host (connected to the gadget's MIDI
// function), whose ports stay: they are the instrument's side of the cable, not its USB device.
#pragma once

#include <string>

#include "instrument/sim_instrument.h"

namespace velda::sim {

class CUsbGadgetHost : public CInstrumentHost {
 public:
  CUsbGadgetHost(CInstrumentHost& midi, std::string strGadgetDir);

  // Reads the controller the gadget is bound to now; false with a sentence when it is not bound
  // or the folder is not a gadget's.
  bool Open(std::string& strError);

  void Deliver(std::vector<std::uint8_t> aBytes) override;
  void Schedule(std::uint32_t nDelayMs, std::function<void()> fn) override;
  void SetPresent(bool bPresent) override;

 private:
  bool WriteUdc(const std::string& strValue);

  CInstrumentHost& m_midi;
  std::string m_strDir;
  std::string m_strUdc;  // the controller found at the start, written back on a return
};

// The controller name a gadget's UDC file holds, without the line end; empty when unbound.
std::string UdcNameOf(const std::string& strFileText);

}  // namespace velda::sim
