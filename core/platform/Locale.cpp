#include "core/platform/Locale.h"

#include <chrono>
#include <clocale>
#include <ctime>
#include <filesystem>
#include <system_error>

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

std::string FileWrittenText(const std::string& path) {
  std::error_code error;
  const auto written = std::filesystem::last_write_time(std::filesystem::path(path), error);
  if (error) return {};
  const std::time_t when =
      std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written));
  const std::tm local = LocalTime(when);
  char buffer[32];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &local);
  return std::string(buffer, n);
}

}  // namespace platform
