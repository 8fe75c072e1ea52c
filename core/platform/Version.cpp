#include "core/platform/Version.h"

namespace platform {

const char* Version() { return ORVENNA_VERSION; }

std::string VersionText(const std::string& program, const std::string& settingsFile) {
  std::string text = program + " " + Version() + "\n";
  if (!settingsFile.empty()) text += "Settings: " + settingsFile + "\n";
  return text;
}

}  // namespace platform
