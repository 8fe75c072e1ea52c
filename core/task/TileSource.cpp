#include "core/task/TileSource.h"

#include <algorithm>
#include <array>

#include "core/platform/Numbers.h"
#include "core/task/Commonfunc.h"

namespace task {

namespace {

constexpr std::array<const char*, 8> kPlaceholders = {"{z}", "{x}", "{y}", "{-y}", "{q}", "{s}", "{date}", "{secret}"};

bool Has(const std::string& text, const char* piece) { return text.find(piece) != std::string::npos; }

bool StartsWithIgnoringCase(const std::string& text, const std::string& start) {
  if (text.size() < start.size()) return false;
  return std::equal(start.begin(), start.end(), text.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// The first "{...}" of text that is no placeholder; empty when there is none.
std::string UnknownPlaceholder(const std::string& text) {
  for (std::size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open + 1)) {
    const std::size_t close = text.find('}', open);
    if (close == std::string::npos) return text.substr(open);
    const std::string token = text.substr(open, close + 1 - open);
    if (std::find_if(kPlaceholders.begin(), kPlaceholders.end(), [&](const char* p) { return token == p; }) ==
        kPlaceholders.end()) {
      return token;
    }
  }
  return {};
}

std::vector<std::string> HeaderValues(const TileSource& source) {
  std::vector<std::string> values = {source.Referer, source.UserAgent};
  for (const std::string& line : source.HeaderLines) values.push_back(line.substr(std::min(line.find(':'), line.size())));
  return values;
}

}  // namespace

std::string SourceProblem(const TileSource& s) {
  if (s.Name.empty()) return "A tile source needs a name.";
  if (s.Name.find_first_of("[]|\r\n") != std::string::npos || s.Name.front() == ' ' || s.Name.back() == ' ') {
    return "The name of a tile source cannot hold [ ] | or a line break, nor begin or end with a blank.";
  }
  const std::string& url = s.UrlTemplate;
  if (!StartsWithIgnoringCase(url, "http://") && !StartsWithIgnoringCase(url, "https://")) {
    return "The URL template of " + s.Name + " must begin with http:// or https://.";
  }
  if (HasLineBreak(url) || url.find('|') != std::string::npos) {
    return "The URL template of " + s.Name + " cannot hold | or a line break.";
  }
  if (const std::string unknown = UnknownPlaceholder(url); !unknown.empty()) {
    return "Unknown placeholder " + unknown + " in the URL template of " + s.Name +
           "; there are {z} {x} {y} {-y} {q} {s} {date} {secret}.";
  }
  const bool byRowAndColumn = Has(url, "{x}") && (Has(url, "{y}") || Has(url, "{-y}")) && Has(url, "{z}");
  if (!byRowAndColumn && !Has(url, "{q}")) {
    return "The URL template of " + s.Name + " must name the tile: {x}, {y} (or {-y}) and {z}, or {q}.";
  }
  if (Has(url, "{s}") && s.Subdomains.empty()) {
    return "The URL template of " + s.Name + " uses {s}, but the source has no subdomains.";
  }
  if (s.FilePrefix.empty() || s.FilePrefix.find_first_of("/\\:|*?\"<>\r\n") != std::string::npos) {
    return "The file prefix of " + s.Name + " must be a plain name (no / \\ : | * ? \" < >).";
  }
  if (s.Extension != "jpg" && s.Extension != "png") return "The file extension of " + s.Name + " is jpg or png.";
  if (s.MinZoom < kMinZoom || s.MaxZoom > kMaxZoom || s.MinZoom > s.MaxZoom) {
    return "The zoom levels of " + s.Name + " must lie between 1 and 21, the smallest first.";
  }
  if (s.PauseMs < 0 || s.PauseMs > 3600000) return "The pause of " + s.Name + " is 0 to 3600000 ms.";
  if (s.MaxWorkers < 1 || s.MaxWorkers > 8) return "The workers of " + s.Name + " are 1 to 8.";
  for (const std::string& line : s.HeaderLines) {
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos || HasLineBreak(line) || line.find('|') != std::string::npos) {
      return "The header line \"" + line + "\" of " + s.Name + " is not Name: value.";
    }
  }
  // Headers go with every request of a worker: no tile's placeholders.
  for (const std::string& value : HeaderValues(s)) {
    if (HasLineBreak(value)) return "A header of " + s.Name + " cannot hold a line break.";
    for (std::size_t open = value.find('{'); open != std::string::npos; open = value.find('{', open + 1)) {
      if (value.compare(open, 8, kSecretPlaceholder) != 0 && value.compare(open, 6, "{date}") != 0) {
        return "The headers of " + s.Name + " may use {secret} and {date}, no other placeholder.";
      }
    }
  }
  for (const std::string& subdomain : s.Subdomains) {
    if (subdomain.empty() || subdomain.find_first_of("/{}|,\r\n ") != std::string::npos) {
      return "The subdomains of " + s.Name + " are plain names, separated by commas.";
    }
  }
  return {};
}

namespace {

constexpr const char* kHeaderKey = "Header";

std::string JoinComma(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : ",") + part;
  return out;
}

std::vector<std::string> SplitComma(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    std::string part = text.substr(start, comma - start);
    part.erase(0, part.find_first_not_of(' '));
    part.erase(part.find_last_not_of(' ') + 1);
    if (!part.empty()) parts.push_back(part);
    start = comma + 1;
  }
  return parts;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> SourceEntries(const TileSource& s) {
  std::vector<std::pair<std::string, std::string>> entries = {
      {"Name", s.Name},
      {"Url", s.UrlTemplate},
      {"Prefix", s.FilePrefix},
      {"Extension", s.Extension},
      {"Referer", s.Referer},
      {"UserAgent", s.UserAgent},
      {"MinZoom", platform::FormatInteger(s.MinZoom)},
      {"MaxZoom", platform::FormatInteger(s.MaxZoom)},
      {"Subdomains", JoinComma(s.Subdomains)},
      {"PauseMs", platform::FormatInteger(s.PauseMs)},
      {"MaxWorkers", platform::FormatInteger(s.MaxWorkers)},
  };
  for (std::size_t i = 0; i < s.HeaderLines.size(); ++i) {
    entries.emplace_back(kHeaderKey + platform::FormatInteger(static_cast<int64_t>(i) + 1), s.HeaderLines[i]);
  }
  return entries;
}

std::optional<TileSource> ReadSource(const settings::IniFile& file, const std::string& section) {
  TileSource s;
  s.UrlTemplate = file.ReadString(section, "Url", "");
  if (s.UrlTemplate.empty()) return std::nullopt;
  s.Name = file.ReadString(section, "Name", "");
  s.FilePrefix = file.ReadString(section, "Prefix", "");
  s.Extension = file.ReadString(section, "Extension", "jpg");
  s.Referer = file.ReadString(section, "Referer", "");
  s.UserAgent = file.ReadString(section, "UserAgent", "");
  s.MinZoom = file.ReadInteger(section, "MinZoom", s.MinZoom);
  s.MaxZoom = file.ReadInteger(section, "MaxZoom", s.MaxZoom);
  s.Subdomains = SplitComma(file.ReadString(section, "Subdomains", ""));
  s.PauseMs = file.ReadInteger(section, "PauseMs", s.PauseMs);
  s.MaxWorkers = file.ReadInteger(section, "MaxWorkers", s.MaxWorkers);
  for (int i = 1;; ++i) {
    const std::string line = file.ReadString(section, kHeaderKey + platform::FormatInteger(i), "");
    if (line.empty()) break;
    s.HeaderLines.push_back(line);
  }
  return s;
}

std::vector<std::string> KindTaskFileLines(const TileSource& source) {
  std::vector<std::string> lines = {std::string("[") + kTaskFileSourceSection + "]"};
  for (const auto& [key, value] : SourceEntries(source)) lines.push_back(key + "=" + value);
  lines.emplace_back();
  return lines;
}

std::optional<TileSource> ReadKind(std::type_identity<TileSource>, const settings::IniFile& taskFile, int32_t mapsType) {
  if (mapsType != kMapUserSource) return std::nullopt;
  return ReadSource(taskFile, kTaskFileSourceSection);
}

std::string SourceZoomMessage(const TileSource& source) {
  return "The tile source " + source.Name + " has zoom levels " + platform::FormatInteger(source.MinZoom) + " to " +
         platform::FormatInteger(source.MaxZoom) + ".";
}

std::vector<std::string> HeaderLinesOf(const TileSource& source) {
  std::vector<std::string> lines;
  if (!source.Referer.empty()) lines.push_back("Referer: " + source.Referer);
  // Public tile services ask every client to name itself.
  const auto namesAgent = [](const std::string& line) { return StartsWithIgnoringCase(line, "User-Agent:"); };
  if (!source.UserAgent.empty()) {
    lines.push_back("User-Agent: " + source.UserAgent);
  } else if (std::none_of(source.HeaderLines.begin(), source.HeaderLines.end(), namesAgent)) {
    lines.push_back(std::string("User-Agent: ") + kDefaultUserAgent);
  }
  lines.insert(lines.end(), source.HeaderLines.begin(), source.HeaderLines.end());
  return lines;
}

std::vector<std::string> ResolvedHeaderLines(const TileSource& source, const std::string& date, const std::string& secret) {
  std::vector<std::string> lines;
  // Headers hold no tile's placeholders (SourceProblem): any tile will do.
  for (const std::string& line : HeaderLinesOf(source)) lines.push_back(Expand(line, source, 0, 0, 1, date, secret));
  return lines;
}

std::string Quadkey(int32_t x, int32_t y, int32_t zoom) {
  std::string key;
  for (int32_t level = zoom; level > 0; --level) {
    const int32_t mask = 1 << (level - 1);
    key += static_cast<char>('0' + ((x & mask) != 0 ? 1 : 0) + ((y & mask) != 0 ? 2 : 0));
  }
  return key;
}

std::string Expand(const std::string& text, const TileSource& source, int32_t x, int32_t y, int32_t zoom,
                   const std::string& date, const std::string& secret) {
  // One pass, so that no value put in (a date, a secret) is read as a
  // placeholder itself.
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t close = text[at] == '{' ? text.find('}', at) : std::string::npos;
    const std::string token = close == std::string::npos ? std::string() : text.substr(at, close + 1 - at);
    if (token == "{z}") {
      out += platform::FormatInteger(zoom);
    } else if (token == "{x}") {
      out += platform::FormatInteger(x);
    } else if (token == "{y}") {
      out += platform::FormatInteger(y);
    } else if (token == "{-y}") {
      out += platform::FormatInteger((int64_t{1} << zoom) - 1 - y);
    } else if (token == "{q}") {
      out += Quadkey(x, y, zoom);
    } else if (token == "{s}" && !source.Subdomains.empty()) {
      out += source.Subdomains[static_cast<std::size_t>((int64_t{x} + y) % static_cast<int64_t>(source.Subdomains.size()))];
    } else if (token == "{date}") {
      out += date;
    } else if (token == kSecretPlaceholder) {
      out += secret;
    } else {
      out += text[at++];
      continue;
    }
    at = close + 1;
  }
  return out;
}

std::string KindWords(const TileSource& source, const std::string& date) {
  std::string words = source.Name + ", a tile source of yours";
  if (!date.empty() && source.UrlTemplate.find("{date}") != std::string::npos) words += ", imagery of " + date;
  return words;
}

bool KindSendsApiKey(const TileSource& source) {
  const auto holdsSecret = [](const std::string& text) { return text.find(kSecretPlaceholder) != std::string::npos; };
  return holdsSecret(source.UrlTemplate) || std::any_of(source.HeaderLines.begin(), source.HeaderLines.end(), holdsSecret);
}

std::string MaskedSecret(const std::string& sourceName) { return kMaskedSecretStart + sourceName + "}"; }

}  // namespace task
