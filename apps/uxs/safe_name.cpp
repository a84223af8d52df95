#include "safe_name.h"

#include <set>

namespace velda::uxs {

namespace {

constexpr std::size_t MAX_NAME = 200;

std::string Lower(std::string_view sv) {
  std::string s(sv);
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

bool IsDeviceName(std::string_view svName) {
  const std::string strBase = Lower(svName.substr(0, svName.find('.')));
  if (strBase == "con" || strBase == "prn" || strBase == "aux" || strBase == "nul") return true;
  return strBase.size() == 4 && (strBase.starts_with("com") || strBase.starts_with("lpt")) && strBase[3] >= '1' &&
         strBase[3] <= '9';
}

}  // namespace

std::string SafeFileName(std::string_view svName) {
  std::string s;
  for (const char c : svName.substr(0, MAX_NAME)) {
    const bool bKeep =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    s += bKeep ? c : '_';
  }
  if (s.empty() || s[0] == '.' || IsDeviceName(s)) s.insert(0, "_");
  return s;
}

std::vector<std::string> UniqueSafeNames(const std::vector<std::string>& aNames) {
  std::vector<std::string> a;
  std::set<std::string> taken;
  for (const std::string& strName : aNames) {
    const std::string strBase = SafeFileName(strName);
    std::string s = strBase;
    for (int n = 2; taken.contains(Lower(s)); ++n) {
      s = strBase + "~" + std::to_string(n);
    }
    taken.insert(Lower(s));
    a.push_back(s);
  }
  return a;
}

}  // namespace velda::uxs
