// The one description of velda-installer's command line: --help prints it, the man page and the
// README section are made from it (velda-installer-docs), so the three never disagree.
#pragma once

#include <string>

#include "shell/version.h"

namespace velda::app {

inline constexpr const char* PROGRAM_NAME = "velda-installer";
inline constexpr const char* PROGRAM_VERSION = VELDA_VERSION;

// The whole --help text: usage, options, the terminal's keys, the simulated instrument's
// settings and the exit codes. Lines end in LF.
std::string HelpText();

// "velda-installer 1.10".
std::string VersionText();

// The help text as a man page (section 1): the usage line becomes the synopsis, the sentences
// after it the description, "Heading:" lines sections, and option lines tagged paragraphs.
std::string HelpToMan(const std::string& strHelp);

// The help text as it stands in the README: a fenced block.
std::string HelpToMarkdown(const std::string& strHelp);

// The README section keeps the help text between these two lines.
inline constexpr const char* README_HELP_BEGIN = "<!-- velda-installer --help: begin -->";
inline constexpr const char* README_HELP_END = "<!-- velda-installer --help: end -->";

// strReadme with the fenced help text between the two marker lines replaced by strHelp's; false
// when the markers are missing.
bool SpliceHelpIntoReadme(const std::string& strReadme, const std::string& strHelp, std::string& strOut);

}  // namespace velda::app
