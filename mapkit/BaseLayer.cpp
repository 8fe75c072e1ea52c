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

std::optional<task::TileSource> BaseLayer::Source() const { return task::TileSourceOf(Map.Imagery, Account); }

std::string BaseLayer::CacheName() const {
  std::string safe;
  for (const char c : Map.Name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    safe += plain ? c : '_';
  }
  const std::optional<task::TileSource> source = Source();
  const std::string decides =
      source ? source->UrlTemplate + "|" + source->Extension
             : TileHost + "|" + platform::FormatInteger(task::ListPositionFromMapsType(task::MapsTypeOf(Map.Imagery)));
  const uint64_t digest = Digest(decides);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (int shift = 60; shift >= 0; shift -= 4) hex += kHex[(digest >> shift) & 0xf];
  return safe + "-" + hex;
}

std::string BaseLayer::Url(int32_t z, int32_t x, int32_t y) const {
  if (const std::optional<task::TileSource> source = Source()) {
    return task::Expand(source->UrlTemplate, *source, x, y, z, "", Secret);
  }
  return task::BuiltInTileUrl(TileHost, task::MapsTypeOf(Map.Imagery), x, y, z, "");
}

std::vector<std::string> BaseLayer::HeaderLines() const {
  const std::optional<task::TileSource> source = Source();
  return source ? task::ResolvedHeaderLines(*source, "", Secret) : std::vector<std::string>{};
}

std::string BaseLayer::Extension() const {
  const std::optional<task::TileSource> source = Source();
  return source ? source->Extension : "jpg";
}

int32_t BaseLayer::MinZoom() const {
  const std::optional<task::TileSource> source = Source();
  return source ? source->MinZoom : task::kMinZoom;
}

int32_t BaseLayer::MaxZoom() const {
  const std::optional<task::TileSource> source = Source();
  return source ? source->MaxZoom : task::kMaxZoom;
}

int32_t BaseLayer::PauseMs() const {
  const std::optional<task::TileSource> source = Source();
  return source ? source->PauseMs : download::Pacing{}.AfterSavedMs;
}

int32_t BaseLayer::Connections() const { return run::WorkersFor(Source()); }

}  // namespace mapkit
