// A program's --help text as a man page (section 1), so that each program's manual is made from
// its one help text and never disagrees with it.
#pragma once

#include <string>

namespace velda::app {

struct CManHeader {
  std::string strProgram;  // "uxs"
  std::string strSummary;  // the NAME line's text after the dash
  std::string strVersion;  // "uxs 1.10"
};

// The usage line ("Usage: PROGRAM ...") becomes the synopsis, the sentences after it the
// description, "Heading:" lines sections, and option lines tagged paragraphs.
std::string HelpToManPage(const std::string& strHelp, const CManHeader& header);

}  // namespace velda::app
