#include "core/platform/WideText.h"

#ifdef _WIN32
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace platform::windows {

namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), n);
  return wide;
}

std::string FromWide(UINT codePage, std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), n, nullptr, nullptr);
  return text;
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool IsUtf8(std::string_view text) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr,
                             0) > 0;
}

}  // namespace

std::wstring Wide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }

std::string Utf8(std::wstring_view wide) { return FromWide(CP_UTF8, wide); }

std::string ToCodePage(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return FromWide(CP_ACP, Wide(utf8));
}

std::string FromCodePage(std::string_view bytes) {
  if (IsAscii(bytes) || IsUtf8(bytes)) return std::string(bytes);
  return Utf8(ToWide(CP_ACP, bytes));
}

int OpenForReading(const std::string& path) {
  const HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) CloseHandle(handle);
  return fd;
}

std::string Environment(const wchar_t* name) {
  const wchar_t* value = ::_wgetenv(name);
  return value != nullptr ? Utf8(value) : std::string();
}

}  // namespace platform::windows
#endif
