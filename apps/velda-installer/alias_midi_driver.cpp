#include "alias_midi_driver.h"

#include "shell/texts.h"

namespace velda::app {

std::string AliasedNameAt(const std::vector<CPortName>& aDevices, std::size_t nDevice, const std::string& strChosen,
                          const std::string& strDefault) {
  const std::string& strName = aDevices[nDevice].strProduct;
  if (strChosen.empty() || strChosen == strDefault) return strName;
  if (FindPortByName(strChosen, aDevices) == static_cast<int>(nDevice)) return strDefault;
  if (strName == strDefault) return (strDefault + " (other)").substr(0, MAXPNAMELEN - 1);
  return strName;
}

CAliasMidiDriver::CAliasMidiDriver(CMidiDriver& driver, std::string strInChosen, std::string strOutChosen)
    : CForwardingMidiDriver(driver), m_strInChosen(std::move(strInChosen)), m_strOutChosen(std::move(strOutChosen)) {}

std::vector<CPortName> CAliasMidiDriver::InDevices() {
  std::vector<CPortName> a;
  const UINT n = CForwardingMidiDriver::InGetNumDevs();
  for (UINT i = 0; i < n; ++i) {
    MIDIINCAPS caps;
    CPortName name;
    if (CForwardingMidiDriver::InGetDevCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR) {
      name.strProduct = PnameToString(caps.szPname).Str();
    }
    name.strSystem = CForwardingMidiDriver::InSystemName(i);
    a.push_back(std::move(name));
  }
  return a;
}

std::vector<CPortName> CAliasMidiDriver::OutDevices() {
  std::vector<CPortName> a;
  const UINT n = CForwardingMidiDriver::OutGetNumDevs();
  for (UINT i = 0; i < n; ++i) {
    MIDIOUTCAPS caps;
    CPortName name;
    if (CForwardingMidiDriver::OutGetDevCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR) {
      name.strProduct = PnameToString(caps.szPname).Str();
    }
    name.strSystem = CForwardingMidiDriver::OutSystemName(i);
    a.push_back(std::move(name));
  }
  return a;
}

MMRESULT CAliasMidiDriver::InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) {
  const MMRESULT r = CForwardingMidiDriver::InGetDevCaps(uDeviceId, pCaps, cbCaps);
  if (r == MMSYSERR_NOERROR && pCaps != nullptr && !m_strInChosen.empty()) {
    const std::vector<CPortName> a = InDevices();
    if (uDeviceId < a.size())
      StringToPname(AliasedNameAt(a, uDeviceId, m_strInChosen, DEFAULT_IN_PORT), pCaps->szPname);
  }
  return r;
}

MMRESULT CAliasMidiDriver::OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) {
  const MMRESULT r = CForwardingMidiDriver::OutGetDevCaps(uDeviceId, pCaps, cbCaps);
  if (r == MMSYSERR_NOERROR && pCaps != nullptr && !m_strOutChosen.empty()) {
    const std::vector<CPortName> a = OutDevices();
    if (uDeviceId < a.size()) {
      StringToPname(AliasedNameAt(a, uDeviceId, m_strOutChosen, DEFAULT_OUT_PORT), pCaps->szPname);
    }
  }
  return r;
}

std::string CAliasMidiDriver::InSystemName(UINT uDeviceId) {
  std::string s = CForwardingMidiDriver::InSystemName(uDeviceId);
  if (!s.empty() || m_strInChosen.empty()) return s;
  const std::vector<CPortName> a = InDevices();
  if (uDeviceId >= a.size() || a[uDeviceId].strProduct == DEFAULT_IN_PORT) return s;
  return AliasedNameAt(a, uDeviceId, m_strInChosen, DEFAULT_IN_PORT) == DEFAULT_IN_PORT ? a[uDeviceId].strProduct : s;
}

std::string CAliasMidiDriver::OutSystemName(UINT uDeviceId) {
  std::string s = CForwardingMidiDriver::OutSystemName(uDeviceId);
  if (!s.empty() || m_strOutChosen.empty()) return s;
  const std::vector<CPortName> a = OutDevices();
  if (uDeviceId >= a.size() || a[uDeviceId].strProduct == DEFAULT_OUT_PORT) return s;
  return AliasedNameAt(a, uDeviceId, m_strOutChosen, DEFAULT_OUT_PORT) == DEFAULT_OUT_PORT ? a[uDeviceId].strProduct
                                                                                           : s;
}

}  // namespace velda::app
