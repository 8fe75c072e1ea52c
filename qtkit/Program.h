// What every window program does at its start: it answers --help and
// --version before any window (they need no display), puts its icon on every
// window and names its desktop entry, and takes at most one file to open.
// Main thread only.
#pragma once

#include <QIcon>
#include <QString>

#include <optional>
#include <string>

namespace qtkit {

struct ProgramInfo {
  const char* Name;       // the executable's name: "tileview"
  const char* DesktopId;  // its desktop entry, icon and AppStream id
  const char* Usage;      // the --help text
};

// Before the application object: prints the usage for --help or -h, the
// version and settingsFile (may be empty) for --version, and returns the exit
// status; nullopt when neither was asked for.
std::optional<int> AnswerInformationOptions(int argc, char** argv, const ProgramInfo& program,
                                            const std::string& settingsFile);

// The program's icon, in every size it is drawn in (null for an unknown id).
QIcon ProgramIcon(const char* desktopId);

// After the application object: the program's icon on every window, and the
// desktop entry the desktop matches its windows with.
void SetUpWindowProgram(const ProgramInfo& program);

// The file the program was started with (empty when none), from the
// application's arguments; anything more, or an unknown option, prints the
// usage to standard error and gives nullopt.
std::optional<QString> FileArgument(const ProgramInfo& program);

}  // namespace qtkit
