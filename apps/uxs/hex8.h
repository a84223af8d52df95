// Eight upper-case hex digits: how the tool prints addresses, offsets and sizes.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace velda::uxs {

inline std::string Hex8(std::uint32_t n) {
  std::array<char, 16> a{};
  std::snprintf(a.data(), a.size(), "%08X", n);
  return a.data();
}

}  // namespace velda::uxs
