#include "tests/support/GermanLocale.h"

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/TempDir.h"

namespace testsupport {

GermanLocale::GermanLocale() {
#ifdef _WIN32
  // Windows' own names of the locale; every Windows (and Wine) has it.
  for (const char* name : {"de-DE", "German_Germany.1252", "German"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      active_ = true;
      return;
    }
  }
#else
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      active_ = true;
      return;
    }
  }
  static std::unique_ptr<TempDir> compiled;
  if (!compiled) {
    compiled = std::make_unique<TempDir>();
    const std::string command = "localedef -i de_DE -f UTF-8 '" + compiled->Path() + "de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return;
  }
  ::setenv("LOCPATH", compiled->Path().c_str(), 1);
  active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
#endif
}

GermanLocale::~GermanLocale() {
  std::setlocale(LC_ALL, "C");
#ifndef _WIN32
  ::unsetenv("LOCPATH");
#endif
}

}  // namespace testsupport
