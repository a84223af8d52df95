#include "midi/driver/virtual/instrument/hosted_instrument.h"

#include <cstdint>
#include <vector>

namespace velda {

CHostedInstrument::CHostedInstrument(CVirtualMidiDriver& driver, const CInstrumentConfig& config,
                                     const std::string& strInName, const std::string& strOutName)
    : m_link(driver, strInName, strOutName, config.nSysExLimit), m_instrument(config, m_link) {
  m_link.SetReceiver([this](std::vector<std::uint8_t> aMsg) { m_instrument.OnMessage(aMsg.data(), aMsg.size()); });
}

// The link is cut first, so no event of the driver or of the instrument runs into it after.
CHostedInstrument::~CHostedInstrument() { m_link.Detach(); }

}  // namespace velda
