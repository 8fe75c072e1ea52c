// SIGINT and SIGTERM for a command-line program's work: the first asks the
// work to stop (the program's loop looks at the count, then ends as its Stop
// does), a second ends the program at once with kExitInterrupted. Safe
// because every file is written atomically: none is left half written.
#pragma once

namespace consolekit {

void InstallStopSignals();
// How many stop signals have come; any thread.
int StopSignalsReceived();

}  // namespace consolekit
