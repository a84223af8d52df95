// uxs pack: a package from a script and entry files, refusing what the installer cannot read and
// replacing the output only with a complete package.
#include <filesystem>
#include <fstream>

#include "uxs_commands.h"
#include "uxs_help.h"

namespace velda::uxs {

namespace {

namespace fs = std::filesystem;

// Why the installer could not read this script; empty when it can.
std::string ScriptProblem(const std::string& strScript, bool bKeepLineEnds) {
  int nLine = 1;
  for (std::size_t i = 0; i < strScript.size(); ++i) {
    const char c = strScript[i];
    if (c == '\0') return "line " + std::to_string(nLine) + " holds a NUL character, which no package may carry";
    if (!bKeepLineEnds) {
      if (c == '\n' && (i == 0 || strScript[i - 1] != '\r')) {
        return "line " + std::to_string(nLine) +
               " ends in a bare LF; the installer needs CR LF (--keep-line-ends packs it as it is)";
      }
      if (c == '\r' && (i + 1 >= strScript.size() || strScript[i + 1] != '\n')) {
        return "line " + std::to_string(nLine) +
               " holds a CR without LF after it; the installer needs CR LF (--keep-line-ends packs it as it is)";
      }
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
  if (const std::string strWhy = ScriptProblem(strScript, args.bKeepLineEnds); !strWhy.empty()) {
    err << "uxs: " << args.strScript << ": " << strWhy << "\n";
    return UXS_BAD_PACKAGE;
  }
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> aEntries;
  for (const auto& [strName, strFile] : args.aEntries) {
    std::vector<std::uint8_t> aData;
    if (!ReadWholeFile(strFile, aData, err)) return UXS_FILE_ERROR;
    aEntries.emplace_back(strName, std::move(aData));
  }
  std::string strWhy;
  const std::vector<std::uint8_t> aPackage = PackageBytes(strScript, aEntries, strWhy);
  if (!strWhy.empty()) {
    err << "uxs: " << strWhy << "\n";
    return UXS_BAD_PACKAGE;
  }
  // Written beside the output under another name, then put in its place in one step.
  const fs::path outPath(args.strOutput);
  fs::path tmpPath = outPath;
  tmpPath += ".uxs-part";
  {
    std::ofstream f(tmpPath, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(aPackage.data()), static_cast<std::streamsize>(aPackage.size()));
    f.close();
    if (!f) {
      std::error_code ec;
      fs::remove(tmpPath, ec);
      err << "uxs: cannot write " << tmpPath.string() << "\n";
      return UXS_FILE_ERROR;
    }
  }
  std::error_code ec;
  fs::rename(tmpPath, outPath, ec);
  if (ec) {
    fs::remove(tmpPath, ec);
    err << "uxs: cannot write " << outPath.string() << "\n";
    return UXS_FILE_ERROR;
  }
  out << outPath.string() << ": " << aPackage.size() << " bytes, script " << strScript.size() << " bytes, "
      << aEntries.size() << " entr" << (aEntries.size() == 1 ? "y" : "ies") << "\n";
  return UXS_OK;
}

}  // namespace velda::uxs
