// The desktop's regional settings, as the C library's current locale gives them
// (the GUI sets the locale from the environment at start-up).
#pragma once

#include <string>

namespace platform {

// The desktop's decimal mark, '.' or ','.
char DesktopDecimalSeparator();

// The current local date and time in the desktop's short date format and long
// time format, separated by one blank.
std::string CurrentDateTimeText();

}  // namespace platform
