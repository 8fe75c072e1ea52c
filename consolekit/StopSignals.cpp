#include "consolekit/StopSignals.h"

#include "consolekit/ExitStatus.h"
#include "core/platform/StopRequests.h"

namespace consolekit {

void InstallStopSignals() { platform::InstallStopRequestHandler(kExitInterrupted); }

int StopSignalsReceived() { return platform::StopRequestsReceived(); }

}  // namespace consolekit
