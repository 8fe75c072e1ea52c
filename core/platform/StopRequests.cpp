#include "core/platform/StopRequests.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace platform {

namespace {

std::atomic<int> received{0};
std::atomic<int> exitStatus{1};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

#ifdef _WIN32
// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  if (received.fetch_add(1) >= 1) ExitProcess(static_cast<UINT>(exitStatus.load()));
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    // The system ends the process once this returns (or after 5 s): the
    // time until then is the program's to stop and save as Stop does; it
    // ends itself from its main thread as soon as it has.
    Sleep(4500);
  }
  return TRUE;
}
#else
extern "C" void OnStopSignal(int) {
  if (received.fetch_add(1) >= 1) ::_exit(exitStatus.load());
}
#endif

}  // namespace

void InstallStopRequestHandler(int exitStatusOnSecond) {
  exitStatus.store(exitStatusOnSecond);
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
#endif
}

int StopRequestsReceived() { return received.load(); }

}  // namespace platform
