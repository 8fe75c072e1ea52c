#include "consolekit/Failure.h"

#include "core/platform/Files.h"

namespace consolekit {

int ExitStatusOf(const std::exception& error, int otherwise) {
  return platform::IsSystemFailure(error) ? kExitSystemFailure : otherwise;
}

int ReportFailure(const Program& program, const std::exception& error, int otherwise) {
  PrintError(program, platform::FailureText(error));
  return ExitStatusOf(error, otherwise);
}

}  // namespace consolekit
