// uxs show and uxs script: what a package holds.
#include <array>
#include <cstdio>

#include "hex8.h"
#include "package_listing.h"
#include "uxs_commands.h"
#include "uxs_help.h"

namespace velda::uxs {

namespace {

void ShowText(const std::string& strFile, std::size_t nSize, const CPackageListing& p, std::ostream& out) {
  out << "package " << strFile << ": " << nSize << " bytes\n";
  if (!p.check.IsSound()) out << "not sound: " << p.check.strDescription << "\n";
  out << "script: " << p.nScriptLength << " bytes at offset 4\n";
  out << "entries: " << p.aEntries.size() << "\n";
  if (!p.aEntries.empty()) out << "  #  length      offset      crc-32    name\n";
  for (std::size_t i = 0; i < p.aEntries.size(); ++i) {
    const CListedEntry& e = p.aEntries[i];
    std::array<char, 64> a{};
    std::snprintf(a.data(), a.size(), "%3zu  %-10u  0x%s  %s  ", i, e.nDataLength, Hex8(e.nDataAt).c_str(),
                  Hex8(e.nCrc32).c_str());
    out << a.data() << "\"" << e.strName << "\"\n";
  }
  for (std::size_t i = 0; i < p.aEntries.size(); ++i) {
    const CListedEntry& e = p.aEntries[i];
    if (!e.bFound) {
      out << "duplicate: entry " << i << " \"" << e.strName << "\" is never found; the installer loads entry "
          << e.nFoundIndex << " \"" << p.aEntries[static_cast<std::size_t>(e.nFoundIndex)].strName << "\"\n";
    }
  }
}

void ShowJson(const std::string& strFile, std::size_t nSize, const CPackageListing& p, std::ostream& out) {
  out << "{\"file\":" << Json(strFile) << ",\"size\":" << nSize
      << ",\"sound\":" << (p.check.IsSound() ? "true" : "false")
      << ",\"fault\":" << Json(PackageFaultName(p.check.eFault)) << ",\"script_length\":" << p.nScriptLength
      << ",\"entries\":[";
  for (std::size_t i = 0; i < p.aEntries.size(); ++i) {
    const CListedEntry& e = p.aEntries[i];
    out << (i == 0 ? "" : ",") << "{\"index\":" << i << ",\"name\":" << Json(e.strName)
        << ",\"length\":" << e.nDataLength << ",\"offset\":" << e.nDataAt << ",\"crc32\":\"" << Hex8(e.nCrc32)
        << "\",\"found\":" << (e.bFound ? "true" : "false") << ",\"found_index\":" << e.nFoundIndex << "}";
  }
  out << "]}\n";
}

}  // namespace

int CmdShow(const CUxsArgs& args, std::ostream& out, std::ostream& err) {
  std::vector<std::uint8_t> aImage;
  if (!ReadWholeFile(args.aOperands[0], aImage, err)) return UXS_FILE_ERROR;
  const CPackageListing p = ListPackage(aImage);
  if (args.bJson) {
    ShowJson(args.aOperands[0], aImage.size(), p, out);
  } else {
    ShowText(args.aOperands[0], aImage.size(), p, out);
  }
  return p.check.IsSound() ? UXS_OK : UXS_BAD_PACKAGE;
}

int CmdScript(const CUxsArgs& args, std::ostream& out, std::ostream& err) {
  std::vector<std::uint8_t> aImage;
  if (!ReadWholeFile(args.aOperands[0], aImage, err)) return UXS_FILE_ERROR;
  const CPackageListing p = ListPackage(aImage);
  out << p.strScript;
  if (!p.check.IsSound()) {
    err << "uxs: " << args.aOperands[0] << ": " << p.check.strDescription << "\n";
    return UXS_BAD_PACKAGE;
  }
  return UXS_OK;
}

}  // namespace velda::uxs
