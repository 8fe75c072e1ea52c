// The user's tile sources, from Options: a list to add, edit, remove and test
// sources, kept in the settings file, and the form of one source. Main thread
// only; a test fetch runs on a thread of its own (BackgroundJob), so the
// window stays responsive.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/task/TileSource.h"
#include "qtkit/BackgroundJob.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

// The tile a test fetches: the middle of the main window's rectangle.
struct TestTile {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Zoom = 1;
};

// One source: every field, its secret, and OK only for a source that can be
// saved (the reason shown otherwise).
class TfrmTileSourceEdit : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmTileSourceEdit(QWidget* parent = nullptr);

  void SetSource(const task::TileSource& source, const QString& secret);
  task::TileSource Source() const;
  QString Secret() const;
  // OK: checks the source; closes only when it can be saved.
  void ButtonOKClick();

  QLineEdit* EditName;
  QLineEdit* EditUrl;
  QLineEdit* EditPrefix;
  QComboBox* ComboExtension;
  QLineEdit* EditReferer;
  QLineEdit* EditUserAgent;
  QPlainTextEdit* MemoHeaders;
  QSpinBox* SpinMinZoom;
  QSpinBox* SpinMaxZoom;
  QLineEdit* EditSubdomains;
  QSpinBox* SpinPause;
  QSpinBox* SpinWorkers;
  QLineEdit* EditSecret;
  QPushButton* ButtonOK;
  QPushButton* ButtonCancel;
};

class TfrmTileSources : public QDialog {
  Q_OBJECT

 public:
  // configPath: the settings file; testTile: the tile a test fetches.
  TfrmTileSources(QString configPath, std::function<TestTile()> testTile, QWidget* parent = nullptr);

  void ButtonAddClick();
  void ButtonEditClick();
  void ButtonRemoveClick();
  // Fetches one tile of the selected source and tells what came back in
  // LabelTest; ButtonTest is disabled until then.
  void ButtonTestClick();

  QListWidget* SourceList;
  QPushButton* ButtonAdd;
  QPushButton* ButtonEdit;
  QPushButton* ButtonRemove;
  QPushButton* ButtonTest;
  QPushButton* ButtonClose;
  QLabel* LabelTest;

  // Tests: the form the next Add or Edit shows, to be filled instead of a user.
  std::function<void(TfrmTileSourceEdit&)> FillFormForTests;

 private:
  void Reload();
  std::optional<task::TileSource> Selected() const;
  bool RunForm(TfrmTileSourceEdit& form);

  QString configPath_;
  std::function<TestTile()> testTile_;
  std::vector<task::TileSource> sources_;
  qtkit::BackgroundJob testJob_;
};
