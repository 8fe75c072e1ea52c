#include "mapkit/BaseLayer.h"

#include <functional>

#include "core/download/Unit3.h"
#include "core/platform/Numbers.h"
#include "core/run/TaskControls.h"
#include "core/task/Commonfunc.h"

namespace mapkit {

namespace {

// 64-bit FNV-1a: stable across runs and builds, unlike std::hash.
uint64_t Digest(const std::string& text) {
  uint64_t hash = 14695981039346656037ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

}  // namespace

std::string BaseLayer::CacheName() const {
  std::string safe;
  for (const char c : Map.Name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    safe += plain ? c : '_';
  }
  const std::string decides = Map.Source ? Map.Source->UrlTemplate + "|" + Map.Source->Extension
                                         : TileHost + "|" + platform::FormatInteger(Map.MapsTypePosition);
  const uint64_t digest = Digest(decides);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (int shift = 60; shift >= 0; shift -= 4) hex += kHex[(digest >> shift) & 0xf];
  return safe + "-" + hex;
}

std::string BaseLayer::Url(int32_t z, int32_t x, int32_t y) const {
  if (Map.Source) return task::Expand(Map.Source->UrlTemplate, *Map.Source, x, y, z, "", Secret);
  return task::BuiltInTileUrl(TileHost, task::MapsTypeFromListPosition(Map.MapsTypePosition), x, y, z, "");
}

std::vector<std::string> BaseLayer::HeaderLines() const {
  return Map.Source ? task::ResolvedHeaderLines(*Map.Source, "", Secret) : std::vector<std::string>{};
}

std::string BaseLayer::Extension() const { return Map.Source ? Map.Source->Extension : "jpg"; }

int32_t BaseLayer::MinZoom() const { return Map.Source ? Map.Source->MinZoom : task::kMinZoom; }

int32_t BaseLayer::MaxZoom() const { return Map.Source ? Map.Source->MaxZoom : task::kMaxZoom; }

int32_t BaseLayer::PauseMs() const { return Map.Source ? Map.Source->PauseMs : download::Pacing{}.AfterSavedMs; }

int32_t BaseLayer::Connections() const { return run::WorkersFor(Map.Source); }

}  // namespace mapkit
