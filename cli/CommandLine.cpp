#include "cli/CommandLine.h"

#include <algorithm>
#include <iterator>

namespace cli {

namespace {

using consolekit::OptionSpec;
using Options = std::vector<OptionSpec>;

// Each command's own options; -q, -v, -h and --config go with all of them.
const Options kRunOptions = {{"json", 0, true}, {"part", 0, true}, {"max-tiles", 0, true}};
const Options kNewOptions = {{"name", 0, true},    {"type", 0, true},      {"left", 0, true},    {"right", 0, true},
                             {"top", 0, true},     {"bottom", 0, true},    {"zoom", 0, true},    {"date", 0, true},
                             {"folder", 0, true},  {"run", 0, false},      {"dry-run", 0, false}, {"json", 0, true},
                             {"force", 0, false},  {"direction", 0, true}, {"survey", 0, true},
                             {"area-file", 0, true}, {"margin", 0, true}, {"max-tiles", 0, true}};
const Options kSurveysOptions = {
    {"left", 0, true}, {"right", 0, true}, {"top", 0, true}, {"bottom", 0, true}, {"json", 0, true}};
const Options kRetryOptions = {{"output", 0, true}, {"json", 0, true}};
const Options kJsonOption = {{"json", 0, true}};
const Options kFillOptions = {{"json", 0, true}, {"max-tiles", 0, true}};

struct CommandSpec {
  const char* Name;
  Command What;
  std::size_t Operands;
  const char* OperandName;
};

const CommandSpec kCommands[] = {
    {"run", Command::Run, 1, "a task file"},
    {"new", Command::New, 0, ""},
    {"retry", Command::Retry, 1, "a failed-tile list"},
    {"merge", Command::Merge, 1, "a task file"},
    {"status", Command::Status, 1, "a task file"},
    {"fill", Command::Fill, 1, "a task file"},
    {"surveys", Command::Surveys, 0, ""},
    {"help", Command::Help, 0, ""},
};

Options OptionsOf(Command command) {
  Options options = consolekit::kVerbosityAndHelp;
  options.push_back({"config", 0, true});
  const auto add = [&](const Options& more) { options.insert(options.end(), more.begin(), more.end()); };
  switch (command) {
    case Command::Run: add(kRunOptions); break;
    case Command::New: add(kNewOptions); break;
    case Command::Retry: add(kRetryOptions); break;
    case Command::Status:
    case Command::Fill: add(kFillOptions); break;
    case Command::Surveys: add(kSurveysOptions); break;
    case Command::Merge:
    case Command::Help: break;
  }
  return options;
}

}  // namespace

Invocation ParseCommandLine(const std::vector<std::string>& arguments) {
  Invocation invocation;
  if (arguments.empty()) throw UsageError("no command given");
  const std::string& first = arguments[0];
  if (first == "--help" || first == "-h") return invocation;
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandSpec& c) { return first == c.Name; });
  if (command == std::end(kCommands)) throw UsageError("unknown command '" + first + "'");
  try {
    static_cast<consolekit::ScannedLine&>(invocation) =
        consolekit::ScanArguments({arguments.begin() + 1, arguments.end()}, OptionsOf(command->What));
  } catch (const consolekit::UnknownOption& unknown) {
    // A long option that another command may take.
    if (unknown.Argument.rfind("--", 0) == 0) throw UsageError("'" + first + "' has no option '" + unknown.Argument + "'");
    throw;
  }
  invocation.What = command->What;
  if (invocation.Has("help")) {
    invocation.What = Command::Help;
    return invocation;
  }
  if (invocation.Operands.size() != command->Operands) {
    if (command->Operands == 0) throw UsageError("'" + first + "' takes no operand");
    throw UsageError("'" + first + "' takes " + command->OperandName);
  }
  consolekit::VerbosityOf(invocation);
  return invocation;
}

std::string UsageText() {
  return "Usage: orvenna-cli COMMAND [OPTIONS]\n"
         "  or:  orvenna-cli --version\n"
         "Downloads the map tiles of a task without a window, into the same files as the window program.\n"
         "\n"
         "Commands:\n"
         "  run TASK.otsk            run a task as \"Open task ...\" and Start do: it continues from its\n"
         "                           saved positions when the task file matches, and runs to the end;\n"
         "                           a task whose tiles are all saved or blank fetches nothing\n"
         "      --part K/N           run only part K of N of the task (bands of its rows), with\n"
         "                           bookkeeping files of its own; see merge\n"
         "      --json FILE          also write the summary as JSON to FILE (- for standard output)\n"
         "      --max-tiles N        fetch at most N tiles in this run (a paid source's quota), then stop\n"
         "                           with the positions saved; the next run continues (also new, fill)\n"
         "  new --name NAME --type TYPE --left L --right R --top T --bottom B --zoom Z\n"
         "      [--date YYYYMMDD] [--folder DIR]\n"
         "                           check the task as Start does and write its files; TYPE is photo,\n"
         "                           street, terrain, nearmap (the Nearmap API, with the key of the\n"
         "                           settings file) or the name of a tile source of the settings file\n"
         "      --direction D        nearmap: Vert (straight down; the settings' Direction by default),\n"
         "                           North, East, South or West\n"
         "      --survey ID          nearmap: the imagery of this survey (see surveys)\n"
         "      --date YYYYMMDD      nearmap: the newest survey captured on or before the date; without\n"
         "                           --survey or --date, the latest imagery of every place\n"
         "      --area-file FILE     instead of --left, --right, --top and --bottom: the polygons of a\n"
         "                           vector file (GeoJSON, KML, GPX, Shapefile, GeoPackage, ...); only\n"
         "                           the tiles they touch are fetched. A file of lines or points only\n"
         "                           gives the box of its features (or, with --margin, a corridor)\n"
         "      --margin METRES      with --area-file: grow the shape by METRES on every side\n"
         "      --zoom A-B           the levels A to B as one job: a task of each level (NAME_z14.otsk,\n"
         "                           ...) and the job file NAME.ojob, which run, status and fill take\n"
         "                           as they take a task; the dry run sums the levels\n"
         "      --run                then run it\n"
         "      --dry-run            print the tiles, the disk space and the time it needs; write nothing\n"
         "      --json FILE          with --run: also write the summary as JSON to FILE\n"
         "      --force              replace a task file of that name that holds another task\n"
         "  status TASK.otsk         count the task's tiles by state (saved, blank, given up, missing,\n"
         "                           unreadable) and name the first holes; exit status 1 with holes\n"
         "      --json FILE          also write the counts and holes as JSON to FILE\n"
         "  fill TASK.otsk           fetch every hole of the task (given up, missing, unreadable) with its\n"
         "                           source; saved tiles leave the failed list; a fill that took every\n"
         "                           hole marks the task's walk done, so run fetches none of it again\n"
         "      --json FILE          also write the summary as JSON to FILE\n"
         "  retry FILE.ftl           fetch the tiles of a failed-tile list again (through the proxy of\n"
         "                           the settings file, with the tile source's headers and key); a file\n"
         "                           without a failed-tile record is refused (exit status 2)\n"
         "      --output FILE        also write the lines of the run to FILE\n"
         "      --json FILE          also write the summary as JSON to FILE\n"
         "  merge TASK.otsk          check that every part of a task ended, merge their logs and failed\n"
         "                           lists into the task's and report its holes\n"
         "  surveys --left L --right R --top T --bottom B\n"
         "                           list the Nearmap surveys of the rectangle, newest first: id and\n"
         "                           capture date, a tab between them\n"
         "      --json FILE          also write the list as JSON to FILE (- for standard output)\n"
         "\n"
         "Options of every command:\n"
         "  --config PATH            the settings file (default: ini/config.ini beside the program when\n"
         "                           that folder is writable, else $XDG_CONFIG_HOME/orvenna/config.ini;\n"
         "                           --version names it)\n"
         "  -q, --quiet              print nothing but errors\n"
         "  -v, --verbose            also print every log line as it comes\n"
         "  -h, --help               print this text\n"
         "\n"
         "Progress goes to standard error: one line redrawn in place on a terminal, otherwise a line\n"
         "every 10 seconds. The first SIGINT or SIGTERM stops the run as Stop does (positions, log and\n"
         "failed list saved; the next run continues); a second one ends the program at once.\n"
         "\n"
         "The summary counts what the run did and then the whole task's tiles, with the command that\n"
         "goes on: \"run\" to continue a walk that stopped, \"fill\" for the holes.\n"
         "\n"
         "Exit status: 0 the task has every tile (saved, or blank where the server has none); 1 the\n"
         "task has holes; 2 bad input or usage, or the task is being worked by another run; 3 stopped\n"
         "by a ban, a refused API key, the proxy or a network failure; 4 a file could not be written\n"
         "or a folder made (a full disk, a folder without write permission: the message says the\n"
         "system's reason) or another failure of the system; 130 interrupted.\n";
}

}  // namespace cli
