// A command-line program's stop: SIGINT and SIGTERM (on Windows Ctrl-C,
// Ctrl-Break and closing the console) for its work. The first asks the work
// to stop (the program's loop looks at the count, then ends as its Stop
// does), a second ends the program at once with kExitInterrupted. Safe
// because every file is written atomically: none is left half written.
#pragma once

namespace consolekit {

void InstallStopSignals();
// How many stop requests have come; any thread.
int StopSignalsReceived();

}  // namespace consolekit
