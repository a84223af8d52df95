#include "support/scenario_util.h"

namespace velda::test {

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned nSeed) {
  std::vector<std::uint8_t> a(n);
  std::uint32_t x = nSeed * 2654435761u + 1;
  for (std::size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    a[i] = static_cast<std::uint8_t>(x >> 24);
  }
  return a;
}

std::string Script(const std::vector<std::string>& aLines) {
  std::string str;
  for (const std::string& s : aLines) str += s + "\r\n";
  return str;
}

std::vector<CBoxRecord> BoxesWith(CTestRig& rig, const char* pszText) {
  std::vector<CBoxRecord> a;
  for (const CBoxRecord& b : rig.View().Boxes()) {
    if (b.strText == pszText) a.push_back(b);
  }
  return a;
}

std::vector<std::string> BarEvents(CTestRig& rig, int nId) {
  const std::string strPrefix = "progress " + std::to_string(nId) + " ";
  std::vector<std::string> a;
  for (const std::string& e : rig.View().Events()) {
    if (e.rfind(strPrefix, 0) == 0) a.push_back(e.substr(strPrefix.size()));
  }
  return a;
}

CFaultRule Fault(EInstrumentFault eFault, EInstrumentRequest eRequest, std::uint32_t nOccurrence,
                 std::uint32_t nCount) {
  CFaultRule rule;
  rule.eFault = eFault;
  rule.eRequest = eRequest;
  rule.nOccurrence = nOccurrence;
  rule.nCount = nCount;
  return rule;
}

}  // namespace velda::test
