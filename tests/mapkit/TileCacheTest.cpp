// The disk cache of base tiles keeps to its bound however it is filled, the
// least recently used out first, also when another program shares the folder.
#include <gtest/gtest.h>

#include <QSpinBox>

#include <filesystem>
#include <string>
#include <thread>

#include "core/run/ConfigFile.h"
#include "mapkit/CacheDialog.h"
#include "mapkit/TileCache.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using mapkit::CachedTileName;
using mapkit::TileCache;

constexpr int64_t kTileBytes = 10000;
constexpr int64_t kBound = 100000;

CachedTileName Tile(int x) { return CachedTileName{"layer-0123", 12, x, 7, "png"}; }

int64_t BytesOnDisk(const std::string& folder) {
  int64_t bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) bytes += static_cast<int64_t>(entry.file_size());
  }
  return bytes;
}

TEST(TileCache, NeverPassesItsBoundAndKeepsWhatWasUsedLast) {
  testsupport::TempDir folder;
  TileCache cache(folder.Path(), kBound);
  const std::string bytes(kTileBytes, 'b');
  cache.Store(Tile(0), bytes);
  for (int x = 1; x < 30; ++x) {
    // Tile 0 is looked at all the time: it stays.
    ASSERT_TRUE(cache.Read(Tile(0)) == bytes) << x;
    cache.Store(Tile(x), bytes);
    EXPECT_LE(BytesOnDisk(folder.Path()), kBound) << "after tile " << x;
    // Distinct file times, so that least recently used is well defined.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(cache.Read(Tile(0)) == bytes);
  EXPECT_TRUE(cache.Read(Tile(29)) == bytes);
  EXPECT_FALSE(cache.Read(Tile(1)));
  EXPECT_LE(cache.Bytes(), kBound);

  // Another program's window on the same folder counts this one's tiles.
  TileCache otherProgram(folder.Path(), kBound);
  for (int x = 30; x < 40; ++x) {
    otherProgram.Store(Tile(x), bytes);
    EXPECT_LE(BytesOnDisk(folder.Path()), kBound) << "after tile " << x;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(cache.Read(Tile(39)) == bytes);

  // A smaller bound takes effect at once; emptying leaves nothing.
  cache.SetMaxBytes(3 * kTileBytes);
  EXPECT_LE(BytesOnDisk(folder.Path()), 3 * kTileBytes);
  EXPECT_TRUE(cache.Read(Tile(39)) == bytes);
  cache.Clear();
  EXPECT_EQ(cache.Bytes(), 0);
  EXPECT_FALSE(cache.Read(Tile(0)));
}

TEST(TileCache, AFolderThatCannotBeWrittenIsNoCacheAndNoError) {
  testsupport::TempDir folder;
  testsupport::WriteFileBytes(folder.File("tiles"), "a file where the folder should be");
  TileCache cache(folder.Path(), kBound);
  cache.Store(Tile(1), "bytes");
  EXPECT_FALSE(cache.Read(Tile(1)));
}

// Options > Map cache...: the bound is written to the settings, taken by the
// open cache at once and by the next program's; Empty empties.
TEST(TileCache, TheDialogsBoundHoldsAtOnceAndForTheNextProgram) {
  testsupport::TempDir folder;
  const QString config = QString::fromStdString(folder.File("config.ini"));
  const std::shared_ptr<TileCache> cache = mapkit::OpenTileCache(config, folder.File("cache"));
  EXPECT_EQ(cache->MaxBytes(), int64_t{500} << 20) << "the default bound";
  const std::string megabyte(1 << 20, 'b');
  for (int x = 0; x < 4; ++x) cache->Store(Tile(x), megabyte);
  EXPECT_GE(BytesOnDisk(folder.File("cache")), 4 << 20);

  mapkit::CacheDialog dialog(config, cache);
  dialog.BoundBox->setValue(2);
  dialog.OkClick();
  EXPECT_LE(BytesOnDisk(folder.File("cache")), 2 << 20);
  EXPECT_EQ(run::ConfigFile(folder.File("config.ini")).ReadMapCacheMegabytes(), 2);
  EXPECT_EQ(mapkit::OpenTileCache(config, folder.File("cache"))->MaxBytes(), 2 << 20);

  mapkit::CacheDialog again(config, cache);
  EXPECT_EQ(again.BoundBox->value(), 2);
  again.EmptyClick();
  EXPECT_EQ(BytesOnDisk(folder.File("cache")), 0);
}

}  // namespace
