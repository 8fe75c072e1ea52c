// What every GDAL step of the combiner shares: one set-up, errors taken as
// text instead of printed, datasets closed by their owners, progress and
// cancellation handed through GDAL's callbacks. Only in a build with GDAL;
// the rest of the combiner sees GdalSteps.h.
#pragma once

#include <gdal.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "combiner/GdalSteps.h"
#include "combiner/JpegCodec.h"
#include "combiner/Progress.h"

namespace combiner {

// While it lives, GDAL's block cache holds enough for the widest row of
// blocks (rowBytes) a step reads, never less than the default bound; then
// the default bound again, also when the step failed or was cancelled.
class GdalCacheFor {
 public:
  explicit GdalCacheFor(int64_t rowBytes);
  ~GdalCacheFor();
  GdalCacheFor(const GdalCacheFor&) = delete;
  GdalCacheFor& operator=(const GdalCacheFor&) = delete;
};

struct DatasetCloser {
  void operator()(GDALDatasetH dataset) const;
};
using Dataset = std::unique_ptr<std::remove_pointer_t<GDALDatasetH>, DatasetCloser>;

// Opens path for reading or update; throws GdalError.
Dataset OpenDataset(const std::string& path, bool update);
// Closes dataset, and throws GdalError when the close (its last writes)
// failed.
void CloseDataset(Dataset dataset, const std::string& path);

// Reports GDAL's progress of one step to progress under stage; answers
// GDAL's question whether to go on with progress's cancel request.
struct GdalProgress {
  Progress* Target;
  std::string Stage;
  static int Callback(double complete, const char* message, void* self);
};

// After a GDAL step that failed: Cancelled when the user asked for it, else
// GdalError with what about path failed.
[[noreturn]] void ThrowStepFailure(const Progress& progress, const std::string& what, const std::string& path);

// argv-style option lists for GDAL's utility functions.
class OptionList {
 public:
  OptionList& Add(const std::string& option);
  OptionList& Add(const std::string& name, const std::string& value);
  char** Get();  // valid while the list lives and is not changed

 private:
  std::vector<std::string> items_;
  std::vector<char*> pointers_;
};

}  // namespace combiner
