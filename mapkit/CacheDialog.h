// The bound of the map windows' disk cache of base tiles, kept in the
// settings file: how much it may hold, how much it holds, and a button that
// empties it. Reached from Options > Options... > Map cache... and from the
// area window. GUI thread only; shown modally.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

#include "mapkit/TileCache.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace mapkit {

class CacheDialog final : public QDialog {
  Q_OBJECT

 public:
  // cache: the program's open cache, which takes a new bound at once.
  CacheDialog(QString configPath, std::shared_ptr<TileCache> cache, QWidget* parent = nullptr);

  // OK: writes the bound (platform::FileError out of here when it cannot be
  // written; the dialog stays open) and closes.
  void OkClick();
  void EmptyClick();

  QSpinBox* BoundBox;
  QLabel* UsedLabel;
  QPushButton* EmptyButton;
  QPushButton* OkButton;
  QPushButton* CancelButton;

 private:
  void ShowUse();

  const QString configPath_;
  const std::shared_ptr<TileCache> cache_;
};

// The program's cache of base tiles (in the user's cache folder) with the
// bound of the settings file at configPath.
std::shared_ptr<TileCache> OpenTileCache(const QString& configPath, const std::string& cacheFolder);

}  // namespace mapkit
