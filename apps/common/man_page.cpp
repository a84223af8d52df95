#include "man_page.h"

#include <string_view>
#include <vector>

namespace velda::app {

namespace {

std::vector<std::string_view> SplitLines(std::string_view s) {
  std::vector<std::string_view> a;
  std::size_t nStart = 0;
  while (nStart < s.size()) {
    const std::size_t nEnd = s.find('\n', nStart);
    if (nEnd == std::string_view::npos) {
      a.push_back(s.substr(nStart));
      break;
    }
    a.push_back(s.substr(nStart, nEnd - nStart));
    nStart = nEnd + 1;
  }
  return a;
}

std::string_view TrimLeft(std::string_view s) {
  const auto n = s.find_first_not_of(' ');
  return n == std::string_view::npos ? std::string_view() : s.substr(n);
}

std::size_t Indent(std::string_view s) {
  const auto n = s.find_first_not_of(' ');
  return n == std::string_view::npos ? s.size() : n;
}

// Text for roff: backslashes doubled as \e, hyphens of options as \-, and a line that would
// start with a control character protected.
std::string Roff(std::string_view s, bool bOptionHyphens) {
  std::string out;
  for (const char c : s) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-' && bOptionHyphens) {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::string Upper(std::string_view s) {
  std::string str(s);
  for (char& c : str) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return str;
}

bool IsHeading(std::string_view s) { return !s.empty() && s[0] != ' ' && s.back() == ':'; }

// "Requests: inquiry mode-on ...": a labelled line of its own.
bool IsLabelledLine(std::string_view s) {
  const auto nColon = s.find(": ");
  if (nColon == std::string_view::npos || nColon == 0 || s[0] < 'A' || s[0] > 'Z') return false;
  for (std::size_t i = 1; i < nColon; ++i) {
    if (s[i] < 'a' || s[i] > 'z') return false;
  }
  return true;
}

}  // namespace

std::string HelpToManPage(const std::string& strHelp, const CManHeader& header) {
  const std::vector<std::string_view> aLines = SplitLines(strHelp);
  std::string out =
      ".TH " + Upper(header.strProgram) + " 1 \"\" \"" + header.strVersion + "\" \"User Commands\"\n.nh\n";
  out += ".SH NAME\n" + Roff(header.strProgram, true) + " \\- " + Roff(header.strSummary, true) + "\n";
  std::size_t i = 0;
  const std::string strUsagePrefix = "Usage: " + header.strProgram + " ";
  if (!aLines.empty() && aLines[0].rfind(strUsagePrefix, 0) == 0) {
    out += ".SH SYNOPSIS\n.B " + Roff(header.strProgram, true) + "\n" +
           Roff(aLines[0].substr(strUsagePrefix.size()), false) + "\n";
    i = 1;
    // Further usage forms: "   or: PROGRAM ...".
    const std::string strOrPrefix = "   or: " + header.strProgram + " ";
    for (; i < aLines.size() && aLines[i].rfind(strOrPrefix, 0) == 0; ++i) {
      out +=
          ".br\n.B " + Roff(header.strProgram, true) + "\n" + Roff(aLines[i].substr(strOrPrefix.size()), false) + "\n";
    }
  }
  out += ".SH DESCRIPTION\n";
  bool bInTag = false;  // inside a tagged paragraph: deeper lines continue its text
  for (; i < aLines.size(); ++i) {
    const std::string_view strLine = aLines[i];
    const std::size_t nIndent = Indent(strLine);
    const std::string_view s = TrimLeft(strLine);
    if (s.empty()) {
      out += ".PP\n";
      bInTag = false;
    } else if (IsHeading(strLine)) {
      out += ".SH \"" + Roff(Upper(s.substr(0, s.size() - 1)), false) + "\"\n";
      bInTag = false;
    } else if (nIndent > 2 && bInTag) {
      out += Roff(s, false) + "\n";
    } else if (const auto nGap = s.find("  "); nIndent == 2 && nGap != std::string_view::npos) {
      // "  --trace FILE    text", "  0  text", "  keyword=TEXT    text": a tag and its text.
      out += ".TP\n.B " + Roff(s.substr(0, nGap), true) + "\n" + Roff(TrimLeft(s.substr(nGap)), false) + "\n";
      bInTag = true;
    } else if (nIndent == 2 && i + 1 < aLines.size() && Indent(aLines[i + 1]) > 2 && !TrimLeft(aLines[i + 1]).empty()) {
      // A tag whose text starts on the next line.
      out += ".TP\n.B " + Roff(s, true) + "\n";
      bInTag = true;
    } else {
      if (bInTag || (nIndent == 0 && IsLabelledLine(s))) out += ".PP\n";
      bInTag = false;
      out += Roff(s, false) + "\n";
    }
  }
  return out;
}

}  // namespace velda::app
