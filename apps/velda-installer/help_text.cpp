#include "help_text.h"

#include <string_view>
#include <vector>

#include "instrument/instrument_settings.h"
#include "man_page.h"
#include "shell/outcome.h"

namespace velda::app {

namespace {

constexpr const char* kUsage = R"(Usage: velda-installer [OPTION]... [PACKAGE]
Writes new firmware and data from a package into a VELDA instrument over its USB-MIDI connection.

With no option it runs as the installer always has: a window when a display is available (else
the terminal), the instrument's ports "HALVEN USB IN 0-1" and "HALVEN USB OUT 0-1", and the
package velda.uxs in the current folder. It asks four questions before it starts, and only one
copy runs at a time. A PACKAGE named after the options is read as --package reads it (so a
desktop can open a .uxs file with the installer).

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
  --midi-in NAME      use the MIDI input device NAME as the instrument's input; NAME is a name
                      --list-ports shows, or on Linux the sequencer's client name, client:port
                      or the address (20:0); the port recovery finds it again after the restart
  --midi-out NAME     use the MIDI output device NAME as the instrument's output, named as above
  --midi-port NAME    use the port NAME for both directions (Linux names a USB instrument's port
                      "HALVEN USB MIDI 1" for both); the same as --midi-in NAME --midi-out NAME
  --midi-api API      the MIDI system: alsa (the ALSA sequencer) or jack (a running JACK
                      server); by default ALSA, and JACK when ALSA cannot be used
  --list-ports        list the MIDI input and output devices, then exit
  --trace FILE        write every message sent and received to FILE, one line each:
                      "<ms> > F0 .. F7" sent, "<ms> < F0 .. F7" received, "<ms> # note"
  --verify            before update mode is switched off (and at the end of a script that does
                      not switch it off), read back every range written since it was switched on
                      and compare it with the package; a difference is a failure (exit code 12)
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
    {EXIT_VERIFY_FAILED, "--verify: the instrument's memory differs from the package"},
};

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
  return HelpToManPage(strHelp, {PROGRAM_NAME, "write firmware into a VELDA instrument over USB-MIDI", VersionText()});
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
