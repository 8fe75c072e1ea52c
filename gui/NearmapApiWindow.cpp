#include "gui/NearmapApiWindow.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <stdexcept>

#include "core/platform/Numbers.h"
#include "core/run/Surveys.h"
#include "gui/WidgetsUi.h"
#include "qtkit/Dialogs.h"

using gui::Named;
using qtkit::FromLocal;
using qtkit::ToLocal;

TfrmNearmapApi::TfrmNearmapApi(QString configPath, std::function<std::optional<run::AreaCheck>()> area,
                               QWidget* parent)
    : QDialog(parent), configPath_(std::move(configPath)), area_(std::move(area)) {
  setObjectName(QStringLiteral("frmNearmapApi"));
  setWindowTitle(QStringLiteral("Nearmap API"));
  LabelHowTo = Named(new QLabel(QStringLiteral("Create an API key in your Nearmap account (an administrator of the "
                                               "account sets up the API application it belongs to) and paste it "
                                               "here. It is kept in the settings file only, which only you can "
                                               "read, and goes to the service in a request header."),
                                this),
                     "LabelHowTo");
  LabelHowTo->setWordWrap(true);
  auto* form = new QFormLayout;
  EditApiKey = Named(new QLineEdit(this), "EditApiKey");
  EditApiKey->setEchoMode(QLineEdit::Password);
  form->addRow(QStringLiteral("API key:"), EditApiKey);
  EditBaseUrl = Named(new QLineEdit(this), "EditBaseUrl");
  EditBaseUrl->setToolTip(QStringLiteral("The service, or your company's gateway to it"));
  form->addRow(QStringLiteral("Address:"), EditBaseUrl);
  ComboDirection = Named(new QComboBox(this), "ComboDirection");
  for (const std::string& direction : task::NearmapDirections()) ComboDirection->addItem(FromLocal(direction));
  ComboDirection->setToolTip(QStringLiteral("Vert looks straight down; North, East, South and West are the obliques"));
  form->addRow(QStringLiteral("Direction of new tasks:"), ComboDirection);
  SpinPause = Named(new QSpinBox(this), "SpinPause");
  SpinPause->setRange(0, 3600000);
  form->addRow(QStringLiteral("Pause between requests (ms):"), SpinPause);
  SpinWorkers = Named(new QSpinBox(this), "SpinWorkers");
  SpinWorkers->setRange(1, 8);
  form->addRow(QStringLiteral("Connections at most:"), SpinWorkers);

  ButtonTest = Named(new QPushButton(QStringLiteral("&Test"), this), "ButtonTest");
  ButtonTest->setAutoDefault(false);
  LabelTest = Named(new QLabel(this), "LabelTest");
  LabelTest->setWordWrap(true);
  LabelTest->setTextInteractionFlags(Qt::TextSelectableByMouse);
  ButtonOK = Named(new QPushButton(QStringLiteral("OK"), this), "ButtonOK");
  ButtonOK->setDefault(true);
  ButtonCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "ButtonCancel");
  ButtonCancel->setAutoDefault(false);
  // Room for the longest answer, a refusal, so the page keeps its size.
  LabelTest->setMinimumHeight(3 * LabelTest->fontMetrics().lineSpacing());
  LabelTest->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* test = new QHBoxLayout;
  test->addWidget(ButtonTest, 0, Qt::AlignTop);
  test->addWidget(LabelTest, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ButtonOK);
  buttons->addWidget(ButtonCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LabelHowTo);
  layout->addLayout(form);
  layout->addLayout(test);
  layout->addLayout(buttons);
  resize(440, sizeHint().height());

  const run::NearmapApiSettings stored = run::ConfigFile(ToLocal(configPath_)).ReadNearmapApi();
  EditApiKey->setText(FromLocal(stored.Secret));
  EditBaseUrl->setText(FromLocal(stored.Account.BaseUrl));
  // A direction the file misspells shows as the first one.
  ComboDirection->setCurrentIndex(std::max(0, ComboDirection->findText(FromLocal(stored.Direction))));
  SpinPause->setValue(stored.Account.PauseMs);
  SpinWorkers->setValue(stored.Account.MaxWorkers);

  connect(ButtonTest, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmNearmapApi::ButtonTestClick));
  connect(ButtonOK, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmNearmapApi::ButtonOKClick));
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

run::NearmapApiSettings TfrmNearmapApi::Settings() const {
  run::NearmapApiSettings api;
  api.Secret = ToLocal(EditApiKey->text().trimmed());
  api.Account.BaseUrl = ToLocal(EditBaseUrl->text().trimmed());
  api.Account.PauseMs = SpinPause->value();
  api.Account.MaxWorkers = SpinWorkers->value();
  api.Direction = ToLocal(ComboDirection->currentText());
  return api;
}

void TfrmNearmapApi::ButtonOKClick() {
  try {
    run::ConfigFile(ToLocal(configPath_)).WriteNearmapApi(Settings());
  } catch (const std::invalid_argument& refusal) {
    qtkit::ShowMessage(FromLocal(refusal.what()));
    return;
  }
  accept();
}

void TfrmNearmapApi::ButtonTestClick() {
  if (testJob_.Busy()) return;
  const std::optional<run::AreaCheck> area = area_ ? area_() : std::nullopt;
  if (area && !area->Area) {
    LabelTest->setText(QStringLiteral("The main window's rectangle: %1").arg(FromLocal(area->Message)));
    return;
  }
  // No rectangle typed: the key is tried on a small box of the service's home town.
  const bool ofRectangle = area.has_value();
  const task::LonLatBox box = ofRectangle ? *area->Area : task::LonLatBox{151.20, 151.21, -33.86, -33.87};
  const run::NearmapApiSettings api = Settings();
  if (const std::string problem = task::NearmapBaseUrlProblem(api.Account.BaseUrl); !problem.empty()) {
    LabelTest->setText(FromLocal(problem));
    return;
  }
  const run::ProxySettings proxy = run::ConfigFile(ToLocal(configPath_)).ReadProxy();
  LabelTest->setText(ofRectangle ? QStringLiteral("Asking for the surveys of the rectangle ...")
                                  : QStringLiteral("Asking for the surveys of a point ..."));
  ButtonTest->setEnabled(false);
  testJob_.Start([this, api, proxy, box, ofRectangle](const std::atomic<bool>& stop) {
    const download::SurveysAnswer answer = run::FetchSurveys(api, proxy, box, {}, &stop);
    std::string report;
    if (!answer.Ok()) {
      report = answer.Problem;
    } else if (!ofRectangle) {
      report = "The key works: the service answered for a point of Sydney (no rectangle is typed).";
    } else if (answer.Surveys.empty()) {
      report = "The key works; no survey covers the rectangle.";
    } else {
      report = "The key works: " + platform::FormatInteger(static_cast<int64_t>(answer.Surveys.size())) +
               " surveys cover the rectangle, the newest captured " + answer.Surveys.front().CaptureDate + ".";
    }
    return [this, report] {
      LabelTest->setText(FromLocal(report));
      ButtonTest->setEnabled(true);
    };
  });
}
