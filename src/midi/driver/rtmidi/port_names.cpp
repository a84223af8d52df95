#include "midi/driver/rtmidi/port_names.h"

#include <cctype>

namespace velda::rtmidi {

namespace {

constexpr std::size_t kMaxProductName = 31;

bool IsDigits(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return false;
  }
  return true;
}

// ALSA's names end in " <client>:<port>", the port's address: where it begins, or npos.
std::size_t AlsaAddressAt(const std::string& s) {
  const std::size_t nSpace = s.rfind(' ');
  if (nSpace == std::string::npos) return std::string::npos;
  const std::string strAddress = s.substr(nSpace + 1);
  const std::size_t nColon = strAddress.find(':');
  if (nColon == std::string::npos || !IsDigits(strAddress.substr(0, nColon)) ||
      !IsDigits(strAddress.substr(nColon + 1))) {
    return std::string::npos;
  }
  return nSpace + 1;
}

std::string WithoutAlsaAddress(const std::string& s) {
  const std::size_t nAt = AlsaAddressAt(s);
  return nAt == std::string::npos ? s : s.substr(0, nAt - 1);
}

}  // namespace

const char* NameOf(EMidiApi eApi) { return eApi == EMidiApi::Jack ? "jack" : "alsa"; }

bool ParseMidiApi(const std::string& strText, EMidiApi& eApi) {
  if (strText == "alsa") {
    eApi = EMidiApi::Alsa;
    return true;
  }
  if (strText == "jack") {
    eApi = EMidiApi::Jack;
    return true;
  }
  return false;
}

std::string ProductNameOf(EMidiApi eApi, const std::string& strPortName) {
  std::string s = eApi == EMidiApi::Alsa ? WithoutAlsaAddress(strPortName) : strPortName;
  const std::size_t nColon = s.find(':');
  if (nColon != std::string::npos) s = s.substr(nColon + 1);
  if (s.size() > kMaxProductName) s.resize(kMaxProductName);
  return s;
}

int AlsaClientOf(const std::string& strPortName) {
  const std::size_t nAt = AlsaAddressAt(strPortName);
  if (nAt == std::string::npos) return -1;
  const std::string strClient = strPortName.substr(nAt, strPortName.find(':', nAt) - nAt);
  return strClient.size() > 3 ? -1 : std::stoi(strClient);  // the sequencer numbers clients below 192
}

std::string ClientOf(const std::string& strPortName) { return strPortName.substr(0, strPortName.find(':')); }

bool IsOwnClient(const std::string& strPortName, const std::string& strClientName) {
  const std::string strClient = ClientOf(strPortName);
  if (strClient == strClientName) return true;
  if (strClient.size() <= strClientName.size() + 1 || strClient.compare(0, strClientName.size(), strClientName) != 0 ||
      strClient[strClientName.size()] != '-') {
    return false;
  }
  return IsDigits(strClient.substr(strClientName.size() + 1));
}

}  // namespace velda::rtmidi
