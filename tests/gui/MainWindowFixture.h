// A main window over a throwaway program folder, with every message box, file
// chooser and desktop launch captured, and a loopback tile server reached
// through the proxy settings of the folder's settings file.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QObject>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "qtkit/Dialogs.h"
#include "gui/LogViewQt.h"
#include "gui/Unit1.h"
#include "core/platform/Files.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace guitest {

// Receives what the program hands to the desktop's "open" action.
struct DesktopRecorder {
  std::vector<QUrl> Opened;
  void Open(const QUrl& url) { Opened.push_back(url); }
};

struct Message {
  QString Text;
  bool IsError = false;
  QString CaptionThen;  // BitBtn1's caption when the box came
  QString Reason;       // the system's, under the text
};

// Short pauses so that a run of a few dozen tiles takes about a second.
inline download::Pacing FastPacing(int afterSavedMs = 10) {
  download::Pacing pacing;
  pacing.StartStaggerMs = 5;
  pacing.AfterSavedMs = afterSavedMs;
  pacing.AddressInUseMs = 20;
  pacing.RefusedMs = 10;
  pacing.NetworkMs = 10;
  pacing.NotFoundMs = 10;
  pacing.OtherMs = 10;
  pacing.BackoffFirstMs = 10;
  pacing.BackoffMaxMs = 80;
  return pacing;
}

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Builds and shows the window (the first show reads the settings file).
  void OpenWindow(download::Pacing pacing = FastPacing());
  void WriteConfig(const std::string& extraIniParas = "");
  void RemoveConfig();

  // The worked example: zoom 13, 6 x 7 = 42 tiles, 8 workers.
  void FillExample(const QString& taskName = QStringLiteral("gui"));
  // A rectangle inside one tile.
  void FillOneTile(const QString& taskName = QStringLiteral("one"));
  void ClickStart();
  // Waits (bounded) until the run has closed: caption "Start" and the
  // completion message shown.
  bool WaitForRunEnd(int timeoutMs = 20000);

  std::vector<QString> MessageTexts() const;
  int CountMessages(const QString& text) const;
  std::vector<std::string> Memo1Lines() const;
  std::vector<std::string> Memo2Lines() const;
  // Tile paths ("/maps/...") the server was asked for, from request index from.
  std::vector<std::string> RequestedPaths(std::size_t from = 0) const;
  std::string SavePath() const { return save_->Path(); }
  std::string TaskFilePath(const std::string& name = "gui.otsk") const { return SavePath() + name; }

  // The window's controls and menu items, found by their object names as a
  // user's tools find them; a missing one fails the test.
  template <typename T>
  T* Child(const char* name) const {
    T* child = window_ ? window_->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (child == nullptr) ADD_FAILURE() << "the window has no " << name;
    return child;
  }
  QWidget* PanelLeft() const { return Child<QWidget>("PanelLeft"); }
  QLabel* LabelTaskName() const { return Child<QLabel>("LabelTaskName"); }
  QLineEdit* EditTaskName() const { return Child<QLineEdit>("EditTaskName"); }
  QPushButton* Button4() const { return Child<QPushButton>("Button4"); }
  QLabel* LabelMapsType() const { return Child<QLabel>("LabelMapsType"); }
  QComboBox* radio_mapstype() const { return Child<QComboBox>("radio_mapstype"); }
  QLabel* LabelImagery() const { return Child<QLabel>("LabelImagery"); }
  QGroupBox* GroupBoxArea() const { return Child<QGroupBox>("GroupBoxArea"); }
  QLineEdit* Edit1() const { return Child<QLineEdit>("Edit1"); }
  QLineEdit* Edit2() const { return Child<QLineEdit>("Edit2"); }
  QLineEdit* Edit3() const { return Child<QLineEdit>("Edit3"); }
  QLineEdit* Edit4() const { return Child<QLineEdit>("Edit4"); }
  QLineEdit* Edit5() const { return Child<QLineEdit>("Edit5"); }
  TUpDown* UpDown1() const { return Child<TUpDown>("UpDown1"); }
  QLineEdit* Edit6() const { return Child<QLineEdit>("Edit6"); }
  QPushButton* Button1() const { return Child<QPushButton>("Button1"); }
  QLabel* LabelTotalxy() const { return Child<QLabel>("LabelTotalxy"); }
  QPushButton* BitBtn1() const { return Child<QPushButton>("BitBtn1"); }
  QGroupBox* GroupBoxDate() const { return Child<QGroupBox>("GroupBoxDate"); }
  QLineEdit* EditDate() const { return Child<QLineEdit>("EditDate"); }
  QWidget* PanelFailed() const { return Child<QWidget>("PanelFailed"); }
  TLogView* Memo1() const { return Child<TLogView>("Memo1"); }
  TLogView* Memo2() const { return Child<TLogView>("Memo2"); }
  QStatusBar* StatusBar1() const { return Child<QStatusBar>("StatusBar1"); }
  QLabel* StatusBar1Text() const { return Child<QLabel>("StatusBar1Text"); }
  QLabel* RunProgressText() const { return Child<QLabel>("RunProgressText"); }
  QProgressBar* RunProgress() const { return Child<QProgressBar>("RunProgress"); }
  QTimer* Timer1() const { return Child<QTimer>("Timer1"); }
  QMenu* File1() const { return Child<QMenu>("File1"); }
  QAction* Exit1() const { return Child<QAction>("Exit1"); }
  QMenu* Options1() const { return Child<QMenu>("Options1"); }
  QAction* Options2() const { return Child<QAction>("Options2"); }
  QMenu* Misc1() const { return Child<QMenu>("Misc1"); }
  QAction* ConvertLongitudeorLatitudetodegreen1() const { return Child<QAction>("ConvertLongitudeorLatitudetodegreen1"); }
  QAction* Viewlogfile1() const { return Child<QAction>("Viewlogfile1"); }
  QMenu* Tools1() const { return Child<QMenu>("Tools1"); }
  QAction* MapViewer1() const { return Child<QAction>("MapViewer1"); }
  QAction* CombineImages1() const { return Child<QAction>("CombineImages1"); }
  QAction* ReDownloadfailedfiles1() const { return Child<QAction>("ReDownloadfailedfiles1"); }
  QAction* Surveys1() const { return Child<QAction>("Surveys1"); }
  QAction* ChooseAreaonmap1() const { return Child<QAction>("ChooseAreaonmap1"); }
  QMenu* Help1() const { return Child<QMenu>("Help1"); }
  QAction* Usermanual1() const { return Child<QAction>("Usermanual1"); }
  QAction* Homepage1() const { return Child<QAction>("Homepage1"); }
  QAction* About1() const { return Child<QAction>("About1"); }

  std::unique_ptr<testsupport::TempDir> program_;
  std::unique_ptr<testsupport::TempDir> save_;
  std::unique_ptr<testsupport::TileServer> server_;
  std::unique_ptr<TForm1> window_;
  std::vector<Message> messages_;
  // The questions asked (qtkit::AskYesNo), each answered with answer_.
  std::vector<QString> questions_;
  bool answer_ = true;
  DesktopRecorder desktop_;
};

inline const QString kTaskStopped = QStringLiteral("Task stoped!") + QString(20, QLatin1Char(' '));

}  // namespace guitest
