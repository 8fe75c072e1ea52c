// The programs' version, homepage and contact: the project's, set once in the build.
#pragma once

#include <string>

namespace platform {

const char* Version();
// The project's homepage ("https://..."), and the mail address of its makers
// (no "mailto:").
const char* Homepage();
const char* ContactAddress();

// What --version prints: "<program> <version>", then "Settings: <file>" when
// the program has a settings file (settingsFile not empty).
std::string VersionText(const std::string& program, const std::string& settingsFile);

}  // namespace platform
