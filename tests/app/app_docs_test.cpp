// The help text, the man page and the README section: made from one text and kept in step.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "help_text.h"
#include "shell/outcome.h"

namespace velda::app {
namespace {

std::string ReadSource(const std::string& strPath) {
  std::ifstream in(std::string(VELDA_SOURCE_DIR) + "/" + strPath, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(AppDocs, HelpNamesEveryOptionAndEveryExitCode) {
  const std::string s = HelpText();
  for (const char* psz :
       {"--package FILE", "--virtual ", "--virtual-clock", "--gui", "--tui", "--yes", "--json", "--midi-in NAME",
        "--midi-out NAME", "--midi-port NAME", "--midi-api API", "--list-ports", "--trace FILE", "--dump DIR",
        "--instrument KEY=VALUE", "--verify", "--version", "-h, --help"}) {
    EXPECT_NE(s.find(psz), std::string::npos) << psz;
  }
  for (const int n : {EXIT_COMPLETED, EXIT_USAGE, EXIT_REFUSED, EXIT_TIMED_OUT, EXIT_SCRIPT_OR_PACKAGE, EXIT_CANCELLED,
                      EXIT_PORT_ERROR, EXIT_SECOND_COPY, EXIT_NOT_COMPLETED, EXIT_VERIFY_FAILED}) {
    EXPECT_NE(s.find("\n  " + std::to_string(n) + "  "), std::string::npos) << n;
  }
  EXPECT_EQ(s.back(), '\n');
}

TEST(AppDocs, ManPageFromAHelpText) {
  const std::string strHelp =
      "Usage: velda-installer [OPTION]...\n"
      "Does a thing.\n"
      "\n"
      "Options:\n"
      "  --trace FILE   write to FILE, one line\n"
      "                 each\n"
      "  --instrument KEY=VALUE\n"
      "                 a setting\n"
      "Requests: a b\n"
      "Example: .x \\ y\n";
  EXPECT_EQ(HelpToMan(strHelp),
            ".TH VELDA-INSTALLER 1 \"\" \"velda-installer 1.10\" \"User Commands\"\n"
            ".nh\n"
            ".SH NAME\n"
            "velda\\-installer \\- write firmware into a VELDA instrument over USB\\-MIDI\n"
            ".SH SYNOPSIS\n"
            ".B velda\\-installer\n"
            "[OPTION]...\n"
            ".SH DESCRIPTION\n"
            "Does a thing.\n"
            ".PP\n"
            ".SH \"OPTIONS\"\n"
            ".TP\n"
            ".B \\-\\-trace FILE\n"
            "write to FILE, one line\n"
            "each\n"
            ".TP\n"
            ".B \\-\\-instrument KEY=VALUE\n"
            "a setting\n"
            ".PP\n"
            "Requests: a b\n"
            ".PP\n"
            "Example: .x \\e y\n");
}

TEST(AppDocs, ReadmeSplice) {
  std::string strOut;
  EXPECT_FALSE(SpliceHelpIntoReadme("no markers", "x\n", strOut));
  ASSERT_TRUE(SpliceHelpIntoReadme(std::string("a\n") + README_HELP_BEGIN + "\nold\n" + README_HELP_END + "\nb\n",
                                   "new\n", strOut));
  EXPECT_EQ(strOut, std::string("a\n") + README_HELP_BEGIN + "\n```text\nnew\n```\n" + README_HELP_END + "\nb\n");
}

TEST(AppDocs, CheckedInDocumentsFollowTheHelpText) {
  const std::string strReadme = ReadSource("README.md");
  std::string strFresh;
  ASSERT_TRUE(SpliceHelpIntoReadme(strReadme, HelpText(), strFresh));
  EXPECT_EQ(strReadme, strFresh) << "README.md is behind --help: build update-installer-docs";
  EXPECT_EQ(ReadSource("docs/velda-installer.1"), HelpToMan(HelpText()))
      << "docs/velda-installer.1 is behind --help: build update-installer-docs";
}

}  // namespace
}  // namespace velda::app
