// The programs' version: the project's version, set once in the build.
#pragma once

#include <string>

namespace platform {

const char* Version();

// What --version prints: "<program> <version>", then "Settings: <file>" when
// the program has a settings file (settingsFile not empty).
std::string VersionText(const std::string& program, const std::string& settingsFile);

}  // namespace platform
