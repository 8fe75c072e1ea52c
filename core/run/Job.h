// A job: the same area at several zoom levels, as one ordinary task per zoom
// ("<name>_z14.otsk" ... "<name>_z19.otsk", so they sort together and every
// behaviour of a task holds for each) and a small job file "<name>.ojob"
// beside them that lists them. Main thread; plain files.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace run {

inline constexpr const char* kJobFileExtension = ".ojob";

// The zoom levels of a job, From to To (From < To).
struct ZoomRange {
  int32_t From = 0;
  int32_t To = 0;
};

// "14-19": two levels of 1 to 21, the first below the second; nothing for
// any other text (a single level is no job).
std::optional<ZoomRange> ParseZoomRange(const std::string& text);

// The task file name of zoom in the job name (no extension): "park_z07.otsk".
std::string JobTaskName(const std::string& name, int32_t zoom);

struct JobFile {
  ZoomRange Zooms;
  // The task files, full paths beside the job file, shallowest zoom first.
  std::vector<std::string> Tasks;
};

// The job file does not describe a job; the text says why.
class JobFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool IsJobFile(const std::string& path);

// Writes the job file at path for the tasks of zooms in the folder of path
// (atomically). Throws platform::FileError.
void WriteJobFile(const std::string& path, ZoomRange zooms, const std::string& name);
// Throws JobFileError.
JobFile ReadJobFile(const std::string& path);

}  // namespace run
