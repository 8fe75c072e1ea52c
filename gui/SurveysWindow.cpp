#include "gui/SurveysWindow.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "core/platform/Numbers.h"
#include "core/run/ConfigFile.h"
#include "core/run/Surveys.h"
#include "gui/WidgetsUi.h"
#include "qtkit/Dialogs.h"

using gui::Named;
using qtkit::FromLocal;
using qtkit::ToLocal;

namespace {

QString Degrees(double value) { return FromLocal(platform::FormatGeneral(value, '.')); }

}  // namespace

TfrmSurveys::TfrmSurveys(QString configPath, const task::LonLatBox& box, download::HttpLimits limits,
                         QWidget* parent, std::string pinnedId)
    : QDialog(parent), configPath_(std::move(configPath)), box_(box), pinnedId_(std::move(pinnedId)), limits_(limits) {
  setObjectName(QStringLiteral("frmSurveys"));
  setWindowTitle(QStringLiteral("Surveys"));
  LabelArea = Named(new QLabel(QStringLiteral("Nearmap surveys of longitude %1 to %2, latitude %3 to %4:")
                                   .arg(Degrees(box.West), Degrees(box.East), Degrees(box.South), Degrees(box.North)),
                               this),
                    "LabelArea");
  LabelArea->setWordWrap(true);
  SurveyList = Named(new QListWidget(this), "SurveyList");
  LabelState = Named(new QLabel(this), "LabelState");
  LabelState->setWordWrap(true);
  LabelState->setTextInteractionFlags(Qt::TextSelectableByMouse);
  ButtonUse = Named(new QPushButton(QStringLiteral("&Use this survey"), this), "ButtonUse");
  ButtonUse->setDefault(true);
  ButtonUse->setEnabled(false);
  ButtonLatest = Named(new QPushButton(QStringLiteral("&Latest imagery"), this), "ButtonLatest");
  ButtonLatest->setToolTip(QStringLiteral("The newest imagery of every place, no survey pinned"));
  ButtonLatest->setAutoDefault(false);
  ButtonCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "ButtonCancel");
  ButtonCancel->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonLatest);
  buttons->addStretch();
  buttons->addWidget(ButtonUse);
  buttons->addWidget(ButtonCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LabelArea);
  layout->addWidget(SurveyList, 1);
  layout->addWidget(LabelState);
  layout->addLayout(buttons);
  resize(420, 360);

  connect(ButtonUse, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmSurveys::ButtonUseClick));
  connect(ButtonLatest, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmSurveys::ButtonLatestClick));
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(SurveyList, &QListWidget::itemDoubleClicked, this, qtkit::Slot(this, &TfrmSurveys::ButtonUseClick));
  connect(SurveyList, &QListWidget::currentRowChanged, this, [this](int row) { ButtonUse->setEnabled(row >= 0); });
}

void TfrmSurveys::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous() && !asked_ && !job_.Busy()) Ask();
}

void TfrmSurveys::Ask() {
  const run::ConfigFile config(ToLocal(configPath_));
  LabelState->setText(QStringLiteral("Asking the Nearmap API ..."));
  job_.Start([this, api = config.ReadNearmapApi(), proxy = config.ReadProxy()](const std::atomic<bool>& stop) {
    download::SurveysAnswer answer = run::FetchSurveys(api, proxy, box_, limits_, &stop);
    return [this, answer = std::move(answer)] {
      asked_ = true;
      surveys_ = answer.Surveys;
      for (const task::Survey& survey : surveys_) {
        SurveyList->addItem(FromLocal(survey.CaptureDate + "   " + survey.Id));
      }
      if (!answer.Ok()) {
        LabelState->setText(FromLocal(answer.Problem));
      } else {
        LabelState->setText(surveys_.empty() ? QStringLiteral("No survey covers the rectangle.")
                                             : QStringLiteral("%1 surveys, the newest first.").arg(surveys_.size()));
      }
      const auto pinned = std::find_if(surveys_.begin(), surveys_.end(),
                                       [this](const task::Survey& survey) { return survey.Id == pinnedId_; });
      if (!surveys_.empty()) SurveyList->setCurrentRow(pinned != surveys_.end() ? static_cast<int>(pinned - surveys_.begin()) : 0);
    };
  });
}

void TfrmSurveys::ButtonUseClick() {
  const int row = SurveyList->currentRow();
  if (row < 0 || row >= static_cast<int>(surveys_.size())) return;
  chosen_ = surveys_[static_cast<std::size_t>(row)];
  accept();
}

void TfrmSurveys::ButtonLatestClick() {
  chosen_.reset();
  accept();
}
