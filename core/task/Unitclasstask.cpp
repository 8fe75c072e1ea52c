#include "core/task/Unitclasstask.h"

#include <cerrno>

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>
#include <vector>

#include "core/platform/Files.h"
#include "core/platform/Locale.h"
#include "core/platform/Numbers.h"
#include "core/task/Commonfunc.h"
#include "core/task/TaskFile.h"

namespace task {

namespace {

bool IsBuiltIn(int32_t code) { return ListPositionFromMapsType(code) >= 0; }

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

// The task name without its extension, and for a part ".part<k>of<n>" after it.
std::string PartBase(const std::string& taskName, const TaskPart& part) {
  const std::string base = platform::RemoveFileExt(taskName);
  if (part.Count <= 0) return base;
  return base + ".part" + Decimal(part.Index) + "of" + Decimal(part.Count);
}

// The window's ranges; outside them (or for NaN) the tile math leaves the grid.
bool InRange(double value, double limit) { return value >= -limit && value <= limit; }

}  // namespace

MDTask::MDTask(const TaskParameters& record, TaskOptions options, const ResumePositions& resume)
    : MDTask(SpecOf(record), record.Source, std::move(options), resume) {}

MDTask::MDTask(TaskSpec spec, std::optional<TileSource> source, TaskOptions options, const ResumePositions& resume)
    : spec_(std::move(spec)), source_(std::move(source)), options_(std::move(options)) {
  mapsType_ = MapsTypeOf(spec_.Imagery);
  sendsApiKey_ = SendsApiKeyOf(spec_.Imagery);
  const int32_t zoom = Zoom();
  const LonLatBox& box = spec_.Area.Box;
  // The grid math needs a zoom in range (a task file opened from disk may carry
  // anything), and the tile names need a known map type.
  if (zoom < kMinZoom || zoom > kMaxZoom) throw TaskCreateError(kZoomRangeMessage);
  if (mapsType_ == kMapNearmapApi) {
    if (Nearmap() == nullptr) throw TaskCreateError("The task names no Nearmap imagery.");
    if (const std::string problem = NearmapProblem(*Nearmap()); !problem.empty()) throw TaskCreateError(problem);
  }
  // Every kind but the built-in types is fetched through its tile source.
  const bool fromSource =
      !IsBuiltIn(mapsType_) && (source_ || mapsType_ == kMapUserSource || mapsType_ == kMapNearmapApi);
  if (fromSource) {
    if (!source_) throw TaskCreateError("The task names no tile source.");
    if (const std::string problem = SourceProblem(*source_); !problem.empty()) throw TaskCreateError(problem);
    if (zoom < source_->MinZoom || zoom > source_->MaxZoom) throw TaskCreateError(SourceZoomMessage(*source_));
  } else if (!IsBuiltIn(mapsType_)) {
    throw TaskCreateError("Unknown map type: " + Decimal(mapsType_) + ".");
  }

  if (!InRange(box.West, 180) || !InRange(box.East, 180) || !InRange(box.North, 85) || !InRange(box.South, 85)) {
    throw TaskCreateError("Longitude or latitude out of range.");
  }

  MinX = LongitudeToTileX(box.West, zoom);
  MaxX = LongitudeToTileX(box.East, zoom);
  const int32_t rowTop = LatitudeToTileY(box.North, zoom);
  const int32_t rowBottom = LatitudeToTileY(box.South, zoom);

  LeftLongitudeDownload = TileXToLongitude(MinX, zoom);
  RightLongitudeDownload = TileXToLongitude(static_cast<double>(MaxX) + 1, zoom);
  TopLatitudeDownload = TileYToLatitude(rowTop, zoom);
  BottomLatitudeDownload = TileYToLatitude(static_cast<double>(rowBottom) + 1, zoom);

  MinY = std::min(rowTop, rowBottom);
  MaxY = std::max(rowTop, rowBottom);
  const std::shared_ptr<const Shape>& shape = spec_.Area.Shape;
  if (shape) {
    if (shape->Empty()) throw TaskCreateError("The task's shape has no polygon.");
    ShapeTiles = std::make_shared<const TileShape>(*shape, zoom);
  }
  if (spec_.Part.Count > 0) TakeBandOfRows(spec_.Part.Index, spec_.Part.Count);

  // Counted wide: a large rectangle at a high zoom exceeds what the 32-bit tile
  // numbers of the walk and the task file can hold.
  const int64_t total = (int64_t{MaxX} - MinX + 1) * (int64_t{MaxY} - MinY + 1);
  if (total < 1) throw TaskCreateError("The tile range is empty.");
  if (total > std::numeric_limits<int32_t>::max()) {
    throw TaskCreateError("Too many images: " + Decimal(total) + ". A task holds at most " +
                          Decimal(std::numeric_limits<int32_t>::max()) + " images.");
  }
  TotalImages = static_cast<int32_t>(total);
  if (ShapeTiles) {
    const int64_t shaped = ShapeTiles->CountWithin(Range());
    if (shaped < 1) throw TaskCreateError("The task's shape has no tile within its rectangle.");
    TotalImages = static_cast<int32_t>(shaped);
  }

  // A part keeps its own bookkeeping beside the task's, its tiles in the
  // task's folder.
  const std::string base = platform::RemoveFileExt(spec_.Name);
  const std::string bookkeeping = PartBase(spec_.Name, spec_.Part);
  LogFileName = spec_.Folder + bookkeeping + "_log.txt";
  FailedListFileName = spec_.Folder + bookkeeping + "_failed.ftl";
  ListFileName = spec_.Folder + bookkeeping + "_list.txt";
  ImageFolder = spec_.Folder + base + platform::kPathSeparator;

  ResumeX.fill(0);
  ResumeY.fill(0);
  for (std::size_t k = 0; k < resume.size() && k < ResumeX.size(); ++k) {
    ResumeX[k] = resume[k].X;
    ResumeY[k] = resume[k].Y;
  }
}

ResumePositions ReadResumePositions(const TaskParameters& record, int32_t slots) {
  return TaskFile(TaskFileOf(record)).ReadPositions(std::clamp(slots, 0, MDTask::kResumeSlots));
}

MDTask TaskOfRun(const TaskParameters& record, const RunSettings& run, TaskOptions options) {
  return MDTask(record, std::move(options),
                run.ContinueTask ? ReadResumePositions(record, run.ThreadCount) : ResumePositions{});
}

TaskParameters MDTask::Record() const {
  TaskParameters record = RecordOf(spec_);
  record.MapsType = mapsType_;
  record.Source = source_;
  return record;
}

std::string TaskFileOf(const TaskParameters& parameters) {
  if (parameters.PartCount <= 0) return parameters.SavePath + parameters.TaskName;
  return parameters.SavePath + PartBase(parameters.TaskName, TaskPart{parameters.PartIndex, parameters.PartCount}) +
         kTaskFileExtension;
}

std::optional<TaskPart> PartOfTaskFileName(const std::string& wholeTaskFile, const std::string& fileName) {
  const std::string prefix = platform::RemoveFileExt(platform::ExtractFileName(wholeTaskFile)) + ".part";
  if (fileName.rfind(prefix, 0) != 0 || platform::ExtractFileExt(fileName) != kTaskFileExtension) return std::nullopt;
  const std::string middle = platform::RemoveFileExt(fileName.substr(prefix.size()));
  const std::size_t of = middle.find("of");
  if (of == std::string::npos) return std::nullopt;
  const auto index = platform::ParseInteger(middle.substr(0, of));
  const auto count = platform::ParseInteger(middle.substr(of + 2));
  // Only the name PartBase writes: plain decimals, 1 <= k <= n.
  if (!index || !count || *index < 1 || *index > *count ||
      middle != Decimal(*index) + "of" + Decimal(*count)) {
    return std::nullopt;
  }
  return TaskPart{*index, *count};
}

void MDTask::TakeBandOfRows(int32_t part, int32_t parts) {
  const int64_t rows = int64_t{MaxY} - MinY + 1;
  if (part < 1 || part > parts) {
    throw TaskCreateError("Part " + Decimal(part) + " of " + Decimal(parts) + " does not exist.");
  }
  if (ShapeTiles) {
    TakeBandOfShapeRows(part, parts);
  } else {
    if (parts > rows) {
      throw TaskCreateError("The task has " + Decimal(rows) + " rows of tiles: it cannot be split into " +
                            Decimal(parts) + " parts.");
    }
    const int64_t first = MinY + rows * (part - 1) / parts;
    const int64_t last = MinY + rows * part / parts - 1;
    MinY = static_cast<int32_t>(first);
    MaxY = static_cast<int32_t>(last);
  }
  TopLatitudeDownload = TileYToLatitude(MinY, Zoom());
  BottomLatitudeDownload = TileYToLatitude(static_cast<double>(MaxY) + 1, Zoom());
}

void MDTask::TakeBandOfShapeRows(int32_t part, int32_t parts) {
  // The rows that hold tiles of the shape, and how many tiles precede each.
  std::vector<int32_t> rows;
  std::vector<int64_t> before;
  int64_t total = 0;
  for (int32_t y = MinY; y <= MaxY; ++y) {
    const int64_t count = ShapeTiles->CountWithin(TileRange{MinX, y, MaxX, y});
    if (count == 0) continue;
    rows.push_back(y);
    before.push_back(total);
    total += count;
  }
  const auto size = static_cast<int64_t>(rows.size());
  if (parts > size) {
    throw TaskCreateError("The task's shape has tiles in " + Decimal(size) + " rows: it cannot be split into " +
                          Decimal(parts) + " parts.");
  }
  // Band k begins at the first row with a k-th share of the tiles before it,
  // at least one such row after band k - 1's, leaving one for each band after.
  const auto firstRowOf = [&](int32_t k) {
    int64_t index = 0;
    for (int32_t band = 2; band <= k; ++band) {
      const int64_t share = total * (band - 1) / parts;
      const int64_t even = std::lower_bound(before.begin(), before.end(), share) - before.begin();
      index = std::min(std::max(even, index + 1), size - (parts - band + 1));
    }
    return index;
  };
  // The bands together cover the rectangle: the first reaches up to its top,
  // the last down to its bottom, each other one to the next's first row.
  if (part > 1) MinY = rows[static_cast<std::size_t>(firstRowOf(part))];
  if (part < parts) MaxY = rows[static_cast<std::size_t>(firstRowOf(part + 1))] - 1;
}

std::string MDTask::TaskFileName() const {
  if (spec_.Part.Count <= 0) return spec_.Folder + spec_.Name;
  return spec_.Folder + PartBase(spec_.Name, spec_.Part) + kTaskFileExtension;
}

void MDTask::CreateImageFolder() const {
  if (!platform::DirectoryExists(ImageFolder) && !platform::CreateDir(ImageFolder)) {
    throw TaskCreateError("Create directory " + ImageFolder + " Failed.", platform::SystemErrorWords(errno));
  }
}

std::string MDTask::LockFileName() const {
  const std::string taskFile = TaskFileName();
  return platform::ExtractFilePath(taskFile) + "." + platform::ExtractFileName(taskFile) + ".lock";
}

std::string MDTask::TileFileName(int32_t x, int32_t y) const {
  std::string name = TilePrefix();
  name += '_';
  name += Decimal(x);
  name += '_';
  name += Decimal(y);
  name += '_';
  name += Decimal(Zoom());
  name += '.';
  name += TileExtension();
  return name;
}

std::string MDTask::TileFilePath(int32_t x, int32_t y) const { return ImageFolder + TileFileName(x, y); }

bool MDTask::FromSource() const { return source_ && !IsBuiltIn(mapsType_); }

std::string MDTask::TilePrefix() const {
  if (FromSource()) return source_->FilePrefix;
  return BuiltInPrefix(mapsType_);
}

std::string MDTask::TileExtension() const {
  if (FromSource()) return source_->Extension;
  return "jpg";
}

std::string MDTask::BlankImagePath(const std::string& programFolder) const {
  return programFolder + "blankimg" + platform::kPathSeparator + "blank." + TileExtension();
}

std::string MDTask::FetchURL(int32_t x, int32_t y, const std::string& secret) const {
  if (FromSource()) return Expand(source_->UrlTemplate, *source_, x, y, Zoom(), spec_.Date, secret);
  return TileURL(x, y);
}

std::vector<std::string> MDTask::FetchHeaderLines(const std::string& secret) const {
  if (!FromSource()) return {};
  return ResolvedHeaderLines(*source_, spec_.Date, secret);
}

std::string MDTask::TileURL(int32_t x, int32_t y) const {
  if (FromSource()) return Expand(source_->UrlTemplate, *source_, x, y, Zoom(), spec_.Date, MaskedSecret(source_->Name));
  return BuiltInTileUrl(options_.TileHost, mapsType_, x, y, Zoom(), spec_.Date);
}

int64_t MDTask::ShareOf(int32_t slot, int32_t threads, int64_t after) const {
  const TileRange range = Range();
  if (!ShapeTiles) return range.ShareOf(slot, threads, after);
  // The shape's tiles, span by span: never more than the task has.
  int64_t share = 0;
  const TileRange bounds = ShapeTiles->Bounds();
  for (int32_t y = std::max(range.MinY, bounds.MinY); y <= std::min(range.MaxY, bounds.MaxY); ++y) {
    for (const ColumnSpan& span : ShapeTiles->Row(y)) {
      for (int32_t x = std::max(span.First, range.MinX); x <= std::min(span.Last, range.MaxX); ++x) {
        const int64_t p = range.WalkNumber(x, y);
        if (p > after && p % threads == slot % threads) ++share;
      }
    }
  }
  return share;
}

std::string MDTask::ShapeFileName() const {
  return spec_.Folder + platform::RemoveFileExt(spec_.Name) + "_area.geojson";
}

TilePosition MDTask::Resume(int32_t slot) const {
  if (slot < 0 || slot >= kResumeSlots) return {};
  return TilePosition{ResumeX[static_cast<std::size_t>(slot)], ResumeY[static_cast<std::size_t>(slot)]};
}

std::string MDTask::General(double value) const {
  const char mark = options_.DecimalMark != 0 ? options_.DecimalMark : platform::DesktopDecimalSeparator();
  return platform::FormatGeneral(value, mark);
}

std::optional<TilePosition> MDTask::TileOfFileName(const std::string& name) const {
  // prefix "_" x "_" y "_" zoom "." extension, all numbers plain decimal.
  const std::string prefix = TilePrefix() + "_";
  const std::string suffix = "_" + Decimal(Zoom()) + "." + TileExtension();
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return std::nullopt;
  }
  const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  const std::size_t bar = middle.find('_');
  if (bar == std::string::npos) return std::nullopt;
  const auto x = platform::ParseInteger(middle.substr(0, bar));
  const auto y = platform::ParseInteger(middle.substr(bar + 1));
  if (!x || !y || !Range().Contains(*x, *y)) return std::nullopt;
  // Only the name TileFileName gives: no sign, no padding, no other base.
  if (TileFileName(*x, *y) != name) return std::nullopt;
  return TilePosition{*x, *y};
}

}  // namespace task
