// The exit statuses of orvenna-cli.
#pragma once

namespace cli {

inline constexpr int kExitComplete = 0;     // every tile saved (or a blank for one the server has not)
inline constexpr int kExitIncomplete = 1;   // finished, but tiles were given up or not tried
inline constexpr int kExitUsage = 2;        // bad input or usage; the task is worked by another run
inline constexpr int kExitStopped = 3;      // a worker was stopped by a ban or a network failure
inline constexpr int kExitInterrupted = 130;  // SIGINT or SIGTERM

}  // namespace cli
