#include "midi/port_names.h"

#include <cctype>
#include <cstddef>

namespace velda {

namespace {

bool IsDigits(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return false;
  }
  return true;
}

// "20:0": two numbers and a colon.
bool IsAddress(const std::string& s) {
  const std::size_t nColon = s.find(':');
  return nColon != std::string::npos && IsDigits(s.substr(0, nColon)) && IsDigits(s.substr(nColon + 1));
}

// A system name taken apart: "client:port 20:0" gives "client:port", "client" and "20:0".
struct CSystemParts {
  std::string strClientPort;
  std::string strClient;
  std::string strAddress;
};

CSystemParts PartsOf(const std::string& strSystem) {
  CSystemParts parts;
  parts.strClientPort = strSystem;
  const std::size_t nSpace = strSystem.rfind(' ');
  if (nSpace != std::string::npos && IsAddress(strSystem.substr(nSpace + 1))) {
    parts.strAddress = strSystem.substr(nSpace + 1);
    parts.strClientPort = strSystem.substr(0, nSpace);
  }
  const std::size_t nColon = parts.strClientPort.find(':');
  if (nColon != std::string::npos) parts.strClient = parts.strClientPort.substr(0, nColon);
  return parts;
}

bool Fits(int nRule, const std::string& strAsked, const CPortName& port) {
  const CSystemParts parts = PartsOf(port.strSystem);
  switch (nRule) {
    case 0:
      return port.strProduct == strAsked;
    case 1:
      return !port.strSystem.empty() && port.strSystem == strAsked;
    case 2:
      return !parts.strClient.empty() && parts.strClientPort == strAsked;
    case 3:
      if (parts.strAddress.empty()) return false;
      if (IsAddress(strAsked)) return parts.strAddress == strAsked;
      return IsDigits(strAsked) && parts.strAddress.substr(0, parts.strAddress.find(':')) == strAsked;
    default:
      return !parts.strClient.empty() && parts.strClient == strAsked;
  }
}

constexpr int kRules = 5;

}  // namespace

int FindPortByName(const std::string& strAsked, const std::vector<CPortName>& aPorts) {
  if (strAsked.empty()) return -1;
  for (int nRule = 0; nRule < kRules; ++nRule) {
    for (std::size_t i = 0; i < aPorts.size(); ++i) {
      if (Fits(nRule, strAsked, aPorts[i])) return static_cast<int>(i);
    }
  }
  return -1;
}

bool IsInstrumentPortName(const std::string& strProduct) { return strProduct.rfind("HALVEN USB", 0) == 0; }

int SoleInstrumentPort(const std::vector<std::string>& aProducts) {
  int nFound = -1;
  for (std::size_t i = 0; i < aProducts.size(); ++i) {
    if (!IsInstrumentPortName(aProducts[i])) continue;
    if (nFound != -1) return -1;
    nFound = static_cast<int>(i);
  }
  return nFound;
}

}  // namespace velda
