// The exit statuses of the command-line programs. A program documents the
// ones it uses; the numbers never change meaning between programs.
#pragma once

namespace consolekit {

inline constexpr int kExitComplete = 0;     // the whole job done
inline constexpr int kExitIncomplete = 1;   // finished, but with holes: tiles given up, missing or not tried
inline constexpr int kExitUsage = 2;         // bad usage or bad input (a file that is not what it should be)
inline constexpr int kExitStopped = 3;      // stopped by the service: a ban, a refused key, the network
inline constexpr int kExitSystemFailure = 4;  // the system failed: a full disk, a file that cannot be written
inline constexpr int kExitInterrupted = 130;  // SIGINT or SIGTERM

}  // namespace consolekit
