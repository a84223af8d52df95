// A MIDI driver seen through other device names: the device the user named with --midi-in or
// --midi-out appears under the instrument's own port name, which the installer opens; a device
// that carried that name before is renamed, so that it cannot be taken instead. Every other call
// goes to the real driver unchanged.
#pragma once

#include <string>

#include "midi/driver/forwarding_midi_driver.h"

namespace velda::app {

// The name a device shows: strChosen (the user's device) becomes strDefault, a device already
// named strDefault gets " (other)" added (cut to 31 bytes), any other name stays. An empty
// strChosen changes nothing.
std::string AliasedName(const std::string& strName, const std::string& strChosen, const std::string& strDefault);

class CAliasMidiDriver : public CForwardingMidiDriver {
 public:
  CAliasMidiDriver(CMidiDriver& driver, std::string strInChosen, std::string strOutChosen);

  MMRESULT InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) override;
  MMRESULT OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) override;

 private:
  std::string m_strInChosen;
  std::string m_strOutChosen;
};

}  // namespace velda::app
