#include "help_text.h"

#include <string_view>
#include <vector>

#include "instrument/instrument_settings.h"
#include "shell/outcome.h"

namespace velda::app {

namespace {

constexpr const char* kUsage = R"(Usage: velda-installer [OPTION]...
Writes new firmware and data from a package into a VELDA instrument over its USB-MIDI connection.

With no option it runs as the installer always has: a window when a display is available (else
the terminal), the instrument's ports "HALVEN USB IN 0-1" and "HALVEN USB OUT 0-1", and the
package velda.uxs in the current folder. It asks four questions before it starts, and only one
copy runs at a time.

Options:
  --package FILE      read the package from FILE instead of velda.uxs in the current folder
  --virtual           install into the built-in simulated instrument instead of a real one; it
                      restarts into update mode as the real one does, so a run takes about a
                      minute
  --virtual-clock     with --virtual: run on a simulated clock, so that pauses and time-outs take
                      no time (tests, quick previews; terminal only)
  --gui               show the window (needs a display and a build with Qt 6)
  --tui               run on the terminal even when a display is available
  --yes               answer the four questions and every other message box with OK, and press
                      Close (or the close box) when a failure leaves the window waiting
  --json              on the terminal: print one JSON object per line for every status text, bar
                      change, button, message box and its answer, and the end with its exit code
  --midi-in NAME      use the MIDI input device NAME as the instrument's input
  --midi-out NAME     use the MIDI output device NAME as the instrument's output
  --midi-api API      the MIDI system: alsa (the ALSA sequencer) or jack (a running JACK
                      server); by default ALSA, and JACK when ALSA cannot be used
  --list-ports        list the MIDI input and output devices, then exit
  --trace FILE        write every message sent and received to FILE, one line each:
                      "<ms> > F0 .. F7" sent, "<ms> < F0 .. F7" received, "<ms> # note"
  --dump DIR          with --virtual: when the program ends, write the instrument's memory to
                      DIR as Intel HEX, one file device-<n>.hex per device
  --instrument KEY=VALUE
                      with --virtual: one setting of the simulated instrument (may be repeated;
                      the keys are listed below)
  --version           print the version, then exit
  -h, --help          print this help, then exit

On the terminal:
  A message box becomes a prompt: Enter answers OK, c answers Cancel. The MIDI Port Select
  dialog becomes a numbered menu. While MIDI Port or Close is enabled, p presses MIDI Port and
  c presses Close; q closes the window at any time, and so does Ctrl-C (twice: at once). A line
  typed before its prompt answers the next prompt. When the input ends, the questions are
  answered Cancel and a window that waits is closed. On a terminal the status and the two bars
  are redrawn in place; otherwise each change is one line.

One copy at a time:
  A run on a real instrument holds one lock for the whole system, whoever runs it; a second copy
  ends at once with exit code 8, and a copy that cannot take the lock at all for another reason
  says so in one line and does not start (exit code 11). A --virtual run drives no real
  instrument: its lock is named after the folder of its package instead, so simulated runs of
  packages in different folders run side by side, and a second one from the same folder still
  ends with exit code 8.

)";

struct CExitCode {
  int nCode;
  const char* pszMeaning;
};

constexpr CExitCode kExitCodes[] = {
    {EXIT_COMPLETED, "the installation completed"},
    {EXIT_USAGE, "usage error: a wrong option, or a front end that is not available"},
    {EXIT_REFUSED, "the instrument refused a request"},
    {EXIT_TIMED_OUT, "the instrument did not answer in time"},
    {EXIT_SCRIPT_OR_PACKAGE, "the package or its script could not be used"},
    {EXIT_CANCELLED, "a start-up question was cancelled"},
    {EXIT_PORT_ERROR, "the instrument's MIDI ports could not be opened, or there is no MIDI system"},
    {EXIT_SECOND_COPY, "another copy is running (this one ends at once, silently)"},
    {EXIT_NOT_COMPLETED, "the window was closed before the installation ended"},
    {EXIT_COMPLETED_WITH_ERRORS,
     "the installation completed, but an entry was not installed (\" Data File Open Error \")"},
    {EXIT_NO_LOCK, "the single-instance lock could not be taken, for a reason other than another copy"},
};

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

std::string HelpText() {
  std::string s = kUsage;
  s += InstrumentSettingsHelp();
  if (s.back() != '\n') s += '\n';
  s += "\nExit codes:\n";
  for (const CExitCode& e : kExitCodes) {
    s += "  ";
    s += std::to_string(e.nCode);
    s += "  ";
    s += e.pszMeaning;
    s += '\n';
  }
  return s;
}

std::string VersionText() { return std::string(PROGRAM_NAME) + " " + PROGRAM_VERSION; }

std::string HelpToMan(const std::string& strHelp) {
  const std::vector<std::string_view> aLines = SplitLines(strHelp);
  std::string out = ".TH VELDA-INSTALLER 1 \"\" \"" + VersionText() + "\" \"User Commands\"\n.nh\n";
  out += ".SH NAME\nvelda\\-installer \\- write firmware into a VELDA instrument over USB\\-MIDI\n";
  std::size_t i = 0;
  constexpr std::string_view kUsagePrefix = "Usage: velda-installer ";
  if (!aLines.empty() && aLines[0].rfind(kUsagePrefix, 0) == 0) {
    out += ".SH SYNOPSIS\n.B velda\\-installer\n" + Roff(aLines[0].substr(kUsagePrefix.size()), false) + "\n";
    i = 1;
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
      std::string strHead(s.substr(0, s.size() - 1));
      for (char& c : strHead) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      out += ".SH \"" + Roff(strHead, false) + "\"\n";
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

std::string HelpToMarkdown(const std::string& strHelp) { return "```text\n" + strHelp + "```\n"; }

bool SpliceHelpIntoReadme(const std::string& strReadme, const std::string& strHelp, std::string& strOut) {
  const std::size_t nBegin = strReadme.find(README_HELP_BEGIN);
  const std::size_t nEnd = strReadme.find(README_HELP_END);
  if (nBegin == std::string::npos || nEnd == std::string::npos || nEnd < nBegin) return false;
  const std::size_t nFrom = nBegin + std::string_view(README_HELP_BEGIN).size();
  strOut = strReadme.substr(0, nFrom) + "\n" + HelpToMarkdown(strHelp) + strReadme.substr(nEnd);
  return true;
}

}  // namespace velda::app
