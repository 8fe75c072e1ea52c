// How the command-line programs tell an error that none of their checks
// answered: a failure of the system (a file that cannot be read or written,
// a full disk, a folder that cannot be made) in the system's words and with
// exit status 4, in every program alike; anything else as it is, with the
// status the program gives it.
#pragma once

#include <exception>
#include <string>

#include "consolekit/CommandLine.h"
#include "consolekit/ExitStatus.h"

namespace consolekit {

// kExitSystemFailure for a failure of the system (platform::IsSystemFailure),
// otherwise.
int ExitStatusOf(const std::exception& error, int otherwise = kExitUsage);

// Prints "<program>: <text>" with the system's reason after a failure of the
// system's text ("Cannot create file /m/t/a.jpg: Permission denied") and
// returns ExitStatusOf(error, otherwise).
int ReportFailure(const Program& program, const std::exception& error, int otherwise = kExitUsage);

}  // namespace consolekit
