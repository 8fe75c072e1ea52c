// What the fuzz targets share: invariant checks that abort with a message
// (libFuzzer then keeps the input that broke one), a scratch folder, file
// access that does not go through the code under test, and reference
// readers written apart from the core to compare it with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

[[noreturn]] void Fail(const char* condition, const std::string& detail, const char* file, int line);

// Aborts with a message when condition is false; detail (an expression giving
// a std::string) is evaluated only then.
#define FUZZ_CHECK(condition, detail)                                        \
  do {                                                                       \
    if (!(condition)) ::fuzz::Fail(#condition, (detail), __FILE__, __LINE__); \
  } while (false)

// Bytes quoted, with C escapes for control and non-ASCII bytes; the middle
// of a long text left out.
std::string Quote(std::string_view bytes);

// An empty folder of this process under $TMPDIR (scripts/fuzz points it at
// memory: the writers flush every file to disk), ending in '/'; removed at
// exit. EmptyScratchFolder() clears it between inputs.
const std::string& ScratchFolder();
void EmptyScratchFolder();

void WriteBytes(const std::string& path, std::string_view bytes);
std::string ReadBytes(const std::string& path);
// Names of the entries of a folder, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

// A line and the line end it had: "\r\n", "\n", "\r" or "" for a last line
// without one.
struct RawLine {
  std::string text;
  std::string end;
  friend bool operator==(const RawLine&, const RawLine&) = default;
};
std::vector<RawLine> SplitKeepingEnds(std::string_view bytes);

// A whole number by its documented grammar (blanks, then a signed decimal or
// an unsigned "$"/"x"/"0x" hexadecimal, nothing after, 32-bit range), read
// digit by digit.
std::optional<int32_t> ReferenceInteger(std::string_view text);

// The text up to the first character that strtod's grammar knows and ours
// does not (white space besides blanks, hexadecimal, inf, nan; a '\0').
std::string CutBeforeStrtodExtras(const std::string& text);

// The longest leading number as strtod/strtof read it in the C locale, of
// the text cut before their extras.
double ReferenceLeadingDouble(const std::string& text);
float ReferenceLeadingFloat(const std::string& text);

}  // namespace fuzz
