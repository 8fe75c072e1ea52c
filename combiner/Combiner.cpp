#include "combiner/Combiner.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <chrono>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

#include "combiner/GdalSteps.h"
#include "core/task/TileGrid.h"
#include "combiner/PendingFiles.h"
#include "combiner/TileReader.h"
#include "combiner/TileDatabase.h"
#include "core/platform/Files.h"
#include "core/platform/Locale.h"
#include "core/platform/Numbers.h"
#include "core/run/Job.h"
#include "core/run/OpenedTask.h"

namespace combiner {

namespace {

// The tile side as GDAL options and messages write it.
const std::string kTileSide = platform::FormatInteger(task::kTileSize);

struct FormatFacts {
  OutputFormat Format;
  const char* Name;
  const char* Title;
  const char* Noun;  // in progress texts
  const char* Extension;
  const char* GdalDriver;
  const char* WorldFileExtension;  // nullptr: the format holds its georeferencing
};

constexpr FormatFacts kFormatFacts[] = {
    {OutputFormat::GeoTiff, "gtiff", "GeoTIFF", "GeoTIFF", ".tif", "GTiff", nullptr},
    {OutputFormat::Cog, "cog", "Cloud-Optimized GeoTIFF", "COG", ".tif", "COG", nullptr},
    {OutputFormat::Jpeg, "jpeg", "JPEG with world file", "JPEG", ".jpg", "JPEG", ".jgw"},
    {OutputFormat::Png, "png", "PNG with world file", "PNG", ".png", "PNG", ".pgw"},
    {OutputFormat::MbTiles, "mbtiles", "MBTiles", "MBTiles", ".mbtiles", nullptr, nullptr},
    {OutputFormat::GeoPackage, "gpkg", "GeoPackage", "GeoPackage", ".gpkg", nullptr, nullptr},
    {OutputFormat::Kmz, "kmz", "KMZ for Google Earth", "KMZ", ".kmz", "KMLSUPEROVERLAY", nullptr},
};

const FormatFacts& Facts(OutputFormat format) { return kFormatFacts[static_cast<int>(format)]; }

// The extensions an output's format is told by.
constexpr std::pair<const char*, OutputFormat> kKnownExtensions[] = {
    {".tif", OutputFormat::GeoTiff}, {".tiff", OutputFormat::GeoTiff},    {".jpg", OutputFormat::Jpeg},
    {".jpeg", OutputFormat::Jpeg},   {".png", OutputFormat::Png},         {".mbtiles", OutputFormat::MbTiles},
    {".gpkg", OutputFormat::GeoPackage}, {".kmz", OutputFormat::Kmz},
};

// "a, b or c".
template <typename Items, typename Text>
std::string ListText(const Items& items, Text text) {
  std::string list;
  const std::size_t count = std::size(items);
  for (std::size_t i = 0; i < count; ++i) {
    list += (i == 0 ? "" : i + 1 == count ? " or " : ", ") + std::string(text(items[i]));
  }
  return list;
}


std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

// The shortest text without exponent that reads back as the same double,
// without the user's locale: for GDAL's options and world files.
std::string Exact(double value) {
  char buffer[400];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr;
  return std::string(buffer, end);
}

// ASCII letters only: std::tolower follows the locale the window sets, and
// in some of them 'I' does not become 'i'.
std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A world file: pixel size and rotation, then the centre of the north-west
// pixel; numbers without the user's locale.
std::string WorldFileText(const std::array<double, 6>& t) {
  const double values[] = {t[1], t[4], t[2], t[5], t[0] + t[1] / 2 + t[2] / 2, t[3] + t[4] / 2 + t[5] / 2};
  std::string text;
  for (double value : values) text += Exact(value) + "\r\n";
  return text;
}

bool SamePath(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::weakly_canonical(a, error) == std::filesystem::weakly_canonical(b, error) && !error;
}

int64_t TilesPerSheet(const CombineOptions& options, const task::TileRange& area) {
  int64_t pixels = options.SheetPixels;
  if (options.Format == OutputFormat::Jpeg && (pixels == 0 || pixels > kJpegMaxSide)) pixels = kJpegMaxSide;
  return pixels == 0 ? std::max(area.Columns(), area.Rows()) : pixels / task::kTileSize;
}

// The stages of one sheet, named for the progress display.
struct Stages {
  std::string Prefix;
  std::string operator()(const std::string& stage) const { return Prefix + stage; }
};

// One sheet of an image format: its tiles into a GeoTIFF (the output itself,
// or a step towards it), then whatever the format and coordinates need.
// downloaded: the tasks of a job's shallower zooms, overviews where they line
// up (the overviews of our own writer; GDAL's of an image in degrees do not
// lie on any zoom's tiles).
TileTally WriteImageSheet(const CombineOptions& options, const Sheet& sheet, const TileReader& tiles,
                          const std::vector<const TileReader*>& downloaded,
                          const std::optional<ChromaSampling>& sampling, HoleList& holes, PendingFiles& pending,
                          Progress& progress, const Stages& stage) {
  const int32_t zoom = tiles.Task().Zoom();
  // GDAL tells a KMZ by its extension.
  const std::string target = pending.Add(sheet.Path, options.Format == OutputFormat::Kmz ? ".kmz" : "");
  const bool degrees = options.Srs == OutputSrs::Wgs84 || options.Format == OutputFormat::Kmz;
  TiffSettings settings;
  settings.Fill = options.Fill;
  settings.Downloaded = downloaded;
  if (options.Format == OutputFormat::GeoTiff && !degrees) {
    settings.Compress = options.Compress;
    settings.CopySampling = options.Compress == Compression::Jpeg ? sampling : std::nullopt;
    settings.Overviews = options.Overviews;
    return WriteGeoTiff(target, sheet.Range, tiles, settings, pending, holes, progress, stage.Prefix);
  }

  // A step file: the downloaded streams copied where they can be, else
  // lossless; with overviews that a COG takes over as they are.
  const std::string step = pending.Scratch(sheet.Path);
  settings.Compress = sampling ? Compression::Jpeg : Compression::Deflate;
  settings.CopySampling = sampling;
  settings.Overviews = options.Format == OutputFormat::Cog && !degrees && options.Overviews;
  const TileTally tally = WriteGeoTiff(step, sheet.Range, tiles, settings, pending, holes, progress, stage.Prefix);
  const bool masked = (IsTiff(options.Format) || options.Format == OutputFormat::Kmz) && tally.Masked() > 0;

  const std::string noun = Facts(options.Format).Noun;
  WriteThroughGdal(step, target, Facts(options.Format).GdalDriver, options, sheet.Range, zoom, degrees, masked,
                   progress, stage(degrees ? "Reprojecting to WGS 84 and writing " + noun : "Writing " + noun),
                   sheet.Path);
  pending.Discard(step);
  if (options.Format == OutputFormat::GeoTiff && options.Overviews) {
    BuildOverviews(target, progress, stage("Building overviews"));
  }

  if (const char* worldExtension = Facts(options.Format).WorldFileExtension) {
    std::array<double, 6> transform = task::MercatorGeoTransform(sheet.Range, zoom);
    if (degrees) {
      const DegreeBox b = DegreesOf(sheet.Range, zoom);
      transform = {b.West, (b.East - b.West) / static_cast<double>(sheet.Range.Columns() * task::kTileSize), 0,
                   b.North, 0, -(b.North - b.South) / static_cast<double>(sheet.Range.Rows() * task::kTileSize)};
    }
    const int epsg = degrees ? task::kWgs84Epsg : task::kWebMercatorEpsg;
    const std::string stem = platform::RemoveFileExt(sheet.Path);
    pending.AddText(stem + worldExtension, WorldFileText(transform));
    pending.AddText(stem + ".prj", PrjText(epsg));
    // GDAL and the programs built on it read the coordinates from here.
    pending.AddText(sheet.Path + ".aux.xml", AuxXmlText(epsg));
  }
  return tally;
}

// How the tile database of a sheet is written; throws CombineError for a
// minimum zoom above the task's.
TileDatabaseSettings DatabaseSettings(const CombineOptions& options, const std::string& name,
                                      const task::TileRange& range, int32_t zoom) {
  TileDatabaseSettings settings;
  settings.Kind = options.Format == OutputFormat::MbTiles ? TileDatabaseKind::MbTiles : TileDatabaseKind::GeoPackage;
  settings.Name = name;
  settings.Fill = options.Fill;
  settings.MinZoom = !options.Overviews ? zoom : options.MinZoom.value_or(ZoomHoldingInOneTile(range, zoom));
  if (settings.MinZoom > zoom) {
    throw CombineError("The minimum zoom " + Decimal(settings.MinZoom) + " is above the task's zoom " + Decimal(zoom) +
                       ".");
  }
  return settings;
}

}  // namespace

const char* FormatName(OutputFormat format) { return Facts(format).Name; }
const char* FormatTitle(OutputFormat format) { return Facts(format).Title; }
const char* FormatExtension(OutputFormat format) { return Facts(format).Extension; }

std::optional<OutputFormat> FormatNamed(const std::string& name) {
  for (const FormatFacts& facts : kFormatFacts) {
    if (name == facts.Name) return facts.Format;
  }
  return std::nullopt;
}

std::optional<OutputFormat> FormatOfPath(const std::string& path) {
  const std::string extension = Lower(platform::ExtractFileExt(path));
  for (const auto& [known, format] : kKnownExtensions) {
    if (extension == known) return format;
  }
  return std::nullopt;
}

std::string FormatNamesText() { return ListText(kFormatFacts, [](const FormatFacts& facts) { return facts.Name; }); }

std::string KnownExtensionsText() {
  return ListText(kKnownExtensions, [](const auto& known) { return known.first; });
}

std::optional<Rgb> ParseColour(const std::string& text) {
  const std::string name = Lower(text);
  if (name == "white") return Rgb{255, 255, 255};
  if (name == "black") return Rgb{0, 0, 0};
  if (name.size() == 7 && name[0] == '#') {
    uint8_t channels[3];
    for (int i = 0; i < 3; ++i) {
      const char* first = name.data() + 1 + 2 * i;
      const auto parsed = std::from_chars(first, first + 2, channels[i], 16);
      if (parsed.ec != std::errc() || parsed.ptr != first + 2) return std::nullopt;
    }
    return Rgb{channels[0], channels[1], channels[2]};
  }
  std::array<int32_t, 3> channels{};
  std::size_t start = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t comma = i < 2 ? name.find(',', start) : name.size();
    if (comma == std::string::npos) return std::nullopt;
    const auto value = platform::ParseInteger(name.substr(start, comma - start));
    if (!value || *value < 0 || *value > 255) return std::nullopt;
    channels[i] = *value;
    start = comma + 1;
  }
  return Rgb{static_cast<uint8_t>(channels[0]), static_cast<uint8_t>(channels[1]), static_cast<uint8_t>(channels[2])};
}

bool FormatAvailable(OutputFormat format, OutputSrs srs) {
  if (BuiltWithGdal()) return true;
  if (format == OutputFormat::GeoTiff) return srs == OutputSrs::WebMercator;
  return IsTileDatabase(format);
}

std::string MissingFromThisBuild(const CombineOptions& options) {
  if (FormatAvailable(options.Format, options.Srs)) return "";
  const bool degrees = options.Format == OutputFormat::GeoTiff && options.Srs == OutputSrs::Wgs84;
  return "This tilejoin is built without GDAL and cannot write " +
         (degrees ? std::string("GeoTIFF in WGS 84 (EPSG:4326)") : std::string(FormatTitle(options.Format))) +
         ": it writes GeoTIFF in Web Mercator, MBTiles and GeoPackage.";
}

std::string CheckOptions(const CombineOptions& options) {
  if (options.TaskPath.empty()) return "No task file given.";
  if (options.OutputPath.empty()) return "No output file given.";
  if (options.SheetPixels != 0 && options.SheetPixels < task::kTileSize) {
    return "A sheet must hold at least one tile: " + kTileSide + " pixels a side.";
  }
  if (options.Format == OutputFormat::Jpeg && options.SheetPixels > kJpegMaxSide) {
    return "A JPEG file holds at most 65500 pixels a side: give a sheet size of 65500 or less.";
  }
  if (IsTileDatabase(options.Format) && options.Srs == OutputSrs::Wgs84) {
    return std::string(FormatTitle(options.Format)) + " holds tiles in Web Mercator (EPSG:3857) only.";
  }
  if (options.MinZoom && !IsTileDatabase(options.Format)) return "The minimum zoom applies to MBTiles and GeoPackage only.";
  if (options.MinZoom && !options.Overviews) return "A minimum zoom and no overviews exclude each other.";
  if (options.MinZoom && *options.MinZoom < 0) return "The minimum zoom cannot be below 0.";
  if (!IsTiff(options.Format) && options.Compress != Compression::Jpeg) {
    return "The compression applies to GeoTIFF and COG only.";
  }
  return "";
}

std::string HoleListPathFor(const std::string& outputPath) {
  return platform::RemoveFileExt(outputPath) + "_holes.txt";
}

std::string HoleFailedListPathFor(const std::string& outputPath) {
  return platform::RemoveFileExt(outputPath) + "_holes.ftl";
}

CombineResult Combine(const CombineOptions& options, Progress& progress) {
  const auto started = std::chrono::steady_clock::now();
  if (const std::string problem = CheckOptions(options); !problem.empty()) throw CombineError(problem);
  if (const std::string missing = MissingFromThisBuild(options); !missing.empty()) throw CombineError(missing);
  InitGdal();
  GdalErrorScope gdalErrors;

  // A job's deepest task is the image; its shallower ones give a tile
  // database the levels they downloaded, and a GeoTIFF its overviews where
  // they line up.
  std::vector<std::string> taskPaths = {options.TaskPath};
  if (run::IsJobFile(options.TaskPath)) {
    try {
      taskPaths = run::ReadJobFile(std::filesystem::absolute(options.TaskPath).lexically_normal().string()).Tasks;
    } catch (const run::JobFileError& error) {
      throw CombineError(error.what());
    }
  }
  std::vector<std::unique_ptr<run::OpenedTask>> levels;
  for (const std::string& path : taskPaths) {
    try {
      levels.push_back(run::OpenedTask::Open(path));
    } catch (const run::OpenTaskError& error) {
      // Named as Open names it: "t.otsk" alone is in the current folder.
      const std::string taskPath = std::filesystem::absolute(path).lexically_normal().string();
      const std::string text = error.what();
      throw CombineError(text.find(taskPath) != std::string::npos ? text : "Task " + taskPath + ": " + text);
    }
  }
  const std::unique_ptr<run::OpenedTask> opened = std::move(levels.back());
  levels.pop_back();
  const task::MDTask& task = opened->Task;
  task::TileRange area = task.Range();
  if (options.Area) {
    try {
      area = ResolveArea(*options.Area, task);
    } catch (const AreaError& error) {
      throw CombineError(std::string("The area cannot be used: ") + error.what() + ".");
    }
  }
  for (const std::string& own : {task.TaskFileName(), task.LogFileName, task.FailedListFileName, task.ListFileName}) {
    if (SamePath(own, options.OutputPath)) {
      throw CombineError("The output " + options.OutputPath + " is a file of the task itself.");
    }
  }
  const std::string folder = platform::ExtractFilePath(options.OutputPath);
  if (!folder.empty() && !platform::DirectoryExists(folder)) {
    throw CombineError("Cannot create file " + options.OutputPath + ": there is no folder " + folder);
  }
  // Left by a combine that was killed.
  platform::RemoveStaleTemporaries(folder.empty() ? "." : folder);

  const TileReader tiles(task, options.ProgramFolder);
  std::vector<std::unique_ptr<TileReader>> levelReaders;
  std::vector<const TileReader*> downloaded;
  for (const auto& level : levels) {
    levelReaders.push_back(std::make_unique<TileReader>(level->Task, options.ProgramFolder));
    downloaded.push_back(levelReaders.back().get());
  }
  std::optional<ChromaSampling> sampling;
  if (options.CopyTiles && !IsTileDatabase(options.Format)) sampling = tiles.CommonTiffSampling(area);
  const std::vector<Sheet> sheets = PlanSheets(area, TilesPerSheet(options, area), options.OutputPath);
  const std::string name = platform::RemoveFileExt(task.Spec().Name);

  CombineResult result;
  result.Tiles = area.Count();
  HoleList holes(task, HoleListPathFor(options.OutputPath), HoleFailedListPathFor(options.OutputPath));
  PendingFiles pending;
  try {
    for (std::size_t k = 0; k < sheets.size(); ++k) {
      const Sheet& sheet = sheets[k];
      const Stages stage{sheets.size() > 1 ? "Sheet " + Decimal(static_cast<int64_t>(k + 1)) + " of " +
                                                 Decimal(static_cast<int64_t>(sheets.size())) + ": "
                                           : ""};
      TileDatabaseSettings database;
      if (IsTileDatabase(options.Format)) {
        database = DatabaseSettings(options, name, sheet.Range, task.Zoom());
        database.Downloaded = downloaded;
        // Every level the job downloaded, unless the user asked for fewer.
        if (!levels.empty() && options.Overviews && !options.MinZoom) {
          database.MinZoom = std::min(database.MinZoom, levels.front()->Task.Zoom());
        }
      }
      const TileTally tally =
          IsTileDatabase(options.Format)
              ? WriteTileDatabase(pending.Add(sheet.Path), sheet.Range, tiles, database, holes, progress,
                                  stage("Combining tiles"))
              : WriteImageSheet(options, sheet, tiles, downloaded, sampling, holes, pending, progress, stage);
      result.Copied += tally.Copied;
      result.Reencoded += tally.Reencoded;
      result.Outside += tally.Outside;
      result.FromDownloadedLevels += tally.FromDownloadedLevels;
      result.Files.push_back(sheet.Path);
    }
    if (progress.CancelRequested()) throw Cancelled();
    pending.CommitAll();
    holes.Commit();
  } catch (const Cancelled&) {
    result = CombineResult{};
    result.Cancelled = true;
  }
  if (!result.Cancelled) {
    result.Holes = holes.Counts();
    if (result.Holes.Total() > 0) {
      result.HoleListPath = holes.Path();
      result.HoleFailedListPath = holes.FailedListPath();
    }
  }
  result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

std::string SummaryText(const CombineResult& result) {
  if (result.Cancelled) return "Cancelled: nothing was written.\n";
  std::string text;
  if (result.Files.size() == 1) {
    text += "Wrote " + result.Files.front() + "\n";
  } else {
    text += "Wrote " + Decimal(static_cast<int64_t>(result.Files.size())) + " sheets, " + result.Files.front() +
            " to " + result.Files.back() + "\n";
  }
  text += "Tiles: " + Decimal(result.Tiles) + " (" + Decimal(result.Copied) + " as downloaded, " +
          Decimal(result.Reencoded) + " decoded and encoded, " + Decimal(result.Holes.Total()) + " holes" +
          (result.Outside > 0 ? ", " + Decimal(result.Outside) + " outside the shape)\n" : ")\n");
  if (result.Holes.Total() > 0) {
    text += "Holes: " + Decimal(result.Holes.Missing) + " missing, " + Decimal(result.Holes.GivenUp) + " given up, " +
            Decimal(result.Holes.Unreadable) + " unreadable; listed in " + result.HoleListPath +
            " and, for the re-download or \"orvenna-cli fill\", in " + result.HoleFailedListPath + "\n";
  }
  if (result.FromDownloadedLevels > 0) {
    text += "Levels above: " + Decimal(result.FromDownloadedLevels) +
            " tiles as the job's tasks of those zooms downloaded them, the rest computed\n";
  }
  return text + "Elapsed: " + platform::FormatDuration(result.Seconds) + "\n";
}

}  // namespace combiner
