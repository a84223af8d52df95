#include "fw/cstring.h"

#include "fw/codepage.h"

namespace fw {

namespace {

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The string with every single-byte letter made small; double-byte characters copied whole.
std::string Lowered(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<BYTE>(s[i]);
    if (IsLeadByte(b) && i + 1 < s.size()) {
      out.push_back(s[i]);
      out.push_back(s[i + 1]);
      ++i;
      continue;
    }
    out.push_back(static_cast<char>(LowerSingleByte(b)));
  }
  return out;
}

}  // namespace

CString& CString::TrimWhite() {
  std::size_t b = 0;
  std::size_t e = m_str.size();
  while (b < e && IsWhite(m_str[b])) ++b;
  while (e > b && IsWhite(m_str[e - 1])) --e;
  m_str = m_str.substr(b, e - b);
  return *this;
}

CString& CString::Trim(char c) {
  std::size_t b = 0;
  std::size_t e = m_str.size();
  while (b < e && m_str[b] == c) ++b;
  while (e > b && m_str[e - 1] == c) --e;
  m_str = m_str.substr(b, e - b);
  return *this;
}

int CString::Remove(char c) {
  const std::size_t before = m_str.size();
  std::erase(m_str, c);
  return static_cast<int>(before - m_str.size());
}

CString& CString::MakeLower() {
  m_str = Lowered(m_str);
  return *this;
}

int CString::CompareNoCase(const CString& other) const { return Lowered(m_str).compare(Lowered(other.m_str)); }

}  // namespace fw
