#include "combiner/TileReader.h"

#include <algorithm>
#include <map>

#include "combiner/GdalSteps.h"
#include "core/platform/Files.h"

namespace combiner {

namespace {

// Enough tiles to tell the kind most of a task's tiles are, few enough to
// cost nothing next to the task.
constexpr int64_t kSampleSize = 32;

bool IsJpeg(const std::string& bytes) {
  return bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xD8;
}

}  // namespace

TileReader::TileReader(const task::MDTask& task, const std::string& programFolder)
    : task_(task), census_(task, programFolder) {}

TileContent TileReader::Load(int32_t x, int32_t y, const std::function<bool(const JpegLayout&)>& keepAsIs) const {
  TileContent tile;
  if (!task_.HasTile(x, y)) {
    tile.Outside = true;
    return tile;
  }
  tile.Verdict = census_.JudgeAndRead(x, y, tile.Bytes);
  if (task::IsHole(tile.Verdict.State)) return tile;
  const bool jpeg = IsJpeg(tile.Bytes);
  if (jpeg) {
    if (const auto layout = InspectJpeg(tile.Bytes); layout && keepAsIs(*layout)) {
      tile.What = TileContent::Kind::AsDownloaded;
      return tile;
    }
  }
  std::optional<Pixels> pixels = jpeg ? DecodeJpeg(tile.Bytes) : DecodeWithGdal(tile.Bytes);
  tile.Bytes.clear();
  if (pixels) {
    tile.What = TileContent::Kind::Decoded;
    tile.Image = std::move(*pixels);
  } else {
    tile.Verdict = {task::TileState::Unreadable, task::kDoesNotDecode};
  }
  return tile;
}

bool TileReader::Has(int32_t x, int32_t y) const {
  return task_.HasTile(x, y) && !task::IsHole(census_.Judge(x, y).State);
}

std::optional<ChromaSampling> TileReader::CommonTiffSampling(const task::TileRange& area) const {
  std::map<std::pair<int, int>, int> votes;
  const int64_t count = area.Count();
  const int64_t step = std::max<int64_t>(1, count / kSampleSize);
  std::string bytes;
  for (int64_t index = 0; index < count; index += step) {
    const auto [x, y] = area.AtRowMajorIndex(index);
    if (platform::ReadWholeFile(task_.TileFilePath(x, y), bytes) != platform::ReadOutcome::Ok) continue;
    if (const auto layout = InspectJpeg(bytes)) {
      if (const auto sampling = TiffTileSampling(*layout)) ++votes[{sampling->Horizontal, sampling->Vertical}];
    }
  }
  if (votes.empty()) return std::nullopt;
  const auto best = std::max_element(votes.begin(), votes.end(),
                                     [](const auto& a, const auto& b) { return a.second < b.second; });
  return ChromaSampling{best->first.first, best->first.second};
}

}  // namespace combiner
