// The one description of uxs's command line: --help prints it and the man page is made from it.
#pragma once

#include <string>

namespace velda::uxs {

inline constexpr const char* UXS_NAME = "uxs";

// Exit codes of every command.
inline constexpr int UXS_OK = 0;
inline constexpr int UXS_LINT_WARNINGS = 1;
inline constexpr int UXS_LINT_ERRORS = 2;
inline constexpr int UXS_USAGE = 3;
inline constexpr int UXS_FILE_ERROR = 4;
inline constexpr int UXS_BAD_PACKAGE = 5;
inline constexpr int UXS_PLAN_NOT_COMPLETED = 6;

// The default transfer rate of the duration estimate: one 64-byte USB packet of sixteen 4-byte
// USB-MIDI events per 1 ms frame, three SysEx bytes per event.
inline constexpr unsigned DEFAULT_RATE_BYTES_PER_MS = 48;

std::string UxsHelpText();
std::string UxsVersionText();
std::string UxsManPage();

}  // namespace velda::uxs
