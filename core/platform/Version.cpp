#include "core/platform/Version.h"

namespace platform {

const char* Version() { return ORVENNA_VERSION; }

const char* Homepage() { return ORVENNA_HOMEPAGE; }

const char* ContactAddress() { return ORVENNA_CONTACT; }

std::string VersionText(const std::string& program, const std::string& settingsFile) {
  std::string text = program + " " + Version() + "\n";
  if (!settingsFile.empty()) text += "Settings: " + settingsFile + "\n";
  return text;
}

}  // namespace platform
