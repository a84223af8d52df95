// How a run of the installer ended, for exit codes and service tools.
#pragma once

namespace velda {

enum class EOutcome {
  None,          // nothing decided yet: a window closed now ends an unfinished installation
  Completed,     // "Installation is completed."
  Refused,       // the instrument refused a request
  TimedOut,      // a reply never came
  ScriptError,   // the script could not be run
  PackageError,  // the package could not be read or is malformed
  Cancelled,     // a start-up question was cancelled
  PortError,     // the instrument's ports could not be opened
  SecondCopy,    // another copy was running
  // Completed as the window shows it, but an entry was never loaded (" Data File Open Error ").
  CompletedWithErrors,
  VerifyFailed,  // --verify: the instrument's memory differs from the package
};

// Process exit codes: 0 only for a completed installation.
constexpr int EXIT_COMPLETED = 0;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_REFUSED = 3;
constexpr int EXIT_TIMED_OUT = 4;
constexpr int EXIT_SCRIPT_OR_PACKAGE = 5;
constexpr int EXIT_CANCELLED = 6;
constexpr int EXIT_PORT_ERROR = 7;
constexpr int EXIT_SECOND_COPY = 8;
constexpr int EXIT_NOT_COMPLETED = 9;  // the window was closed before the installation ended
constexpr int EXIT_COMPLETED_WITH_ERRORS = 10;
constexpr int EXIT_NO_LOCK = 11;        // no single-instance lock could be had (not for another copy)
constexpr int EXIT_VERIFY_FAILED = 12;  // --verify found a difference

int ExitCodeOf(EOutcome eOutcome);
const char* NameOf(EOutcome eOutcome);

}  // namespace velda
