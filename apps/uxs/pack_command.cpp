// uxs pack: a package from a script and entry files, through the installer's package writer,
// which refuses what the installer cannot read and puts the output in place only when complete.
#include <span>

#include "script/package_writer.h"
#include "uxs_commands.h"
#include "uxs_help.h"

namespace velda::uxs {

namespace {

// Why the installer could not read this script's lines; empty when it can. A NUL is the
// writer's to refuse.
std::string LineEndProblem(const std::string& strScript) {
  int nLine = 1;
  for (std::size_t i = 0; i < strScript.size(); ++i) {
    const char c = strScript[i];
    if (c == '\n' && (i == 0 || strScript[i - 1] != '\r')) {
      return "line " + std::to_string(nLine) +
             " ends in a bare LF; the installer needs CR LF (--keep-line-ends packs it as it is)";
    }
    if (c == '\r' && (i + 1 >= strScript.size() || strScript[i + 1] != '\n')) {
      return "line " + std::to_string(nLine) +
             " holds a CR without LF after it; the installer needs CR LF (--keep-line-ends packs it as it is)";
    }
    if (c == '\n') ++nLine;
  }
  return {};
}

}  // namespace

int CmdPack(const CUxsArgs& args, std::ostream& out, std::ostream& err) {
  if (args.strScript.empty() || args.strOutput.empty()) {
    err << "uxs: pack needs --script FILE and -o FILE\nTry 'uxs --help' for more information.\n";
    return UXS_USAGE;
  }
  std::vector<std::uint8_t> aScript;
  if (!ReadWholeFile(args.strScript, aScript, err)) return UXS_FILE_ERROR;
  const std::string strScript(aScript.begin(), aScript.end());
  if (!args.bKeepLineEnds) {
    if (const std::string strWhy = LineEndProblem(strScript); !strWhy.empty()) {
      err << "uxs: " << args.strScript << ": " << strWhy << "\n";
      return UXS_BAD_PACKAGE;
    }
  }
  // Every file is read before the first byte is written.
  std::vector<std::vector<std::uint8_t>> aData(args.aEntries.size());
  for (std::size_t i = 0; i < args.aEntries.size(); ++i) {
    if (!ReadWholeFile(args.aEntries[i].second, aData[i], err)) return UXS_FILE_ERROR;
  }
  std::vector<CPackageEntry> aEntries;
  for (std::size_t i = 0; i < args.aEntries.size(); ++i) aEntries.push_back({args.aEntries[i].first, aData[i]});
  const CPackageWrite written = WritePackageFile(args.strOutput, strScript, aEntries);
  if (!written.IsOk()) {
    err << "uxs: " << args.strOutput << ": " << written.strError << "\n";
    return written.eFault == EPackageWriteFault::CannotWrite ? UXS_FILE_ERROR : UXS_BAD_PACKAGE;
  }
  out << args.strOutput << ": script " << strScript.size() << " bytes, " << aEntries.size() << " entr"
      << (aEntries.size() == 1 ? "y" : "ies") << "\n";
  return UXS_OK;
}

}  // namespace velda::uxs
