#include "alias_midi_driver.h"

#include "shell/texts.h"

namespace velda::app {

std::string AliasedName(const std::string& strName, const std::string& strChosen, const std::string& strDefault) {
  if (strChosen.empty() || strChosen == strDefault) return strName;
  if (strName == strChosen) return strDefault;
  if (strName == strDefault) return (strDefault + " (other)").substr(0, MAXPNAMELEN - 1);
  return strName;
}

CAliasMidiDriver::CAliasMidiDriver(CMidiDriver& driver, std::string strInChosen, std::string strOutChosen)
    : CForwardingMidiDriver(driver), m_strInChosen(std::move(strInChosen)), m_strOutChosen(std::move(strOutChosen)) {}

MMRESULT CAliasMidiDriver::InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) {
  const MMRESULT r = CForwardingMidiDriver::InGetDevCaps(uDeviceId, pCaps, cbCaps);
  if (r == MMSYSERR_NOERROR && pCaps != nullptr) {
    StringToPname(AliasedName(PnameToString(pCaps->szPname).Str(), m_strInChosen, DEFAULT_IN_PORT), pCaps->szPname);
  }
  return r;
}

MMRESULT CAliasMidiDriver::OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) {
  const MMRESULT r = CForwardingMidiDriver::OutGetDevCaps(uDeviceId, pCaps, cbCaps);
  if (r == MMSYSERR_NOERROR && pCaps != nullptr) {
    StringToPname(AliasedName(PnameToString(pCaps->szPname).Str(), m_strOutChosen, DEFAULT_OUT_PORT), pCaps->szPname);
  }
  return r;
}

}  // namespace velda::app
