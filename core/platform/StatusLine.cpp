#include "core/platform/StatusLine.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace platform {

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return ::_isatty(::_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

namespace {

// Back to the start of the line, and the line erased.
constexpr const char* kRedraw = "\r\x1b[K";

}  // namespace

void StatusLine::Show(const std::string& text) {
  if (terminal_) {
    std::fputs((kRedraw + text).c_str(), out_);
    drawn_ = true;
  } else {
    std::fputs((text + "\n").c_str(), out_);
  }
  std::fflush(out_);
}

void StatusLine::Clear() {
  if (!drawn_) return;
  std::fputs(kRedraw, out_);
  std::fflush(out_);
  drawn_ = false;
}

void StatusLine::Finish() {
  if (!drawn_) return;
  std::fputs("\n", out_);
  std::fflush(out_);
  drawn_ = false;
}

}  // namespace platform
