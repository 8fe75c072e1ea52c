// Tools > Surveys...: the surveys of the Nearmap API that cover the main
// window's rectangle, newest first, with their capture dates; the one chosen
// pins the task to it, "Latest imagery" unpins it. Main thread only; the list
// is asked for on a thread of its own (BackgroundJob) when the window shows.
#pragma once

#include <QDialog>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "core/download/HttpClient.h"
#include "core/task/NearmapApi.h"
#include "qtkit/BackgroundJob.h"

class QLabel;
class QListWidget;
class QPushButton;

class TfrmSurveys : public QDialog {
  Q_OBJECT

 public:
  // The survey of id pinned is selected when the list comes (the newest when
  // none is, or it is not in the list).
  TfrmSurveys(QString configPath, const task::LonLatBox& box, download::HttpLimits limits = {},
              QWidget* parent = nullptr, std::string pinnedId = {});

  // After Accepted: the survey chosen, none for the latest imagery.
  const std::optional<task::Survey>& Chosen() const { return chosen_; }
  const std::vector<task::Survey>& Surveys() const { return surveys_; }
  // Whether the list has come (or why not is shown).
  bool Asked() const { return asked_; }

  void ButtonUseClick();
  void ButtonLatestClick();

  QLabel* LabelArea;
  QListWidget* SurveyList;
  QLabel* LabelState;
  QPushButton* ButtonUse;
  QPushButton* ButtonLatest;
  QPushButton* ButtonCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Ask();

  QString configPath_;
  task::LonLatBox box_;
  std::string pinnedId_;
  download::HttpLimits limits_;
  std::vector<task::Survey> surveys_;
  std::optional<task::Survey> chosen_;
  bool asked_ = false;
  qtkit::BackgroundJob job_;
};
