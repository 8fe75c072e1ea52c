#include "core/run/Job.h"

#include <algorithm>

#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/settings/IniFile.h"
#include "core/task/Commonfunc.h"
#include "core/task/Unitclasstask.h"

namespace run {

namespace {

constexpr const char* kJobSection = "Job";

std::string TaskKey(std::size_t index) { return "Task" + platform::FormatInteger(static_cast<int64_t>(index) + 1); }

}  // namespace

std::optional<ZoomRange> ParseZoomRange(const std::string& text) {
  const std::size_t dash = text.find('-');
  if (dash == std::string::npos || dash == 0) return std::nullopt;
  const std::optional<int32_t> from = platform::ParseInteger(text.substr(0, dash));
  const std::optional<int32_t> to = platform::ParseInteger(text.substr(dash + 1));
  if (!from || !to || *from < task::kMinZoom || *to > task::kMaxZoom || *from >= *to) return std::nullopt;
  return ZoomRange{*from, *to};
}

std::string JobTaskName(const std::string& name, int32_t zoom) {
  return name + "_z" + (zoom < 10 ? "0" : "") + platform::FormatInteger(zoom) + task::kTaskFileExtension;
}

bool IsJobFile(const std::string& path) { return platform::ExtractFileExt(path) == kJobFileExtension; }

void WriteJobFile(const std::string& path, ZoomRange zooms, const std::string& name) {
  std::vector<std::string> lines = {std::string("[") + kJobSection + "]",
                                    "FromZoom=" + platform::FormatInteger(zooms.From),
                                    "ToZoom=" + platform::FormatInteger(zooms.To)};
  for (int32_t zoom = zooms.From; zoom <= zooms.To; ++zoom) {
    lines.push_back(TaskKey(static_cast<std::size_t>(zoom - zooms.From)) + "=" + JobTaskName(name, zoom));
  }
  lines.emplace_back();
  platform::WriteTextLines(path, lines);
}

JobFile ReadJobFile(const std::string& path) {
  if (!platform::FileExists(path)) throw JobFileError("Cannot open file " + path);
  const settings::IniFile ini(path);
  JobFile job;
  job.Zooms = {ini.ReadInteger(kJobSection, "FromZoom", 0), ini.ReadInteger(kJobSection, "ToZoom", 0)};
  if (job.Zooms.From < task::kMinZoom || job.Zooms.To > task::kMaxZoom || job.Zooms.From > job.Zooms.To) {
    throw JobFileError(path + " is not a job file: it has no [Job] section with FromZoom and ToZoom of 1 to 21");
  }
  const std::string folder = platform::ExtractFilePath(path);
  for (int32_t zoom = job.Zooms.From; zoom <= job.Zooms.To; ++zoom) {
    const std::string name = ini.ReadString(kJobSection, TaskKey(static_cast<std::size_t>(zoom - job.Zooms.From)), "");
    // A name only: the tasks lie beside their job, wherever the folder moved.
    if (name.empty() || std::any_of(name.begin(), name.end(), platform::IsPathDelimiter) || name == "." ||
        name == "..") {
      throw JobFileError(path + " names no task file of zoom " + platform::FormatInteger(zoom));
    }
    job.Tasks.push_back(folder + name);
  }
  return job;
}

}  // namespace run
