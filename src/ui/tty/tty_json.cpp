#include "ui/tty/tty_json.h"

#include "ui/tty/tty_text.h"

namespace velda::tty {

std::string JsonString(std::string_view strText) {
  // DisplayText would turn CR and LF into U+FFFD, so they are escaped here first, line by line.
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  std::size_t nStart = 0;
  auto flush = [&](std::size_t nEnd) {
    for (const char ch : DisplayText(strText.substr(nStart, nEnd - nStart))) {
      switch (ch) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (static_cast<unsigned char>(ch) < 0x20) {
            out += "\\u00";
            out += kHex[(ch >> 4) & 0x0F];
            out += kHex[ch & 0x0F];
          } else {
            out += ch;
          }
      }
    }
  };
  for (std::size_t i = 0; i < strText.size(); ++i) {
    if (strText[i] == '\r' || strText[i] == '\n') {
      flush(i);
      out += strText[i] == '\r' ? "\\r" : "\\n";
      nStart = i + 1;
    }
  }
  flush(strText.size());
  out += '"';
  return out;
}

void CJsonObject::Key(std::string_view strKey) {
  if (m_str.size() > 1) m_str += ',';
  m_str += JsonString(strKey);
  m_str += ':';
}

CJsonObject& CJsonObject::Add(std::string_view strKey, std::string_view strValue) {
  Key(strKey);
  m_str += JsonString(strValue);
  return *this;
}

CJsonObject& CJsonObject::Add(std::string_view strKey, std::int64_t nValue) {
  Key(strKey);
  m_str += std::to_string(nValue);
  return *this;
}

CJsonObject& CJsonObject::Add(std::string_view strKey, std::uint64_t nValue) {
  Key(strKey);
  m_str += std::to_string(nValue);
  return *this;
}

CJsonObject& CJsonObject::Add(std::string_view strKey, bool bValue) {
  Key(strKey);
  m_str += bValue ? "true" : "false";
  return *this;
}

CJsonObject& CJsonObject::Add(std::string_view strKey, const std::vector<std::string>& aValues) {
  Key(strKey);
  m_str += '[';
  for (std::size_t i = 0; i < aValues.size(); ++i) {
    if (i != 0) m_str += ',';
    m_str += JsonString(aValues[i]);
  }
  m_str += ']';
  return *this;
}

}  // namespace velda::tty
