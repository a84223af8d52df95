#include "ui/tty/tty_text.h"

#include <algorithm>
#include <array>

namespace velda::tty {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Code page 1252 at 80..9F; 0 where the code page has no character.
constexpr std::array<char32_t, 32> kCp1252High{0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                               0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool IsControl(char32_t c) { return (c < 0x20 && c != '\t') || (c >= 0x7F && c < 0xA0); }

// Decodes the UTF-8 sequence at s[i]; its length in nLen, or false when it is not valid UTF-8
// (overlong forms, surrogates and values past U+10FFFF included).
bool DecodeUtf8(std::string_view s, std::size_t i, char32_t& c, std::size_t& nLen) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    c = b0;
    nLen = 1;
    return true;
  }
  char32_t nMin = 0;
  if ((b0 & 0xE0) == 0xC0) {
    nLen = 2;
    c = b0 & 0x1F;
    nMin = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    nLen = 3;
    c = b0 & 0x0F;
    nMin = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    nLen = 4;
    c = b0 & 0x07;
    nMin = 0x10000;
  } else {
    return false;
  }
  if (i + nLen > s.size()) {
    return false;
  }
  for (std::size_t k = 1; k < nLen; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      return false;
    }
    c = (c << 6) | (b & 0x3F);
  }
  return c >= nMin && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    char32_t c = 0;
    std::size_t n = 0;
    if (!DecodeUtf8(s, i, c, n)) {
      return false;
    }
    i += n;
  }
  return true;
}

}  // namespace

std::vector<std::string> SplitBoxLines(std::string_view strText) {
  std::vector<std::string> aLines(1);
  for (std::size_t i = 0; i < strText.size(); ++i) {
    const char c = strText[i];
    if (c == '\r' || c == '\n') {
      // A CR LF or LF CR pair is one break.
      const char cPair = c == '\r' ? '\n' : '\r';
      if (i + 1 < strText.size() && strText[i + 1] == cPair) {
        ++i;
      }
      aLines.emplace_back();
      continue;
    }
    aLines.back().push_back(c);
  }
  return aLines;
}

std::string DisplayText(std::string_view strBytes) {
  std::string out;
  out.reserve(strBytes.size());
  if (IsValidUtf8(strBytes)) {
    for (std::size_t i = 0; i < strBytes.size();) {
      char32_t c = 0;
      std::size_t n = 0;
      DecodeUtf8(strBytes, i, c, n);
      if (IsControl(c)) {
        AppendUtf8(out, kReplacement);
      } else {
        out.append(strBytes.substr(i, n));
      }
      i += n;
    }
    return out;
  }
  for (const char ch : strBytes) {
    const auto b = static_cast<unsigned char>(ch);
    char32_t c = b;
    if (b >= 0x80 && b < 0xA0) {
      c = kCp1252High[b - 0x80];
      if (c == 0) c = kReplacement;
    }
    AppendUtf8(out, IsControl(c) ? kReplacement : c);
  }
  return out;
}

int ProgressPercent(const fw::CProgressState& st) {
  if (st.nUpper <= st.nLower) {
    return 0;
  }
  const long long nSpan = static_cast<long long>(st.nUpper) - st.nLower;
  const long long nDone = std::clamp<long long>(static_cast<long long>(st.nPos) - st.nLower, 0, nSpan);
  return static_cast<int>(nDone * 100 / nSpan);
}

std::string FormatBar(const fw::CProgressState& st, int nWidth) {
  nWidth = std::max(nWidth, 1);
  long long nFilled = 0;
  if (st.nUpper > st.nLower) {
    const long long nSpan = static_cast<long long>(st.nUpper) - st.nLower;
    const long long nDone = std::clamp<long long>(static_cast<long long>(st.nPos) - st.nLower, 0, nSpan);
    nFilled = nDone * nWidth / nSpan;
  }
  std::string s = "[";
  s.append(static_cast<std::size_t>(nFilled), '#');
  s.append(static_cast<std::size_t>(nWidth - nFilled), '-');
  s += ']';
  return s;
}

std::string FormatBarCounts(const fw::CProgressState& st, std::string_view strUnit) {
  const std::string strPercent = std::to_string(ProgressPercent(st));
  std::string s(3 - std::min<std::size_t>(strPercent.size(), 3), ' ');
  s += strPercent;
  s += "%  ";
  s += std::to_string(st.nPos);
  s += '/';
  s += std::to_string(st.nUpper);
  if (!strUnit.empty()) {
    s += ' ';
    s += strUnit;
  }
  return s;
}

std::string FormatBarLine(std::string_view strLabel, const fw::CProgressState& st, int nWidth,
                          std::string_view strUnit) {
  std::string s(strLabel);
  s += ' ';
  s += FormatBar(st, nWidth);
  s += "  ";
  s += FormatBarCounts(st, strUnit);
  return s;
}

EBoxButtons BoxButtonsOf(fw::UINT uType) {
  return (uType & fw::MB_TYPEMASK) == fw::MB_OKCANCEL ? EBoxButtons::OkCancel : EBoxButtons::Ok;
}

const char* BoxButtonsName(EBoxButtons eButtons) { return eButtons == EBoxButtons::OkCancel ? "ok-cancel" : "ok"; }

std::string AnswerName(int nAnswer) {
  switch (nAnswer) {
    case fw::IDOK:
      return "OK";
    case fw::IDCANCEL:
      return "Cancel";
    default:
      return std::to_string(nAnswer);
  }
}

}  // namespace velda::tty
