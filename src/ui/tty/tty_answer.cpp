#include "ui/tty/tty_answer.h"

#include <charconv>
#include <initializer_list>
#include <string>

#include "ui/tty/tty_text.h"

namespace velda::tty {

namespace {

// The line without surrounding blanks, in small letters.
std::string Normalise(std::string_view strLine) {
  const auto nFirst = strLine.find_first_not_of(" \t\r\n");
  if (nFirst == std::string_view::npos) return {};
  const auto nLast = strLine.find_last_not_of(" \t\r\n");
  std::string s(strLine.substr(nFirst, nLast - nFirst + 1));
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

bool IsOneOf(const std::string& s, std::initializer_list<std::string_view> aWords) {
  for (const std::string_view w : aWords) {
    if (s == w) return true;
  }
  return false;
}

}  // namespace

std::optional<int> ParseBoxAnswer(std::string_view strLine, fw::UINT uType) {
  const std::string s = Normalise(strLine);
  if (IsOneOf(s, {"", "o", "ok", "y", "yes"})) {
    return fw::IDOK;
  }
  if (BoxButtonsOf(uType) == EBoxButtons::OkCancel && IsOneOf(s, {"c", "cancel", "n", "no"})) {
    return fw::IDCANCEL;
  }
  return std::nullopt;
}

CMenuChoice ParseMenuChoice(std::string_view strLine, int nCount) {
  const std::string s = Normalise(strLine);
  if (s.empty()) return {CMenuChoice::EKind::Keep, -1};
  if (IsOneOf(s, {"c", "cancel"})) return {CMenuChoice::EKind::Cancel, -1};
  int n = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
  if (ec != std::errc() || ptr != s.data() + s.size() || n < 1 || n > nCount) {
    return {CMenuChoice::EKind::Invalid, -1};
  }
  return {CMenuChoice::EKind::Pick, n - 1};
}

EWindowCommand ParseWindowCommand(std::string_view strLine) {
  const std::string s = Normalise(strLine);
  if (s.empty()) return EWindowCommand::None;
  if (IsOneOf(s, {"p", "port", "midi port"})) return EWindowCommand::MidiPort;
  if (IsOneOf(s, {"c", "close"})) return EWindowCommand::Close;
  if (IsOneOf(s, {"q", "quit"})) return EWindowCommand::CloseBox;
  return EWindowCommand::Invalid;
}

}  // namespace velda::tty
