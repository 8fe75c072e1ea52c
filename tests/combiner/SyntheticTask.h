// Synthetic download tasks for the combiner's tests and benchmark: a task
// file written by the core, and tiles of known patterns under the names the
// downloader gives them, encoded by GDAL's own drivers (not the combiner's).
#pragma once

#include <gdal.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "combiner/JpegCodec.h"
#include "combiner/Progress.h"
#include "combiner/TileReader.h"
#include "core/task/Unitclasstask.h"
#include "tests/support/TempDir.h"

namespace combinertest {

// A tile that tells its place: a colour of its own (from x and y) with a
// darker 32-pixel checkerboard, so a tile off by one place or one pixel shows.
combiner::Pixels PatternTile(int32_t x, int32_t y);

struct JpegStyle {
  bool Progressive = false;
  bool Grey = false;
  int Quality = 85;
};
// A baseline 4:2:0 JPEG (libjpeg's default) unless style says otherwise.
std::string GdalJpeg(const combiner::Pixels& pixels, const JpegStyle& style = {});
std::string GdalPng(const combiner::Pixels& pixels);

// RGB pixels of a window of a dataset (its first three bands).
combiner::Pixels ReadPixels(GDALDatasetH dataset, int x, int y, int width, int height);
// The pixels of an image file's bytes, decoded by GDAL.
combiner::Pixels DecodeWithGdal(const std::string& bytes);
// Largest difference of two pixel buffers of one size.
int MaxDifference(const combiner::Pixels& a, const combiner::Pixels& b);
// Largest difference of two RGB images of one width, leaving out the pixels
// within border of the edges of each cell x cell square: where 4:2:0 JPEG
// smears the colours of two neighbours into each other.
int MaxDifferenceInside(const combiner::Pixels& a, const combiner::Pixels& b, int width, int cell, int border);
// The mean of the differences of two pixel buffers of one size.
double MeanDifference(const combiner::Pixels& a, const combiner::Pixels& b);
// An RGB image of width x height (both even) at half size, each pixel the
// mean of the 2 x 2 under it: what an overview by averaging holds.
combiner::Pixels Halved(const combiner::Pixels& image, int width, int height);

class SyntheticTask {
 public:
  // A task of columns x rows tiles at zoom, with its task file and extent
  // list in folder (ending in the separator) and no tiles yet.
  SyntheticTask(const std::string& folder, int32_t columns, int32_t rows, int32_t zoom = 13,
                int32_t firstColumn = 6742, int32_t firstRow = 3101, const std::string& taskName = "mosaic.otsk");

  std::string TaskPath() const { return task_->TaskFileName(); }
  const task::MDTask& Task() const { return *task_; }
  task::TileRange Range() const { return task_->Range(); }

  // Every tile as a baseline 4:2:0 JPEG of its pattern.
  void WriteAllTiles();
  void WriteTile(int32_t x, int32_t y, const std::string& bytes) const;
  void RemoveTile(int32_t x, int32_t y) const;
  // Removes the tile and records it in the failed-tile list, as a run that
  // gave it up does.
  void GiveUp(int32_t x, int32_t y);
  std::string TileBytes(int32_t x, int32_t y) const;

  // The extent list's edges of tile (x, y): west, east, north, south.
  std::array<double, 4> ListedEdges(int32_t x, int32_t y) const;

 private:
  task::TaskParameters parameters_;
  std::unique_ptr<task::MDTask> task_;
  std::vector<std::string> failedRecords_;
};

// The task most tests combine: 6 x 4 tiles at zoom 13, all baseline 4:2:0
// JPEGs but for one missing, one given up, one cut short and one PNG (both
// unreadable: no JPEG tile), one progressive JPEG (to be decoded), and the
// downloader's blank substitute in one place (a blank tile, no hole). Outputs
// go to OutputFolder, apart from the task's own files.
class MixedTask {
 public:
  MixedTask();

  SyntheticTask& Task() { return task_; }
  std::string Output(const std::string& name) const { return outputFolder_ + name; }
  const std::string& OutputFolder() const { return outputFolder_; }
  // Why tile (x, y) is a hole, if it is one.
  std::optional<task::TileVerdict> HoleAt(int32_t x, int32_t y) const;
  bool Reencoded(int32_t x, int32_t y) const;

  static constexpr int kHoles = 4;
  static constexpr int kReencoded = 1;

 private:
  testsupport::TempDir dir_;
  SyntheticTask task_;
  std::string outputFolder_;
};

// Records the stages a combine goes through, and asks it to stop once a
// stage whose name contains CancelIn has reached CancelAt.
class RecordingProgress final : public combiner::Progress {
 public:
  void Report(const std::string& stage, double fraction) override;
  bool CancelRequested() const override { return cancel_; }

  std::string CancelIn;  // empty: never
  double CancelAt = 0;
  std::vector<std::string> Stages;

 private:
  bool cancel_ = false;
};

}  // namespace combinertest
