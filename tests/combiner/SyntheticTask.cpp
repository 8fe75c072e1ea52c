#include "tests/combiner/SyntheticTask.h"

#include <cpl_conv.h>
#include <cpl_vsi.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "combiner/GdalSupport.h"
#include "core/task/TaskFiles.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkerHarness.h"

namespace combinertest {

namespace {

std::string EncodeWithGdal(const combiner::Pixels& pixels, const char* driver, const std::vector<std::string>& options,
                           bool grey) {
  combiner::InitGdal();
  const int bands = grey ? 1 : 3;
  combiner::Dataset memory(GDALCreate(GDALGetDriverByName("MEM"), "", 256, 256, bands, GDT_Byte, nullptr));
  int bandMap[] = {1, 2, 3};
  if (GDALDatasetRasterIO(memory.get(), GF_Write, 0, 0, 256, 256, const_cast<uint8_t*>(pixels.data()), 256, 256,
                          GDT_Byte, bands, bandMap, 3, 3 * 256, 1) != CE_None) {
    throw std::runtime_error("cannot fill a MEM dataset");
  }
  std::vector<char*> list;
  for (const std::string& option : options) list.push_back(const_cast<char*>(option.c_str()));
  list.push_back(nullptr);
  static int counter = 0;
  const std::string name = "/vsimem/synthetic-" + std::to_string(++counter);
  combiner::Dataset copy(
      GDALCreateCopy(GDALGetDriverByName(driver), name.c_str(), memory.get(), FALSE, list.data(), nullptr, nullptr));
  if (!copy) throw std::runtime_error(std::string("GDAL cannot write ") + driver);
  copy.reset();
  vsi_l_offset size = 0;
  GByte* data = VSIGetMemFileBuffer(name.c_str(), &size, TRUE);
  std::string bytes(reinterpret_cast<char*>(data), static_cast<std::size_t>(size));
  CPLFree(data);
  return bytes;
}

}  // namespace

combiner::Pixels PatternTile(int32_t x, int32_t y) {
  const int base[3] = {60 + (x * 53) % 160, 60 + (y * 97) % 160, 60 + ((x + 2 * y) * 31) % 160};
  combiner::Pixels pixels(combiner::kTileBytes);
  for (int row = 0; row < 256; ++row) {
    for (int column = 0; column < 256; ++column) {
      const int shade = ((row / 32 + column / 32) & 1) != 0 ? 50 : 0;
      for (int c = 0; c < 3; ++c) {
        pixels[static_cast<std::size_t>((row * 256 + column) * 3 + c)] = static_cast<uint8_t>(base[c] - shade);
      }
    }
  }
  return pixels;
}

std::string GdalJpeg(const combiner::Pixels& pixels, const JpegStyle& style) {
  std::vector<std::string> options = {"QUALITY=" + std::to_string(style.Quality)};
  if (style.Progressive) options.emplace_back("PROGRESSIVE=ON");
  return EncodeWithGdal(pixels, "JPEG", options, style.Grey);
}

std::string GdalPng(const combiner::Pixels& pixels) { return EncodeWithGdal(pixels, "PNG", {}, false); }

combiner::Pixels ReadPixels(GDALDatasetH dataset, int x, int y, int width, int height) {
  combiner::Pixels pixels(static_cast<std::size_t>(width) * height * 3);
  int bandMap[] = {1, 2, 3};
  if (GDALDatasetRasterIO(dataset, GF_Read, x, y, width, height, pixels.data(), width, height, GDT_Byte, 3, bandMap, 3,
                          3 * width, 1) != CE_None) {
    throw std::runtime_error("cannot read pixels: " + combiner::GdalErrorScope::LastError());
  }
  return pixels;
}

combiner::Pixels DecodeWithGdal(const std::string& bytes) {
  combiner::InitGdal();
  static int counter = 0;
  const std::string name = "/vsimem/decode-" + std::to_string(++counter);
  VSIFCloseL(VSIFileFromMemBuffer(name.c_str(), reinterpret_cast<GByte*>(const_cast<char*>(bytes.data())),
                                  bytes.size(), FALSE));
  combiner::Pixels pixels;
  {
    combiner::Dataset image = combiner::OpenDataset(name, false);
    pixels = ReadPixels(image.get(), 0, 0, GDALGetRasterXSize(image.get()), GDALGetRasterYSize(image.get()));
  }
  VSIUnlink(name.c_str());
  return pixels;
}

int MaxDifference(const combiner::Pixels& a, const combiner::Pixels& b) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
  return largest;
}

int MaxDifferenceInside(const combiner::Pixels& a, const combiner::Pixels& b, int width, int cell, int border) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const int x = static_cast<int>(i / 3) % width % cell, y = static_cast<int>(i / 3) / width % cell;
    if (x < border || y < border || x >= cell - border || y >= cell - border) continue;
    largest = std::max(largest, std::abs(a[i] - b[i]));
  }
  return largest;
}

double MeanDifference(const combiner::Pixels& a, const combiner::Pixels& b) {
  if (a.size() != b.size() || a.empty()) return 256;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
  return sum / static_cast<double>(a.size());
}

combiner::Pixels Halved(const combiner::Pixels& image, int width, int height) {
  combiner::Pixels half(static_cast<std::size_t>(width / 2) * (height / 2) * 3);
  const auto at = [&](int x, int y, int c) { return image[static_cast<std::size_t>((y * width + x) * 3 + c)]; };
  for (int y = 0; y < height / 2; ++y) {
    for (int x = 0; x < width / 2; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int sum = at(2 * x, 2 * y, c) + at(2 * x + 1, 2 * y, c) + at(2 * x, 2 * y + 1, c) + at(2 * x + 1, 2 * y + 1, c);
        half[static_cast<std::size_t>((y * (width / 2) + x) * 3 + c)] = static_cast<uint8_t>((sum + 2) / 4);
      }
    }
  }
  return half;
}

SyntheticTask::SyntheticTask(const std::string& folder, int32_t columns, int32_t rows, int32_t zoom,
                             int32_t firstColumn, int32_t firstRow, const std::string& taskName) {
  testsupport::TileBlock block;
  block.X0 = firstColumn;
  block.Y0 = firstRow;
  block.Columns = columns;
  block.Rows = rows;
  block.Zoom = zoom;
  parameters_ = testsupport::BlockParameters(folder, block, taskName);
  task_ = std::make_unique<task::MDTask>(parameters_);
  task_->CreateImageFolder();
  task::WriteTaskFile(*task_);
  task::WriteExtentList(*task_);
  task::CreateFailedList(*task_);
}

void SyntheticTask::WriteAllTiles() {
  const task::TileRange range = Range();
  for (int32_t y = range.MinY; y <= range.MaxY; ++y) {
    for (int32_t x = range.MinX; x <= range.MaxX; ++x) WriteTile(x, y, GdalJpeg(PatternTile(x, y)));
  }
}

void SyntheticTask::WriteTile(int32_t x, int32_t y, const std::string& bytes) const {
  testsupport::WriteFileBytes(task_->TileFilePath(x, y), bytes);
}

void SyntheticTask::RemoveTile(int32_t x, int32_t y) const { std::remove(task_->TileFilePath(x, y).c_str()); }

void SyntheticTask::GiveUp(int32_t x, int32_t y) {
  RemoveTile(x, y);
  failedRecords_.push_back(task::FailedRecord(*task_, x, y));
  platform::WriteTextLines(task_->FailedListFileName, failedRecords_);
}

std::string SyntheticTask::TileBytes(int32_t x, int32_t y) const {
  return testsupport::ReadFileBytes(task_->TileFilePath(x, y));
}

std::array<double, 4> SyntheticTask::ListedEdges(int32_t x, int32_t y) const {
  const std::string prefix = task_->TileFileName(x, y) + ": ";
  for (const std::string& line : platform::ReadTextLines(task_->ListFileName)) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::array<double, 4> edges{};
    std::size_t position = prefix.size();
    for (double& edge : edges) {
      position = line.find_first_not_of(' ', position);
      const std::size_t end = line.find(' ', position);
      edge = platform::ParseDecimal(line.substr(position, end - position)).value();
      position = end;
    }
    return edges;
  }
  throw std::runtime_error("no extent-list line for " + task_->TileFileName(x, y));
}

namespace {

// Places of the odd tiles of MixedTask, from its first tile.
constexpr int kMissing[2] = {1, 0};
constexpr int kGivenUp[2] = {2, 1};
constexpr int kCutShort[2] = {3, 2};
constexpr int kProgressive[2] = {4, 0};
constexpr int kPng[2] = {0, 3};
constexpr int kBlank[2] = {5, 3};

bool At(const task::TileRange& range, int32_t x, int32_t y, const int (&place)[2]) {
  return x == range.MinX + place[0] && y == range.MinY + place[1];
}

}  // namespace

MixedTask::MixedTask() : task_(dir_.Path(), 6, 4), outputFolder_(dir_.Path() + "out/") {
  platform::CreateDir(outputFolder_);
  task_.WriteAllTiles();
  const task::TileRange r = task_.Range();
  task_.RemoveTile(r.MinX + kMissing[0], r.MinY + kMissing[1]);
  task_.GiveUp(r.MinX + kGivenUp[0], r.MinY + kGivenUp[1]);
  const int32_t cutX = r.MinX + kCutShort[0], cutY = r.MinY + kCutShort[1];
  const std::string whole = task_.TileBytes(cutX, cutY);
  task_.WriteTile(cutX, cutY, whole.substr(0, whole.size() / 2));
  const int32_t progressiveX = r.MinX + kProgressive[0], progressiveY = r.MinY + kProgressive[1];
  task_.WriteTile(progressiveX, progressiveY, GdalJpeg(PatternTile(progressiveX, progressiveY), {.Progressive = true}));
  const int32_t pngX = r.MinX + kPng[0], pngY = r.MinY + kPng[1];
  task_.WriteTile(pngX, pngY, GdalPng(PatternTile(pngX, pngY)));
  task_.WriteTile(r.MinX + kBlank[0], r.MinY + kBlank[1], testsupport::ReadFileBytes(ORVENNA_BLANK_IMAGE));
}

std::optional<task::TileVerdict> MixedTask::HoleAt(int32_t x, int32_t y) const {
  const task::TileRange r = task_.Range();
  if (At(r, x, y, kMissing)) return task::TileVerdict{task::TileState::Missing, ""};
  if (At(r, x, y, kGivenUp)) return task::TileVerdict{task::TileState::GivenUp, ""};
  if (At(r, x, y, kCutShort)) return task::TileVerdict{task::TileState::Unreadable, "truncated"};
  if (At(r, x, y, kPng)) return task::TileVerdict{task::TileState::Unreadable, "a PNG image, not JPEG"};
  return std::nullopt;
}

bool MixedTask::Reencoded(int32_t x, int32_t y) const { return At(task_.Range(), x, y, kProgressive); }

void RecordingProgress::Report(const std::string& stage, double fraction) {
  if (Stages.empty() || Stages.back() != stage) Stages.push_back(stage);
  if (!CancelIn.empty() && stage.find(CancelIn) != std::string::npos && fraction >= CancelAt) cancel_ = true;
}

}  // namespace combinertest
