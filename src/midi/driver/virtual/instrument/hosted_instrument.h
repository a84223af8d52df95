// The simulated instrument plugged into the virtual driver: its two devices appear in the
// driver's lists, messages sent to its output device reach it whole, its replies arrive on its
// input device, and its restarts make the devices vanish and come back.
#pragma once

#include <string>

#include "instrument/sim_instrument.h"
#include "midi/driver/virtual/instrument/instrument_link.h"
#include "midi/driver/virtual/virtual_midi_driver.h"

namespace velda {

class CHostedInstrument {
 public:
  explicit CHostedInstrument(CVirtualMidiDriver& driver, const CInstrumentConfig& config = {},
                             const std::string& strInName = VIRTUAL_INSTRUMENT_IN,
                             const std::string& strOutName = VIRTUAL_INSTRUMENT_OUT);
  ~CHostedInstrument();
  CHostedInstrument(const CHostedInstrument&) = delete;
  CHostedInstrument& operator=(const CHostedInstrument&) = delete;

  CSimInstrument& Instrument() { return m_instrument; }
  const CSimInstrument& Instrument() const { return m_instrument; }
  CVirtualInstrumentLink& Link() { return m_link; }

 private:
  CVirtualInstrumentLink m_link;  // before the instrument, which holds on to it
  CSimInstrument m_instrument;
};

}  // namespace velda
