// The Windows edge of the platform layer: the programs' UTF-8 texts as the
// wide-character API takes them, and the system's single-byte code page in
// which the text files are written. Windows only; used by core/platform alone.
#pragma once

#ifdef _WIN32
#include <string>
#include <string_view>

namespace platform::windows {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// UTF-8 to the ANSI code page and back. From: bytes that are valid UTF-8
// (beyond ASCII) are taken as UTF-8, as a file written on Linux holds them.
std::string ToCodePage(std::string_view utf8);
std::string FromCodePage(std::string_view bytes);

// A C runtime descriptor for reading path, opened with every sharing mode,
// delete included, so a writer can still replace the file by a rename while
// it is read (as on POSIX); -1 when it cannot be opened (a folder included),
// errno ENOENT when there is no such file.
int OpenForReading(const std::string& path);

// The environment variable name as the system has it (Unicode), "" when unset.
std::string Environment(const wchar_t* name);

}  // namespace platform::windows
#endif
