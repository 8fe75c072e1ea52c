#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fuzz {

namespace fs = std::filesystem;

void Fail(const char* condition, const std::string& detail, const char* file, int line) {
  std::fprintf(stderr, "\n==== invariant broken at %s:%d: %s\n==== %s\n", file, line, condition, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string Quote(std::string_view bytes) {
  // Long texts keep their ends: enough to see, and the input file has the rest.
  constexpr std::size_t kShown = 240;
  if (bytes.size() > kShown) {
    return Quote(bytes.substr(0, kShown - 80)) + " ...(" + std::to_string(bytes.size() - kShown) + " bytes)... " +
           Quote(bytes.substr(bytes.size() - 80));
  }
  std::string out = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte >= 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

namespace {

std::string MakeScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/orvenna-fuzz-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("orvenna fuzz: cannot create the scratch folder");
    std::abort();
  }
  std::atexit([] { fs::remove_all(ScratchFolder()); });
  return pattern + "/";
}

}  // namespace

const std::string& ScratchFolder() {
  // Never destroyed: the exit handler that removes the folder still needs it.
  static const std::string& folder = *new std::string(MakeScratchFolder());
  return folder;
}

void EmptyScratchFolder() {
  for (const auto& entry : fs::directory_iterator(ScratchFolder())) fs::remove_all(entry.path());
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) Fail("WriteBytes", "cannot write " + path, __FILE__, __LINE__);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("ReadBytes", "cannot read " + path, __FILE__, __LINE__);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<RawLine> SplitKeepingEnds(std::string_view bytes) {
  std::vector<RawLine> lines;
  RawLine current;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') {
      current.text += c;
      continue;
    }
    current.end = c;
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      current.end += '\n';
      ++i;
    }
    lines.push_back(std::move(current));
    current = RawLine{};
  }
  if (!current.text.empty()) lines.push_back(std::move(current));
  return lines;
}

std::optional<int32_t> ReferenceInteger(std::string_view text) {
  std::size_t i = text.find_first_not_of(" \t");
  if (i == std::string_view::npos) return std::nullopt;
  text.remove_prefix(i);
  int base = 10;
  bool negative = false;
  if (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X") {
    base = 16;
    text.remove_prefix(2);
  } else if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') {
    base = 16;
    text.remove_prefix(1);
  } else if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t magnitude = 0;
  for (const char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    // Anything past 2^32 is out of range whatever follows.
    magnitude = std::min<int64_t>(magnitude * base + digit, int64_t{1} << 32);
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::string CutBeforeStrtodExtras(const std::string& text) {
  static constexpr char kExtras[] = "xXiInN\n\r\v\f";  // and the terminating '\0'
  return text.substr(0, text.find_first_of(std::string_view(kExtras, sizeof kExtras)));
}

double ReferenceLeadingDouble(const std::string& text) {
  return std::strtod(CutBeforeStrtodExtras(text).c_str(), nullptr);
}

float ReferenceLeadingFloat(const std::string& text) {
  return std::strtof(CutBeforeStrtodExtras(text).c_str(), nullptr);
}

}  // namespace fuzz
