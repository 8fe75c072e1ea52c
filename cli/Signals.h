// SIGINT and SIGTERM for a run: the first asks the run to stop as Stop does
// (the main loop looks at the count), a second ends the program at once
// with status 130 (every file is written atomically, so none is left half
// written).
#pragma once

namespace cli {

void InstallStopSignals();
// How many stop signals have come; any thread.
int StopSignalsReceived();

}  // namespace cli
