// Parsing uxs's command line and dispatching to the command.
#include <fstream>
#include <sstream>

#include "ui/tty/tty_json.h"
#include "uxs_commands.h"
#include "uxs_help.h"

namespace velda::uxs {

namespace {

struct CCommand {
  const char* pszName;
  std::size_t nOperands;
  int (*pfnRun)(const CUxsArgs&, std::ostream&, std::ostream&);
};

constexpr CCommand kCommands[] = {
    {"show", 1, CmdShow}, {"script", 1, CmdScript}, {"extract", 2, CmdExtract},
    {"pack", 0, CmdPack}, {"lint", 1, CmdLint},     {"plan", 1, CmdPlan},
};

int Usage(std::ostream& err, const std::string& strWhy) {
  err << "uxs: " << strWhy << "\nTry 'uxs --help' for more information.\n";
  return UXS_USAGE;
}

}  // namespace

std::string Json(const std::string& str) { return tty::JsonString(str); }

bool ReadWholeFile(const std::string& strPath, std::vector<std::uint8_t>& aBytes, std::ostream& err) {
  std::ifstream in(strPath, std::ios::binary);
  if (!in) {
    err << "uxs: cannot open " << strPath << "\n";
    return false;
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) {
    err << "uxs: cannot read " << strPath << "\n";
    return false;
  }
  const std::string s = ss.str();
  aBytes.assign(s.begin(), s.end());
  return true;
}

int RunUxs(const std::vector<std::string>& aArgv, std::ostream& out, std::ostream& err) {
  CUxsArgs args;
  for (std::size_t i = 0; i < aArgv.size(); ++i) {
    const std::string& s = aArgv[i];
    const auto Value = [&](std::string& strInto) {
      if (i + 1 >= aArgv.size()) return false;
      strInto = aArgv[++i];
      return true;
    };
    if (s == "-h" || s == "--help") {
      out << UxsHelpText();
      return UXS_OK;
    }
    if (s == "--version") {
      out << UxsVersionText() << "\n";
      return UXS_OK;
    }
    if (s == "--json") {
      args.bJson = true;
    } else if (s == "--keep-line-ends") {
      args.bKeepLineEnds = true;
    } else if (s == "-o" || s == "--output") {
      if (!Value(args.strOutput)) return Usage(err, s + " needs a file");
    } else if (s == "--script") {
      if (!Value(args.strScript)) return Usage(err, "--script needs a file");
    } else if (s == "--entry") {
      std::string str;
      if (!Value(str)) return Usage(err, "--entry needs NAME=FILE");
      const std::size_t nEq = str.find('=');
      if (nEq == std::string::npos) return Usage(err, "--entry needs NAME=FILE, not " + str);
      args.aEntries.emplace_back(str.substr(0, nEq), str.substr(nEq + 1));
    } else if (s == "--rate") {
      std::string str;
      if (!Value(str)) return Usage(err, "--rate needs bytes per millisecond");
      const bool bDigits = !str.empty() && str.size() <= 6 && str.find_first_not_of("0123456789") == std::string::npos;
      args.nRate = bDigits ? static_cast<std::uint32_t>(std::stoul(str)) : 0;
      if (args.nRate == 0) return Usage(err, "--rate needs a whole number of bytes per millisecond from 1, not " + str);
    } else if (s == "--instrument") {
      std::string str;
      if (!Value(str)) return Usage(err, "--instrument needs KEY=VALUE");
      args.aInstrument.push_back(str);
    } else if (s.size() > 1 && s[0] == '-') {
      return Usage(err, "unknown option " + s);
    } else if (args.strCommand.empty()) {
      args.strCommand = s;
    } else {
      args.aOperands.push_back(s);
    }
  }
  if (args.strCommand.empty()) return Usage(err, "no command given");
  for (const CCommand& c : kCommands) {
    if (args.strCommand != c.pszName) continue;
    if (args.aOperands.size() != c.nOperands) {
      return Usage(err, args.strCommand + " takes " + std::to_string(c.nOperands) + " operand" +
                            (c.nOperands == 1 ? "" : "s") + ", not " + std::to_string(args.aOperands.size()));
    }
    return c.pfnRun(args, out, err);
  }
  return Usage(err, "unknown command " + args.strCommand);
}

}  // namespace velda::uxs
