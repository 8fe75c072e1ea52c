// A main window over a throwaway program folder, with every message box, file
// chooser and desktop launch captured, and a loopback tile server reached
// through the proxy settings of the folder's settings file.
#pragma once

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "qtkit/Dialogs.h"
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
