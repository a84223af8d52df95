// File names for package entries: an entry's name may hold anything (slashes, "..", control
// bytes, nothing at all), but what extract writes must stay one plain file inside its folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velda::uxs {

// One path component: letters, digits, '.', '-' and '_' kept, every other byte '_'; an empty
// name, a name starting with '.', and a device name of Windows (CON, NUL, COM1, ...) get a
// leading '_'; at most 200 bytes.
std::string SafeFileName(std::string_view svName);

// Safe names for a list of entry names, none taken twice even where letter case does not count:
// a later holder of a taken name gets "~2", "~3", ... appended.
std::vector<std::string> UniqueSafeNames(const std::vector<std::string>& aNames);

}  // namespace velda::uxs
