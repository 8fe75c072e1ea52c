#include "core/platform/Locale.h"

#include <clocale>
#include <ctime>

namespace platform {

char DesktopDecimalSeparator() {
  const std::lconv* conventions = std::localeconv();
  if (conventions != nullptr && conventions->decimal_point != nullptr &&
      conventions->decimal_point[0] == ',') {
    return ',';
  }
  return '.';
}

std::tm LocalTime(std::time_t when) {
  std::tm local {};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  return local;
}

std::string CurrentDateTimeText() {
  const std::tm local = LocalTime(std::time(nullptr));
  // "%x" is the locale's date representation and "%X" its time representation
  // with seconds: the short date and long time formats of the desktop.
  char buffer[256];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &local);
  return std::string(buffer, n);
}

}  // namespace platform
