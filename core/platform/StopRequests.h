// The console's requests that a program stop: Ctrl-C and SIGTERM on POSIX;
// Ctrl-C, Ctrl-Break and the closing of the console window on Windows. The
// first asks the work to stop (the program looks at the count); a second ends
// the process at once with the given exit status. Safe because every file is
// written atomically: none is left half written.
#pragma once

namespace platform {

// Once, at the start of a console program.
void InstallStopRequestHandler(int exitStatusOnSecond);
// How many requests have come; any thread.
int StopRequestsReceived();

}  // namespace platform
