#include "shell/outcome.h"

namespace velda {

int ExitCodeOf(EOutcome eOutcome) {
  switch (eOutcome) {
    case EOutcome::Completed:
      return EXIT_COMPLETED;
    case EOutcome::CompletedWithErrors:
      return EXIT_COMPLETED_WITH_ERRORS;
    case EOutcome::Refused:
      return EXIT_REFUSED;
    case EOutcome::TimedOut:
      return EXIT_TIMED_OUT;
    case EOutcome::ScriptError:
    case EOutcome::PackageError:
      return EXIT_SCRIPT_OR_PACKAGE;
    case EOutcome::Cancelled:
      return EXIT_CANCELLED;
    case EOutcome::PortError:
      return EXIT_PORT_ERROR;
    case EOutcome::SecondCopy:
      return EXIT_SECOND_COPY;
    case EOutcome::VerifyFailed:
      return EXIT_VERIFY_FAILED;
    case EOutcome::None:
      break;
  }
  return EXIT_NOT_COMPLETED;
}

const char* NameOf(EOutcome eOutcome) {
  switch (eOutcome) {
    case EOutcome::Completed:
      return "completed";
    case EOutcome::CompletedWithErrors:
      return "completed-with-errors";
    case EOutcome::Refused:
      return "refused";
    case EOutcome::TimedOut:
      return "timed-out";
    case EOutcome::ScriptError:
      return "script-error";
    case EOutcome::PackageError:
      return "package-error";
    case EOutcome::Cancelled:
      return "cancelled";
    case EOutcome::PortError:
      return "port-error";
    case EOutcome::SecondCopy:
      return "second-copy";
    case EOutcome::VerifyFailed:
      return "verify-failed";
    case EOutcome::None:
      break;
  }
  return "not-completed";
}

}  // namespace velda
