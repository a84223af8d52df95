// velda-installer-docs: the man page and the README section's option block, both made from the
// help text of velda-installer, so that the documents never disagree with --help.
//
//   velda-installer-docs --man                 prints the man page
//   velda-installer-docs --update-readme FILE  puts the current help text into FILE (between
//                                              its marker lines)
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "help_text.h"

int main(int argc, char** argv) {
  using namespace velda::app;
  const std::string_view strWhat = argc >= 2 ? argv[1] : "";
  if (strWhat == "--man" && argc == 2) {
    std::fputs(HelpToMan(HelpText()).c_str(), stdout);
    return 0;
  }
  if (strWhat == "--update-readme" && argc == 3) {
    std::ifstream in(argv[2], std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    std::string strOut;
    if (!in || !SpliceHelpIntoReadme(ss.str(), HelpText(), strOut)) {
      std::fprintf(stderr, "velda-installer-docs: %s has no help markers\n", argv[2]);
      return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << strOut;
    return out ? 0 : 1;
  }
  std::fputs("usage: velda-installer-docs --man | --update-readme FILE\n", stderr);
  return 2;
}
