// The re-download window: reads a failed-tile list chosen by the user and
// fetches its tiles again, one after the other, logging into Memo1. Main thread
// only; a run blocks the thread until it ends. One instance lives as long as
// the program and is shown modally; every showing clears the log.
#pragma once

#include <QDialog>
#include <QString>

#include "core/download/HttpClient.h"

class QFrame;
class QPlainTextEdit;
class QPushButton;

class TfrmFlt : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmFlt(QWidget* parent = nullptr);

  // Clears the log (runs at every show).
  void FormShow();
  // One run: choose a list, clear the log, fetch every record. A list that
  // cannot be read or a tile that cannot be saved throws platform::FileError
  // out of here, for the application's error handler.
  void Button1Click();
  // The run of Button1Click on a list already chosen.
  void RunList(const QString& path);

  // The program keeps the client's default limits; tests shorten them.
  void SetHttpLimits(const download::HttpLimits& limits) { limits_ = limits; }
  // The settings file whose tile sources give the secrets masked in a list's
  // URLs; without one they stay masked.
  void SetConfigPath(const QString& configPath) { configPath_ = configPath; }

  QFrame* Panel1;
  QPushButton* Button1;
  QFrame* Panel2;
  QPlainTextEdit* Memo1;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QString lastChosenFile_;
  download::HttpLimits limits_;
  QString configPath_;
  bool running_ = false;
  bool placed_ = false;
};
