// One JSON object per line, for scripts and service tools that read the terminal front end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velda::tty {

// A JSON string literal, quotes included. Text that is not UTF-8 is read as code page 1252 first
// (DisplayText); control characters, quotes and backslashes are escaped, so a CR LF in a box text
// travels as \r\n and the line stays one line.
std::string JsonString(std::string_view strText);

// Builds {"key":value,...} in the order the members are added.
class CJsonObject {
 public:
  CJsonObject& Add(std::string_view strKey, std::string_view strValue);
  CJsonObject& Add(std::string_view strKey, const char* pszValue) { return Add(strKey, std::string_view(pszValue)); }
  CJsonObject& Add(std::string_view strKey, std::int64_t nValue);
  CJsonObject& Add(std::string_view strKey, int nValue) { return Add(strKey, static_cast<std::int64_t>(nValue)); }
  CJsonObject& Add(std::string_view strKey, std::uint64_t nValue);
  CJsonObject& Add(std::string_view strKey, bool bValue);
  CJsonObject& Add(std::string_view strKey, const std::vector<std::string>& aValues);
  std::string Str() const { return m_str + "}"; }

 private:
  void Key(std::string_view strKey);
  std::string m_str = "{";
};

}  // namespace velda::tty
