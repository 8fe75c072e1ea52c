// Tile sources of the user's own: a tile service given by a URL template,
// beside the three built-in map types. A source is kept in the settings file
// (its secret there only) and copied, without its secret, into the task file
// of every task that uses it.
//
// Placeholders of a template: {z} {x} {y}; {-y} (the row counted from the
// south, 2^z - 1 - y); {q} (the quadkey); {s} (a subdomain, chosen by
// (x + y) mod n so that a tile always goes to the same one); {date} (the task's
// history date); {secret} (the source's secret, such as an API key; also in
// header values). Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/settings/IniFile.h"

namespace task {

struct TileSource {
  std::string Name;
  std::string UrlTemplate;
  std::string FilePrefix;
  std::string Extension = "jpg";  // "jpg" or "png"
  std::string Referer;
  std::string UserAgent;
  std::vector<std::string> HeaderLines;  // "Name: value"
  int32_t MinZoom = 1;
  int32_t MaxZoom = 19;
  std::vector<std::string> Subdomains;
  // At least this long between two requests of one worker, and at most this
  // many workers: what the service's usage policy asks.
  int32_t PauseMs = 1000;
  int32_t MaxWorkers = 2;

  friend bool operator==(const TileSource&, const TileSource&) = default;
};

inline constexpr const char* kSecretPlaceholder = "{secret}";

// The task file's MapsType code of a task of a source of the user's own.
inline constexpr int32_t kMapUserSource = 20;

// What every kind of imagery answers (core/task/Imagery.h).
inline std::string KindName(const TileSource& source) { return source.Name; }
std::string KindWords(const TileSource& source, const std::string& date);
inline int32_t KindMapsType(const TileSource&) { return kMapUserSource; }
inline std::string KindCommandWord(const TileSource& source) { return source.Name; }
// The task file's section of the source ([TileSource], its entries without
// the secret), ending in an empty line.
std::vector<std::string> KindTaskFileLines(const TileSource& source);
std::optional<TileSource> ReadKind(std::type_identity<TileSource>, const settings::IniFile& taskFile, int32_t mapsType);
template <typename Account>
std::optional<TileSource> KindTileSource(const TileSource& source, const Account&) { return source; }
// A source whose template or header lines hold {secret} sends the user's
// key: a 401 or 403 then says the key was refused.
bool KindSendsApiKey(const TileSource& source);
// The task file's section that holds a source.
inline constexpr const char* kTaskFileSourceSection = "TileSource";

// Why source cannot be saved, in the user's words; empty when it can.
std::string SourceProblem(const TileSource& source);

// The keys and values a source is kept under, in the settings file and in a
// task file alike (the secret is not among them).
std::vector<std::pair<std::string, std::string>> SourceEntries(const TileSource& source);
// The source kept under section of file (its keys as SourceEntries writes
// them); nothing when the section holds no URL template.
std::optional<TileSource> ReadSource(const settings::IniFile& file, const std::string& section);

// Start's refusal of a zoom outside the source's levels.
std::string SourceZoomMessage(const TileSource& source);

// The User-Agent of a source that names none: the program and its version.
inline constexpr const char* kDefaultUserAgent = "Orvenna/" ORVENNA_VERSION " (+https://orvenna.example/)";

// Every header a request to source carries, "Name: value", placeholders
// still in: its Referer, its User-Agent (kDefaultUserAgent unless it names
// one), its other lines.
std::vector<std::string> HeaderLinesOf(const TileSource& source);

// The headers a request to source sends (HeaderLinesOf) with {date} and
// {secret} filled in.
std::vector<std::string> ResolvedHeaderLines(const TileSource& source, const std::string& date, const std::string& secret);

// The quadkey of tile (x, y) at zoom: one digit a level, most significant first.
std::string Quadkey(int32_t x, int32_t y, int32_t zoom);

// text (a template or a header value) with every placeholder of tile (x, y)
// at zoom replaced; {secret} becomes secret.
std::string Expand(const std::string& text, const TileSource& source, int32_t x, int32_t y, int32_t zoom,
                   const std::string& date, const std::string& secret);

// How a source's secret stands in files that others may read (the log, the
// failed list): masked, but naming the source, so that the re-download of a
// failed list can fetch the tile with the secret of the settings file.
std::string MaskedSecret(const std::string& sourceName);
// text with every MaskedSecret in it replaced by what secretOf gives for the
// source it names.
template <typename SecretOf>
std::string UnmaskSecrets(std::string text, SecretOf secretOf);

// ---- implementation of the template above ----
inline constexpr const char* kMaskedSecretStart = "{secret:";

template <typename SecretOf>
std::string UnmaskSecrets(std::string text, SecretOf secretOf) {
  for (std::size_t at = text.find(kMaskedSecretStart); at != std::string::npos;) {
    const std::size_t nameStart = at + std::char_traits<char>::length(kMaskedSecretStart);
    const std::size_t end = text.find('}', nameStart);
    if (end == std::string::npos) break;
    const std::string secret = secretOf(text.substr(nameStart, end - nameStart));
    text.replace(at, end + 1 - at, secret);
    at = text.find(kMaskedSecretStart, at + secret.size());
  }
  return text;
}

}  // namespace task
