#include "ui/web/web_text.h"

#include <cstdint>
#include <cstdio>

namespace velda::web {

namespace {

// Code page 1252's characters 0x80..0x9F; 0 where it has none.
constexpr std::uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                           0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t nMore = 0;
    if (b < 0x80) {
      nMore = 0;
    } else if (b >= 0xC2 && b <= 0xDF) {
      nMore = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      nMore = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      nMore = 3;
    } else {
      return false;
    }
    if (i + nMore >= s.size()) return false;  // cut short
    for (std::size_t k = 1; k <= nMore; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += nMore + 1;
  }
  return true;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string PageText(std::string_view strBytes) {
  if (IsValidUtf8(strBytes)) return std::string(strBytes);
  std::string out;
  out.reserve(strBytes.size() * 2);
  for (const char c : strBytes) {
    const auto b = static_cast<unsigned char>(c);
    std::uint32_t cp = b;
    if (b >= 0x80 && b <= 0x9F) cp = kCp1252High[b - 0x80] != 0 ? kCp1252High[b - 0x80] : 0xFFFD;
    AppendUtf8(out, cp);
  }
  return out;
}

std::string JsonString(std::string_view strBytes) {
  const std::string s = PageText(strBytes);
  std::string out = "\"";
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20) {
      char aHex[8];
      std::snprintf(aHex, sizeof aHex, "\\u%04x", b);
      out += aHex;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

}  // namespace velda::web
