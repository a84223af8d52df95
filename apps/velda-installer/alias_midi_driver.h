// A MIDI driver seen through other device names: the device the user named with --midi-in or
// --midi-out (or --midi-port) appears under the instrument's own port name, which the installer
// opens, at start-up and again after the instrument's restart; a device that carried that name
// before is renamed, so that it cannot be taken instead. Every other call goes to the real driver
// unchanged.
#pragma once

#include <string>
#include <vector>

#include "midi/driver/forwarding_midi_driver.h"
#include "midi/port_names.h"

namespace velda::app {

// The name device nDevice of aDevices shows when strChosen names a device (FindPortByName: a
// product name, a system name, client:port, an address or a client): the one it names becomes
// strDefault, another one already named strDefault gets " (other)" added (cut to 31 bytes), any
// other name stays. An empty strChosen, or the default name itself, changes nothing.
std::string AliasedNameAt(const std::vector<CPortName>& aDevices, std::size_t nDevice, const std::string& strChosen,
                          const std::string& strDefault);

class CAliasMidiDriver : public CForwardingMidiDriver {
 public:
  CAliasMidiDriver(CMidiDriver& driver, std::string strInChosen, std::string strOutChosen);

  MMRESULT InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) override;
  MMRESULT OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) override;
  // A renamed device's real name shows here when the system has no fuller one, so the trace
  // still says which device was opened.
  std::string InSystemName(UINT uDeviceId) override;
  std::string OutSystemName(UINT uDeviceId) override;

 private:
  std::vector<CPortName> InDevices();
  std::vector<CPortName> OutDevices();

  std::string m_strInChosen;
  std::string m_strOutChosen;
};

}  // namespace velda::app
