// The Options dialog: the default save folder and the HTTP proxy, edited in
// the settings file. Main thread only. One instance lives as long as the
// program and is shown modally; every showing starts again from the file.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

#include "core/run/TaskControls.h"
#include "gui/TileSourcesWindow.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmOptions : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmOptions(QString configPath, QWidget* parent = nullptr);

  const QString& ConfigPath() const { return configPath_; }

  // Fills the controls from the settings file (runs at every show).
  void FormShow();
  // Folder browser for Edit12.
  void Button3Click();
  // Writes the six values in order, then closes. A failed write throws
  // platform::FileError out of here, for the application's error handler, and
  // the dialog stays open.
  void Button1Click();
  // Closes without writing.
  void Button2Click();
  // The user's tile sources, in a window of their own.
  void ButtonTileSourcesClick();
  // The bound of the map windows' cache of base tiles, in a dialog of its own.
  void ButtonMapCacheClick();
  // The tile a test of a source fetches (the middle of the main window's
  // rectangle).
  void SetTestTile(std::function<TestTile()> testTile) { testTile_ = std::move(testTile); }
  // The Nearmap API's page.
  void ButtonNearmapApiClick();
  // The rectangle its test asks the surveys of (the main window's, as typed).
  void SetTestArea(std::function<std::optional<run::AreaCheck>()> area) { testArea_ = std::move(area); }

  QFrame* Panel1;
  QLabel* Label1;
  QLineEdit* Edit12;
  QPushButton* Button3;
  QGroupBox* GroupBox1;
  QCheckBox* CheckBoxUseProxy;
  QLabel* Label3;
  QLineEdit* EditProxyServer;
  QLabel* Label4;
  QLineEdit* EditProxyPort;
  QLabel* Label5;
  QLineEdit* EditProxyUsername;
  QLabel* Label6;
  QLineEdit* EditProxyPassword;
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* ButtonTileSources;
  QPushButton* ButtonNearmapApi;
  QPushButton* ButtonMapCache;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QString configPath_;
  std::function<TestTile()> testTile_;
  std::function<std::optional<run::AreaCheck>()> testArea_;
};
