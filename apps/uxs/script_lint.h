// Static checks of an installer script, read with the installer's own line and token readers and
// keyword table, so that what lint says is what the installer does. Each finding names its line.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velda::uxs {

enum class ELintSeverity { Warning, Error };

struct CLintFinding {
  int nLine = 0;  // 1-based; 0 for the package as a whole
  ELintSeverity eSeverity = ELintSeverity::Warning;
  std::string strCode;     // stable name: "unknown-keyword", "missing-argument", ...
  std::string strMessage;  // for people
};

struct CLintInput {
  std::string_view svScript;
  // The entries a lookup finds: lower-cased name -> data length. Empty names are names too.
  std::map<std::string, std::uint32_t> mapEntries;
};

std::vector<CLintFinding> LintScript(const CLintInput& input);

// The whole package: its structure, then its script against its entries.
std::vector<CLintFinding> LintPackage(std::span<const std::uint8_t> aImage);

// 0 clean, 1 warnings only, 2 errors.
int LintExitCode(const std::vector<CLintFinding>& aFindings);

// "line 3: error: ..." (one line, no LF).
std::string FormatFinding(const CLintFinding& f);

}  // namespace velda::uxs
