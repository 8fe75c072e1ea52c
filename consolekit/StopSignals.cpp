#include "consolekit/StopSignals.h"

#include <atomic>
#include <csignal>

#include <unistd.h>

#include "consolekit/ExitStatus.h"

namespace consolekit {

namespace {

std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

extern "C" void OnStopSignal(int) {
  if (received.fetch_add(1) >= 1) ::_exit(kExitInterrupted);
}

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

int StopSignalsReceived() { return received.load(); }

}  // namespace consolekit
