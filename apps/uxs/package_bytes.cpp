// The bridge from uxs pack to the installer's package writer.
#include "uxs_commands.h"

namespace velda::uxs {

std::vector<std::uint8_t> PackageBytes(
    const std::string& /*strScript*/,
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& /*aEntries*/, std::string& strWhy) {
  strWhy = "this build has no package writer yet";
  return {};
}

}  // namespace velda::uxs
