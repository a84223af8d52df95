// uxs lint: the findings, as text or as one JSON object.
#include "script_lint.h"
#include "uxs_commands.h"
#include "uxs_help.h"

namespace velda::uxs {

int CmdLint(const CUxsArgs& args, std::ostream& out, std::ostream& err) {
  std::vector<std::uint8_t> aImage;
  if (!ReadWholeFile(args.aOperands[0], aImage, err)) return UXS_FILE_ERROR;
  const std::vector<CLintFinding> a = LintPackage(aImage);
  const int nExit = LintExitCode(a);
  if (args.bJson) {
    out << "{\"file\":" << Json(args.aOperands[0]) << ",\"exit_code\":" << nExit << ",\"findings\":[";
    for (std::size_t i = 0; i < a.size(); ++i) {
      out << (i == 0 ? "" : ",") << "{\"line\":" << a[i].nLine << ",\"severity\":\""
          << (a[i].eSeverity == ELintSeverity::Error ? "error" : "warning") << "\",\"code\":" << Json(a[i].strCode)
          << ",\"message\":" << Json(a[i].strMessage) << "}";
    }
    out << "]}\n";
  } else {
    for (const CLintFinding& f : a) out << args.aOperands[0] << ": " << FormatFinding(f) << "\n";
  }
  return nExit;
}

}  // namespace velda::uxs
