// The desktop's regional settings, as the C library's current locale gives them
// (the GUI sets the locale from the environment at start-up).
#pragma once

#include <ctime>
#include <string>

namespace platform {

// The desktop's decimal mark, '.' or ','.
char DesktopDecimalSeparator();

// The current local date and time in the desktop's short date format and long
// time format, separated by one blank: strftime's "%x %X" in the current
// locale ("03/14/24 15:30:05" in the C locale, "14.03.2024 15:30:05" in German).
std::string CurrentDateTimeText();

// The desktop's local time of when; from any thread.
std::tm LocalTime(std::time_t when);

// When the file at path was last written, local time, "2026-12-08 11:45";
// empty when it cannot be told.
std::string FileWrittenText(const std::string& path);

}  // namespace platform
