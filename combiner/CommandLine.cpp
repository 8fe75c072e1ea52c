#include "combiner/CommandLine.h"

#include <initializer_list>
#include <map>
#include <optional>
#include <utility>

#include "core/platform/Numbers.h"

namespace combiner {

namespace {

const std::vector<consolekit::OptionSpec> kOptions = [] {
  std::vector<consolekit::OptionSpec> options = {
      {"output", 'o', true}, {"format", 0, true},    {"srs", 0, true},          {"sheet", 0, true},
      {"fill", 0, true},     {"compress", 0, true},  {"area", 0, true},         {"no-overviews", 0, false},
      {"reencode", 0, false}, {"min-zoom", 0, true},
  };
  options.insert(options.end(), consolekit::kVerbosityAndHelp.begin(), consolekit::kVerbosityAndHelp.end());
  return options;
}();

// The value that name stands for in names; a UsageError of problem when none.
template <typename Value>
Value Named(const std::string& name, std::initializer_list<std::pair<const char*, Value>> names,
            const std::string& problem) {
  for (const auto& [text, value] : names) {
    if (name == text) return value;
  }
  throw UsageError(problem);
}

template <typename Value>
Value Required(const std::optional<Value>& value, const std::string& problem) {
  if (!value) throw UsageError(problem);
  return *value;
}

}  // namespace

Invocation ParseCommandLine(const std::vector<std::string>& arguments) {
  Invocation invocation;
  consolekit::ScannedLine line = consolekit::ScanArguments(arguments, kOptions);
  const std::vector<std::string>& operands = line.Operands;
  std::map<std::string, std::string>& options = line.Options;
  const auto given = [&](const char* name) { return options.count(name) != 0; };

  if (given("help")) {
    invocation.What = Invocation::Mode::Help;
    return invocation;
  }
  if (operands.size() > 1) throw UsageError("one task file only, not '" + operands[1] + "'");
  CombineOptions& o = invocation.Options;
  o.TaskPath = operands.empty() ? "" : operands.front();
  // As the desktop starts it (nothing, or a task to export): the window.
  if (options.empty()) return invocation;

  invocation.What = Invocation::Mode::Combine;
  if (o.TaskPath.empty()) throw UsageError("no task file given");
  if (!given("output")) throw UsageError("no output given: -o OUT (or only a task file, for the window)");
  o.OutputPath = options["output"];
  if (given("format")) {
    o.Format = Required(FormatNamed(options["format"]), "unknown format '" + options["format"] + "': " + FormatNamesText());
  } else {
    // Never a file of one format under another's name.
    o.Format = Required(FormatOfPath(o.OutputPath), "cannot tell the format of '" + o.OutputPath +
                                                        "' by its name: give --format, or end it in " +
                                                        KnownExtensionsText());
  }
  if (given("srs")) {
    o.Srs = Named<OutputSrs>(options["srs"],
                             {{"3857", OutputSrs::WebMercator}, {"EPSG:3857", OutputSrs::WebMercator},
                              {"4326", OutputSrs::Wgs84}, {"EPSG:4326", OutputSrs::Wgs84}},
                             "unknown coordinates '" + options["srs"] + "': 3857 (metres) or 4326 (degrees)");
    if (o.Format == OutputFormat::Kmz && o.Srs != OutputSrs::Wgs84) {
      throw UsageError("a KMZ is in WGS 84 degrees (4326) only");
    }
  }
  if (given("sheet")) {
    const auto pixels = platform::ParseInteger(options["sheet"]);
    if (!pixels || *pixels < 0) throw UsageError("the sheet size '" + options["sheet"] + "' is no number of pixels");
    o.SheetPixels = *pixels;
  }
  if (given("fill")) {
    o.Fill = Required(ParseColour(options["fill"]),
                      "unknown colour '" + options["fill"] + "': white, black, #RRGGBB or R,G,B");
  }
  if (given("compress")) {
    o.Compress = Named<Compression>(
        options["compress"], {{"jpeg", Compression::Jpeg}, {"deflate", Compression::Deflate}, {"none", Compression::None}},
        "unknown compression '" + options["compress"] + "': jpeg, deflate or none");
  }
  if (given("area")) {
    try {
      o.Area = ParseArea(options["area"]);
    } catch (const AreaError& error) {
      throw UsageError(error.what());
    }
  }
  if (given("min-zoom")) {
    const auto zoom = platform::ParseInteger(options["min-zoom"]);
    if (!zoom) throw UsageError("the minimum zoom '" + options["min-zoom"] + "' is no number");
    o.MinZoom = *zoom;
  }
  o.Overviews = !given("no-overviews");
  o.CopyTiles = !given("reencode");
  invocation.Verbose = consolekit::VerbosityOf(line);
  if (const std::string problem = CheckOptions(o); !problem.empty()) throw UsageError(problem);
  return invocation;
}

std::string UsageText() {
  return "Usage: tilejoin [TASK.otsk]\n"
         "  or:  tilejoin TASK.otsk -o OUT [OPTIONS]\n"
         "  or:  tilejoin JOB.ojob -o OUT [OPTIONS]   (a job of several zooms: its deepest task, and\n"
         "                           in MBTiles and GeoPackage the tiles of its other levels)\n"
         "  or:  tilejoin --version\n"
         "Combines the tiles of a download task into one georeferenced image or tile database.\n"
         "Without -o it opens its window (with the task filled in, when one is given).\n"
         "\n"
         "  -o, --output OUT         the file to write; it appears only when complete\n"
         "      --format FORMAT      as OUT's extension says (.tif .tiff .jpg .jpeg .png .mbtiles .gpkg\n"
         "                           .kmz), or: gtiff, cog, jpeg, png, mbtiles, gpkg, kmz\n"
         "      --srs 3857|4326      Web Mercator metres (default) or WGS 84 degrees (reprojected);\n"
         "                           MBTiles and GeoPackage are in metres, a KMZ in degrees\n"
         "      --sheet PIXELS       split into sheets of at most PIXELS x PIXELS (whole tiles), named\n"
         "                           OUT_r<row>_c<column>; a JPEG is split at 65500 pixels anyway\n"
         "      --fill COLOUR        colour of the holes: white (default), black, #RRGGBB or R,G,B\n"
         "      --compress KIND      GeoTIFF and COG: jpeg (default), deflate or none\n"
         "      --area AREA          only a part of the task: tiles:MINX,MINY,MAXX,MAXY or\n"
         "                           lonlat:WEST,SOUTH,EAST,NORTH\n"
         "      --no-overviews       GeoTIFF and COG without overviews; MBTiles and GeoPackage with the\n"
         "                           task's zoom only\n"
         "      --min-zoom ZOOM      MBTiles and GeoPackage: the lowest zoom (default: the zoom at which\n"
         "                           the whole task lies in one tile)\n"
         "      --reencode           decode and encode every tile, even those a JPEG GeoTIFF can take\n"
         "                           as downloaded\n"
         "  -q, --quiet              print nothing but errors\n"
         "  -v, --verbose            also print each step as it starts\n"
         "  -h, --help               print this text\n"
         "\n"
         "Holes (tiles missing, given up or unreadable) get the fill colour, a mask in a GeoTIFF or\n"
         "COG, transparency in a KMZ, a line in OUT_holes.txt and a record in OUT_holes.ftl (a\n"
         "failed-tile list for the re-download); MBTiles and GeoPackage leave them out. Progress goes\n"
         "to standard error: one line redrawn on a terminal, otherwise a line every 10 seconds and at\n"
         "the end of each step. SIGINT or SIGTERM stops the combine and leaves nothing behind.\n"
         "\n"
         "Exit status: 0 complete; 1 written with holes; 2 bad usage, an unreadable task or an output\n"
         "without a folder; 4 an output that could not be written (a full disk, a folder without\n"
         "write permission) or another failure of the system; 130 interrupted.\n";
}

}  // namespace combiner
