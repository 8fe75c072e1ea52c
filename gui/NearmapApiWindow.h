// The Nearmap API's page of Options: the API key (masked, kept in the
// settings file only), the service's address, the direction new tasks take,
// the pace and connections the account allows, and a test that asks the
// coverage endpoint for the main window's rectangle. Main thread only; the
// test runs on a thread of its own (BackgroundJob).
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

#include "core/run/ConfigFile.h"
#include "core/run/TaskControls.h"
#include "qtkit/BackgroundJob.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TfrmNearmapApi : public QDialog {
  Q_OBJECT

 public:
  // configPath: the settings file; area: the main window's rectangle as typed
  // (nothing when no edge is typed: Test then asks for a point of its own).
  TfrmNearmapApi(QString configPath, std::function<std::optional<run::AreaCheck>()> area, QWidget* parent = nullptr);

  // The settings as the fields hold them.
  run::NearmapApiSettings Settings() const;
  // Writes the fields into the settings file and closes; an address or a
  // direction that cannot be used is refused with why, and the page stays.
  void ButtonOKClick();
  // Asks for the surveys of the main window's rectangle with the fields'
  // key and address (saved or not) and says what came back in LabelTest.
  void ButtonTestClick();

  QLabel* LabelHowTo;
  QLineEdit* EditApiKey;
  QLineEdit* EditBaseUrl;
  QComboBox* ComboDirection;
  QSpinBox* SpinPause;
  QSpinBox* SpinWorkers;
  QPushButton* ButtonTest;
  QLabel* LabelTest;
  QPushButton* ButtonOK;
  QPushButton* ButtonCancel;

 private:
  QString configPath_;
  std::function<std::optional<run::AreaCheck>()> area_;
  qtkit::BackgroundJob testJob_;
};
