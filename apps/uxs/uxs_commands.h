// The commands of uxs. Each takes the parsed command line, writes its report to out and its
// complaints to err, and returns the program's exit code.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace velda::uxs {

struct CUxsArgs {
  std::string strCommand;
  std::vector<std::string> aOperands;  // FILE, DIR
  bool bJson = false;
  bool bKeepLineEnds = false;
  std::string strOutput;
  std::string strScript;
  std::vector<std::pair<std::string, std::string>> aEntries;  // NAME, FILE
  std::uint32_t nRate = 0;                                    // 0: the default
  std::vector<std::string> aInstrument;                       // KEY=VALUE
};

// The whole program: parses argv, runs the command.
int RunUxs(const std::vector<std::string>& aArgv, std::ostream& out, std::ostream& err);

int CmdShow(const CUxsArgs& args, std::ostream& out, std::ostream& err);
int CmdScript(const CUxsArgs& args, std::ostream& out, std::ostream& err);
int CmdExtract(const CUxsArgs& args, std::ostream& out, std::ostream& err);
int CmdPack(const CUxsArgs& args, std::ostream& out, std::ostream& err);
int CmdLint(const CUxsArgs& args, std::ostream& out, std::ostream& err);
int CmdPlan(const CUxsArgs& args, std::ostream& out, std::ostream& err);

// The whole file; false with a message in err when it cannot be read.
bool ReadWholeFile(const std::string& strPath, std::vector<std::uint8_t>& aBytes, std::ostream& err);

// A JSON string literal (quotes included); bytes that are not UTF-8 are read as code page 1252.
std::string Json(const std::string& str);

}  // namespace velda::uxs
