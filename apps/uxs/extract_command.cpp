// uxs extract: the script and each entry's data to files inside one folder, never outside it and
// never over a file that is there already.
#include <filesystem>
#include <fstream>

#include "package_listing.h"
#include "safe_name.h"
#include "uxs_commands.h"
#include "uxs_help.h"

namespace velda::uxs {

namespace {

namespace fs = std::filesystem;

// Writes a new file; false with a message when it exists (or is a link) or cannot be written.
bool WriteNewFile(const fs::path& path, std::span<const std::uint8_t> aBytes, std::ostream& err) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(path, ec))) {
    err << "uxs: " << path.string() << " exists already; not overwritten\n";
    return false;
  }
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(aBytes.data()), static_cast<std::streamsize>(aBytes.size()));
  f.close();
  if (!f) {
    err << "uxs: cannot write " << path.string() << "\n";
    return false;
  }
  return true;
}

// A folder inside the output, made when missing; false when it is a link or no folder.
bool PlainFolder(const fs::path& path, std::ostream& err) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(path, ec);
  if (fs::is_symlink(st) || (fs::exists(st) && !fs::is_directory(st))) {
    err << "uxs: " << path.string() << " is not a plain folder\n";
    return false;
  }
  fs::create_directories(path, ec);
  if (ec) {
    err << "uxs: cannot make " << path.string() << ": " << ec.message() << "\n";
    return false;
  }
  return true;
}

}  // namespace

int CmdExtract(const CUxsArgs& args, std::ostream& out, std::ostream& err) {
  std::vector<std::uint8_t> aImage;
  if (!ReadWholeFile(args.aOperands[0], aImage, err)) return UXS_FILE_ERROR;
  const CPackageListing p = ListPackage(aImage);
  const fs::path dir(args.aOperands[1]);
  const fs::path entries = dir / "entries";
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec) || !PlainFolder(entries, err)) {
    if (!fs::is_directory(dir, ec)) err << "uxs: cannot make " << dir.string() << "\n";
    return UXS_FILE_ERROR;
  }
  bool bOk =
      WriteNewFile(dir / "script.txt",
                   std::span(reinterpret_cast<const std::uint8_t*>(p.strScript.data()), p.strScript.size()), err);
  if (bOk) out << "script -> " << (dir / "script.txt").string() << "\n";
  std::vector<std::string> aNames;
  for (const CListedEntry& e : p.aEntries) aNames.push_back(e.strName);
  const std::vector<std::string> aFiles = UniqueSafeNames(aNames);
  for (std::size_t i = 0; i < p.aEntries.size(); ++i) {
    const CListedEntry& e = p.aEntries[i];
    const fs::path path = entries / aFiles[i];
    if (!WriteNewFile(path, EntryData(aImage, e), err)) {
      bOk = false;
      continue;
    }
    out << "entry " << i << " \"" << e.strName << "\" -> " << path.string();
    if (aFiles[i] != e.strName) out << " (renamed)";
    out << "\n";
  }
  if (!p.check.IsSound()) {
    err << "uxs: " << args.aOperands[0] << ": " << p.check.strDescription << "; extracted what lies inside the file\n";
    return UXS_BAD_PACKAGE;
  }
  return bOk ? UXS_OK : UXS_FILE_ERROR;
}

}  // namespace velda::uxs
