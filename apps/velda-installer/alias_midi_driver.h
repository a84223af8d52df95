// A MIDI driver seen through other device names: the device the user named with --midi-in or
// --midi-out appears under the instrument's own port name, which the installer opens; a device
// that carried that name before is renamed, so that it cannot be taken instead. Every other call
// goes to the real driver unchanged.
#pragma once

#include <string>

#include "midi/driver/midi_driver.h"

namespace velda::app {

// The name a device shows: strChosen (the user's device) becomes strDefault, a device already
// named strDefault gets " (other)" added (cut to 31 bytes), any other name stays. An empty
// strChosen changes nothing.
std::string AliasedName(const std::string& strName, const std::string& strChosen, const std::string& strDefault);

class CAliasMidiDriver : public CMidiDriver {
 public:
  CAliasMidiDriver(CMidiDriver& driver, std::string strInChosen, std::string strOutChosen);

  UINT InGetNumDevs() override { return m_driver.InGetNumDevs(); }
  MMRESULT InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) override;
  MMRESULT InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                  DWORD fdwOpen) override {
    return m_driver.InOpen(phMidiIn, uDeviceId, dwCallback, dwInstance, fdwOpen);
  }
  MMRESULT InStart(HMIDIIN h) override { return m_driver.InStart(h); }
  MMRESULT InStop(HMIDIIN h) override { return m_driver.InStop(h); }
  MMRESULT InReset(HMIDIIN h) override { return m_driver.InReset(h); }
  MMRESULT InClose(HMIDIIN h) override { return m_driver.InClose(h); }
  MMRESULT InPrepareHeader(HMIDIIN h, MIDIHDR* p, UINT cb) override { return m_driver.InPrepareHeader(h, p, cb); }
  MMRESULT InUnprepareHeader(HMIDIIN h, MIDIHDR* p, UINT cb) override { return m_driver.InUnprepareHeader(h, p, cb); }
  MMRESULT InAddBuffer(HMIDIIN h, MIDIHDR* p, UINT cb) override { return m_driver.InAddBuffer(h, p, cb); }

  UINT OutGetNumDevs() override { return m_driver.OutGetNumDevs(); }
  MMRESULT OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) override;
  MMRESULT OutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen) override {
    return m_driver.OutOpen(phMidiOut, uDeviceId, dwCallback, dwInstance, fdwOpen);
  }
  MMRESULT OutPrepareHeader(HMIDIOUT h, MIDIHDR* p, UINT cb) override { return m_driver.OutPrepareHeader(h, p, cb); }
  MMRESULT OutUnprepareHeader(HMIDIOUT h, MIDIHDR* p, UINT cb) override {
    return m_driver.OutUnprepareHeader(h, p, cb);
  }
  MMRESULT OutLongMsg(HMIDIOUT h, MIDIHDR* p, UINT cb) override { return m_driver.OutLongMsg(h, p, cb); }
  MMRESULT OutReset(HMIDIOUT h) override { return m_driver.OutReset(h); }
  MMRESULT OutClose(HMIDIOUT h) override { return m_driver.OutClose(h); }

 private:
  CMidiDriver& m_driver;
  std::string m_strInChosen;
  std::string m_strOutChosen;
};

}  // namespace velda::app
