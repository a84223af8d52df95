// The lock's name as the system knows it, the same on every platform but for its length limit.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fw/kernel.h"

namespace fw {

namespace {

// FNV-1a: a scope too long for the system's name is named by its hash instead.
std::uint64_t Fnv1a(const std::string& s) {
  std::uint64_t n = 0xcbf29ce484222325ULL;
  for (const char c : s) {
    n ^= static_cast<unsigned char>(c);
    n *= 0x100000001b3ULL;
  }
  return n;
}

}  // namespace

std::string ScopedLockAddress(const std::string& strName, const std::string& strScope, std::size_t nMaxLength) {
  if (strScope.empty()) return strName;
  std::string s = strName + "/" + strScope;
  if (s.size() > nMaxLength) {
    char sz[17];
    std::snprintf(sz, sizeof sz, "%016llx", static_cast<unsigned long long>(Fnv1a(strScope)));
    s = strName + "/#" + sz;
  }
  return s;
}

}  // namespace fw
