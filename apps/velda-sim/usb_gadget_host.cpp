#include "usb_gadget_host.h"

#include <fstream>
#include <sstream>

#include "midi/driver/rtmidi/library_notes.h"

namespace velda::sim {

std::string UdcNameOf(const std::string& strFileText) {
  std::string s = strFileText;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

CUsbGadgetHost::CUsbGadgetHost(CInstrumentHost& midi, std::string strGadgetDir)
    : m_midi(midi), m_strDir(std::move(strGadgetDir)) {}

bool CUsbGadgetHost::Open(std::string& strError) {
  std::ifstream file(m_strDir + "/UDC");
  if (!file) {
    strError = m_strDir + "/UDC cannot be read: not a USB gadget's folder";
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  m_strUdc = UdcNameOf(text.str());
  if (m_strUdc.empty()) {
    strError = "the USB gadget " + m_strDir + " is not bound to a device controller";
    return false;
  }
  return true;
}

void CUsbGadgetHost::Deliver(std::vector<std::uint8_t> aBytes) { m_midi.Deliver(std::move(aBytes)); }

void CUsbGadgetHost::Schedule(std::uint32_t nDelayMs, std::function<void()> fn) {
  m_midi.Schedule(nDelayMs, std::move(fn));
}

void CUsbGadgetHost::SetPresent(bool bPresent) {
  // An empty line unbinds (the cable pulled); the controller's name binds again.
  if (!WriteUdc(bPresent ? m_strUdc : std::string()))
    rtmidi::LibraryNote("usb gadget: " + m_strDir + "/UDC could not be written");
}

bool CUsbGadgetHost::WriteUdc(const std::string& strValue) {
  std::ofstream file(m_strDir + "/UDC");
  file << strValue << '\n';
  file.flush();
  return static_cast<bool>(file);
}

}  // namespace velda::sim
