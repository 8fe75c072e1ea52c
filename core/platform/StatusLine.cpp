#include "core/platform/StatusLine.h"

#ifdef _WIN32
#include <windows.h>
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

void UseParentConsole() {
#ifdef _WIN32
  const auto leadsNowhere = [](DWORD stream) {
    const HANDLE handle = ::GetStdHandle(stream);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) == FILE_TYPE_UNKNOWN;
  };
  const bool output = leadsNowhere(STD_OUTPUT_HANDLE), error = leadsNowhere(STD_ERROR_HANDLE);
  if ((!output && !error) || !::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (output && std::freopen("CONOUT$", "w", stdout) == nullptr) return;
  if (error) std::freopen("CONOUT$", "w", stderr);
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
