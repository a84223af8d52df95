// Counted byte strings in the system's ANSI code page, with the operations the installer uses.
#pragma once

#include <string>
#include <string_view>

#include "fw/types.h"

namespace fw {

class CString {
 public:
  CString() = default;
  CString(const char* psz) : m_str(psz != nullptr ? psz : "") {}  // NOLINT: implicit like the framework's
  CString(std::string_view sv) : m_str(sv) {}                     // NOLINT
  CString(const char* p, std::size_t n) : m_str(p, n) {}

  int GetLength() const { return static_cast<int>(m_str.size()); }
  bool IsEmpty() const { return m_str.empty(); }
  void Empty() { m_str.clear(); }
  char GetAt(int i) const { return m_str[static_cast<std::size_t>(i)]; }
  char operator[](int i) const { return GetAt(i); }
  const char* GetString() const { return m_str.c_str(); }
  const std::string& Str() const { return m_str; }
  std::string_view View() const { return m_str; }

  CString& operator+=(char c) {
    m_str.push_back(c);
    return *this;
  }
  CString& operator+=(const CString& s) {
    m_str += s.m_str;
    return *this;
  }
  CString& operator+=(const char* psz) {
    m_str += psz;
    return *this;
  }
  friend CString operator+(const CString& a, const CString& b) { return CString(a.m_str + b.m_str); }
  friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }

  // Removes leading and trailing white space (space, tab, CR, LF, VT, FF).
  CString& TrimWhite();
  // Removes leading and trailing runs of c.
  CString& Trim(char c);
  // Removes every c; returns how many were removed.
  int Remove(char c);
  // Letters to small letters by the code page's rules; double-byte characters as units.
  CString& MakeLower();
  // Case-insensitive compare by the code page's rules: 0 when equal.
  int CompareNoCase(const CString& other) const;

 private:
  std::string m_str;
};

}  // namespace fw
