#include "gui/Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>

#include "core/platform/Numbers.h"
#include "core/platform/Shell.h"
#include "core/platform/Version.h"
#include "core/run/ConfigFile.h"
#include "core/run/OpenedTask.h"
#include "core/run/ProgressText.h"
#include "core/run/RunEnd.h"
#include "core/run/Start.h"
#include "core/run/TaskInTheWay.h"
#include "core/task/Commonfunc.h"
#include "qtkit/Desktop.h"
#include "qtkit/Question.h"
#include "gui/LogViewQt.h"
#include "gui/SurveysWindow.h"
#include "gui/Unit2.h"
#include "gui/Unitftl.h"
#include "gui/Unitoptions.h"
#include "gui/WidgetsUi.h"

namespace {

using qtkit::FromLocal;
using qtkit::ToLocal;

const QString kStartCaption = QStringLiteral("Start");
const QString kStopCaption = QStringLiteral("Stop");
const QString kTaskStoppedMessage = QStringLiteral("Task stoped!                    ");
// The status bar's own text, while no run has ended.
const QString kStatusText = QStringLiteral("Download photomap images from NearMap!");

// The status bar after a run: why it ended and what the task needs next, as
// orvenna-cli's summary says it (run::NextStepOf).
std::string RunEndText(const run::RunController& run) {
  // The positions just saved tell where the walk is; the failed list holds
  // the given-up tiles (a census of a big task would hold the window up).
  const bool walkEnded = run::WalkEnded(run.Task(), run.Settings().ThreadCount);
  const auto givenUp = static_cast<int64_t>(run.FailedLines().Lines().size());
  std::string text = "The run ended: " + run.EndReason() + ".";
  switch (run::NextStepOf(walkEnded, walkEnded ? givenUp : std::max<int64_t>(run.Counters().NotTried, 1))) {
    case run::NextStep::Nothing:
      return text + " The task has every tile.";
    case run::NextStep::Continue:
      return text + " Start continues the task.";
    case run::NextStep::Fill:
      return text + " Its given-up tiles: Tools > Re-Download failed images, or orvenna-cli fill.";
  }
  return text;
}
const QString kNoTaskMessage = QStringLiteral("No task running now.                  ");
const QString kNoLogFileMessage = QStringLiteral("No logfile now.                         ");
const QString kConverterCaption = QStringLiteral("Convert \"Degrees,Minutes,Seconds\"  to \"Degrees\"...");

// How long a closing program lets its workers finish the tile in hand and
// report it, and how long it then waits for their threads to end.
constexpr auto kShutdownGrace = std::chrono::milliseconds(3000);
constexpr auto kShutdownJoin = std::chrono::milliseconds(2000);

QString Separator() { return QString(QChar(platform::kPathSeparator)); }

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int width = -1) {
  auto* label = gui::Named(new QLabel(text, parent), name);
  label->adjustSize();
  label->move(x, y);
  if (width > 0) label->resize(width, label->height());
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int x, int y, int width) {
  auto* edit = gui::Named(new QLineEdit(parent), name);
  edit->setGeometry(x, y, width, 21);
  return edit;
}

}  // namespace

// ---------------------------------------------------------------- TUpDown

TUpDown::TUpDown(QWidget* parent) : QWidget(parent) {
  UpButton = new QToolButton(this);
  UpButton->setObjectName(QStringLiteral("UpButton"));
  UpButton->setArrowType(Qt::UpArrow);
  UpButton->setAutoRepeat(true);
  DownButton = new QToolButton(this);
  DownButton->setObjectName(QStringLiteral("DownButton"));
  DownButton->setArrowType(Qt::DownArrow);
  DownButton->setAutoRepeat(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(UpButton);
  layout->addWidget(DownButton);
  connect(UpButton, &QToolButton::clicked, this, [this] { StepUp(); });
  connect(DownButton, &QToolButton::clicked, this, [this] { StepDown(); });
}

void TUpDown::SetRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = std::max(minimum, maximum);
  SetPosition(position_);
}

void TUpDown::SetPosition(int position) {
  position_ = std::clamp(position, minimum_, maximum_);
  if (associate_ != nullptr) associate_->setText(QString::number(position_));
  emit PositionChanged(position_);
}

void TUpDown::SetAssociate(QLineEdit* edit) {
  if (associate_ != nullptr) associate_->removeEventFilter(this);
  associate_ = edit;
  if (associate_ != nullptr) associate_->installEventFilter(this);
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == associate_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up) {
      StepUp();
      return true;
    }
    if (key == Qt::Key_Down) {
      StepDown();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- TForm1

TForm1::TForm1(QString programFolder, download::Pacing pacing, download::HttpLimits limits, QWidget* parent)
    : QMainWindow(parent),
      programFolder_(std::move(programFolder)),
      pacing_(pacing),
      limits_(limits),
      caller_(),
      hardExit_([](int status) { std::_Exit(status); }) {
  if (!programFolder_.isEmpty() && !programFolder_.endsWith(Separator())) programFolder_ += Separator();
  setObjectName(QStringLiteral("Form1"));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  resize(596, 390);
  // Smaller, the path field and Start would go out of sight.
  setMinimumSize(596, 390);
  initialLog_.Reset({"[log window]"});
  initialFailed_.Reset({"[Failed tile inforamtion window]"});
  BuildControls();
  BuildMenu();

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, qtkit::Slot(this, &TForm1::Timer1Timer));
}

TForm1::~TForm1() {
  ShutDownRun();
  // The views outlive the lines they show (the widgets go with the base class).
  Memo1->SetLines(nullptr);
  Memo2->SetLines(nullptr);
}

QString TForm1::ConfigFileIn(const QString& programFolder) {
  return FromLocal(run::ConfigFile::PathFor(ToLocal(programFolder)));
}

void TForm1::SetWindows(QDialog* about, QDialog* convert, QDialog* options, QDialog* flt) {
  about_ = about;
  convert_ = convert;
  options_ = options;
  flt_ = flt;
  if (auto* dialog = qobject_cast<TfrmOptions*>(options)) {
    dialog->SetTestTile([this] { return CurrentRectangleTile(); });
    dialog->SetTestArea([this] { return TypedRectangle(); });
  }
}

void TForm1::ReloadSources() {
  const QString selected = radio_mapstype->currentText();
  catalogue_ = run::ImageryCatalogue(run::ConfigFile(ToLocal(ConfigFileIn(programFolder_))), run::CatalogueFor::Tasks);
  {
    const QSignalBlocker quiet(radio_mapstype);
    radio_mapstype->clear();
    for (const run::MapSource& item : catalogue_) radio_mapstype->addItem(FromLocal(item.Name));
    const int index = radio_mapstype->findText(selected);
    radio_mapstype->setCurrentIndex(index >= 0 ? index : 0);
  }
  ShowImagery();
}

task::Imagery TForm1::SelectedImagery() const {
  const int position = radio_mapstype->currentIndex();
  if (position < 0 || position >= static_cast<int>(catalogue_.size())) return task::BuiltInMap{0};
  task::Imagery imagery = catalogue_[static_cast<std::size_t>(position)].Imagery;
  if (auto* nearmap = std::get_if<task::NearmapImagery>(&imagery)) {
    *nearmap = nearmap_;
    // Another date than the survey was pinned for chooses anew.
    if (EditDate->text() != nearmapDate_) {
      nearmap->SurveyId.clear();
      nearmap->SurveyDate.clear();
    }
  }
  return imagery;
}

void TForm1::ShowImagery() {
  QString words = FromLocal(task::ImageryWords(SelectedImagery(), ToLocal(EditDate->text())));
  if (shape_) words += QStringLiteral("; only the tiles of a shape");
  LabelImagery->setText(words);
  const QString shapeTip =
      shape_ ? QStringLiteral("The task takes only the tiles that its shape touches within this rectangle; typing a "
                              "coordinate makes it a rectangle again.")
             : QString();
  for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4}) edit->setToolTip(shapeTip);
}

void TForm1::SetShape(std::shared_ptr<const task::Shape> shape) {
  shape_ = std::move(shape);
  ShowImagery();
}

run::AreaCheck TForm1::CurrentArea() const {
  return run::ReadArea(ToLocal(Edit1->text()), ToLocal(Edit3->text()), ToLocal(Edit2->text()), ToLocal(Edit4->text()));
}

std::optional<run::AreaCheck> TForm1::TypedRectangle() const {
  if (Edit1->text().isEmpty() && Edit3->text().isEmpty() && Edit2->text().isEmpty() && Edit4->text().isEmpty()) {
    return std::nullopt;
  }
  return CurrentArea();
}

TestTile TForm1::CurrentRectangleTile() const {
  const run::AreaCheck area = CurrentArea();
  if (!area.Area) return {};
  // The up-down's position: the zoom shown, within 1..21.
  const int32_t zoom = UpDown1->Position();
  const task::TilePosition middle = run::MiddleTile(*area.Area, zoom);
  return TestTile{middle.X, middle.Y, zoom};
}

void TForm1::BuildControls() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("ClientArea"));
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  PanelLeft = new QWidget(central);
  PanelLeft->setObjectName(QStringLiteral("PanelLeft"));
  PanelLeft->setFixedWidth(329);
  layout->addWidget(PanelLeft);
  BuildTaskFields();
  BuildAreaFields();
  BuildStartControls();
  BuildLogView(central);
  layout->addWidget(Memo1, 1);
  setCentralWidget(central);
  BuildStatusBar();
}

// The task's name and map type, at the top of the left panel.
void TForm1::BuildTaskFields() {
  LabelTaskName = MakeLabel(PanelLeft, "LabelTaskName", QStringLiteral("Task name:"), 8, 14);
  EditTaskName = MakeEdit(PanelLeft, "EditTaskName", 88, 10, 136);
  EditTaskName->setText(QStringLiteral("newtask.otsk"));
  Button4 = new QPushButton(QStringLiteral("Open task ..."), PanelLeft);
  Button4->setObjectName(QStringLiteral("Button4"));
  Button4->setGeometry(232, 9, 89, 23);
  connect(Button4, &QPushButton::clicked, this, qtkit::Slot(this, &TForm1::LoadParametersfromprojectfilel1Click));

  LabelMapsType = MakeLabel(PanelLeft, "LabelMapsType", QStringLiteral("Maps type: "), 8, 44);
  radio_mapstype = new QComboBox(PanelLeft);
  radio_mapstype->setObjectName(QStringLiteral("radio_mapstype"));
  radio_mapstype->setEditable(false);
  radio_mapstype->setGeometry(88, 40, 233, 21);
  LabelImagery = MakeLabel(PanelLeft, "LabelImagery", QString(), 88, 63, 233);
  QFont small = LabelImagery->font();
  small.setPointSize(7);
  LabelImagery->setFont(small);
  LabelImagery->setFixedHeight(13);
}

// The rectangle and the zoom level.
void TForm1::BuildAreaFields() {
  GroupBoxArea = new QGroupBox(PanelLeft);
  GroupBoxArea->setObjectName(QStringLiteral("GroupBoxArea"));
  GroupBoxArea->setGeometry(8, 78, 313, 112);
  // A grid rather than fixed positions: the labels keep their whole text
  // whatever font the desktop substitutes for Tahoma.
  LabelLeft = MakeLabel(GroupBoxArea, "LabelLeft", QStringLiteral("Left Longitude:"), 0, 0);
  Edit1 = MakeEdit(GroupBoxArea, "Edit1", 0, 0, 62);
  LabelRight = MakeLabel(GroupBoxArea, "LabelRight", QStringLiteral("Right Longitude:"), 0, 0);
  Edit3 = MakeEdit(GroupBoxArea, "Edit3", 0, 0, 62);
  LabelTop = MakeLabel(GroupBoxArea, "LabelTop", QStringLiteral("Top Latitude:"), 0, 0);
  Edit2 = MakeEdit(GroupBoxArea, "Edit2", 0, 0, 62);
  LabelBottom = MakeLabel(GroupBoxArea, "LabelBottom", QStringLiteral("Bottom Latitude:"), 0, 0);
  Edit4 = MakeEdit(GroupBoxArea, "Edit4", 0, 0, 62);
  LabelZoom = MakeLabel(GroupBoxArea, "LabelZoom", QStringLiteral("Zoom level:"), 0, 0);
  Edit5 = MakeEdit(GroupBoxArea, "Edit5", 0, 0, 40);
  Edit5->setFixedWidth(40);
  Edit5->setReadOnly(true);
  UpDown1 = new TUpDown(GroupBoxArea);
  UpDown1->setObjectName(QStringLiteral("UpDown1"));
  UpDown1->setFixedSize(16, 21);
  auto* zoomRow = new QHBoxLayout;
  zoomRow->setSpacing(0);
  zoomRow->addWidget(Edit5);
  zoomRow->addWidget(UpDown1);
  zoomRow->addStretch();
  auto* areaGrid = new QGridLayout(GroupBoxArea);
  areaGrid->setContentsMargins(6, 8, 6, 6);
  areaGrid->setHorizontalSpacing(4);
  areaGrid->addWidget(LabelLeft, 0, 0);
  areaGrid->addWidget(Edit1, 0, 1);
  areaGrid->addWidget(LabelRight, 0, 2);
  areaGrid->addWidget(Edit3, 0, 3);
  areaGrid->addWidget(LabelTop, 1, 0);
  areaGrid->addWidget(Edit2, 1, 1);
  areaGrid->addWidget(LabelBottom, 1, 2);
  areaGrid->addWidget(Edit4, 1, 3);
  areaGrid->addWidget(LabelZoom, 2, 0);
  areaGrid->addLayout(zoomRow, 2, 1, 1, 3);
  UpDown1->SetAssociate(Edit5);
  UpDown1->SetRange(1, 21);
  UpDown1->SetPosition(13);
}

// The save folder, Start, and the controls that are never shown.
void TForm1::BuildStartControls() {
  LabelPath = MakeLabel(PanelLeft, "LabelPath", QStringLiteral("Path to save:"), 8, 202);
  Edit6 = MakeEdit(PanelLeft, "Edit6", 88, 198, 202);
  Button1 = new QPushButton(QStringLiteral("..."), PanelLeft);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setToolTip(QStringLiteral("Click to select path"));
  Button1->setGeometry(294, 197, 27, 23);
  connect(Button1, &QPushButton::clicked, this, qtkit::Slot(this, &TForm1::Button1Click));

  LabelTotalxy = MakeLabel(PanelLeft, "LabelTotalxy", QString(), 8, 228, 313);

  BitBtn1 = new QPushButton(kStartCaption, PanelLeft);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  QFont buttonFont(QStringLiteral("Tahoma"), 10);
  buttonFont.setBold(true);
  BitBtn1->setFont(buttonFont);
  BitBtn1->setDefault(true);
  BitBtn1->setGeometry(104, 252, 121, 33);
  connect(BitBtn1, &QPushButton::clicked, this, qtkit::Slot(this, &TForm1::BitBtn1Click));

  // Out of sight and out of reach: filled only by "Open task ...".
  GroupBoxDate = new QGroupBox(PanelLeft);
  GroupBoxDate->setObjectName(QStringLiteral("GroupBoxDate"));
  GroupBoxDate->setGeometry(8, 1000, 313, 70);
  LabelDate = MakeLabel(GroupBoxDate, "LabelDate",
                        QStringLiteral("PhotoMap Images Date:(Leave blank for latest ) "), 8, 16);
  LabelDateFormat = MakeLabel(GroupBoxDate, "LabelDateFormat", QStringLiteral("(Date Format: yyyymmdd)"), 8, 44);
  EditDate = MakeEdit(GroupBoxDate, "EditDate", 230, 12, 70);
  EditDate->setMaxLength(static_cast<int>(run::kHistoryDateLength));
  GroupBoxDate->hide();
  ReloadSources();
  connect(radio_mapstype, &QComboBox::currentIndexChanged, this, [this] { ShowImagery(); });
  connect(EditDate, &QLineEdit::textChanged, this, [this] { ShowImagery(); });
  // A coordinate typed makes the area the rectangle it says.
  for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4}) {
    connect(edit, &QLineEdit::textEdited, this, [this] {
      if (shape_) SetShape(nullptr);
    });
  }

  PanelFailed = new QWidget(PanelLeft);
  PanelFailed->setObjectName(QStringLiteral("PanelFailed"));
  PanelFailed->setGeometry(8, 1100, 313, 100);
  // The failed-tile records: never shown, the copy that is saved.
  Memo2 = new TLogView(PanelFailed);
  Memo2->setObjectName(QStringLiteral("Memo2"));
  Memo2->SetLines(&initialFailed_.Lines());
  PanelFailed->hide();
}

// The log beside the left panel.
void TForm1::BuildLogView(QWidget* parent) {
  Memo1 = new TLogView(parent);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setFont(QFont(QStringLiteral("Tahoma"), 10));
  QPalette memoPalette = Memo1->palette();
  memoPalette.setColor(QPalette::Text, QColor(0x00, 0x80, 0x00));
  memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::ToolTipBase));
  Memo1->setPalette(memoPalette);
  Memo1->setToolTip(QStringLiteral("Double click to view log in notepad"));
  Memo1->SetLines(&initialLog_.Lines());
  Memo1->viewport()->installEventFilter(this);
}

void TForm1::BuildStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1Text = new QLabel(kStatusText, StatusBar1);
  StatusBar1Text->setObjectName(QStringLiteral("StatusBar1Text"));
  StatusBar1->addWidget(StatusBar1Text, 1);
  RunProgressText = new QLabel(StatusBar1);
  RunProgressText->setObjectName(QStringLiteral("RunProgressText"));
  StatusBar1->addPermanentWidget(RunProgressText);
  RunProgressText->hide();
  RunProgress = new QProgressBar(StatusBar1);
  RunProgress->setObjectName(QStringLiteral("RunProgress"));
  RunProgress->setMaximumWidth(160);
  RunProgress->setTextVisible(true);
  StatusBar1->addPermanentWidget(RunProgress);
  RunProgress->hide();
  setStatusBar(StatusBar1);
}

void TForm1::BuildMenu() {
  auto addItem = [this](QMenu* menu, const char* name, const QString& caption, void (TForm1::*handler)()) {
    QAction* action = gui::Named(menu->addAction(caption), name);
    connect(action, &QAction::triggered, this, qtkit::Slot(this, handler));
    return action;
  };
  auto addMenu = [this](const char* name, const QString& title) {
    return gui::Named(menuBar()->addMenu(title), name);
  };
  menuBar()->setObjectName(QStringLiteral("MainMenu1"));

  File1 = addMenu("File1", QStringLiteral("&File"));
  Exit1 = addItem(File1, "Exit1", QStringLiteral("E&xit"), &TForm1::Exit1Click);

  Options1 = addMenu("Options1", QStringLiteral("&Options"));
  Options2 = addItem(Options1, "Options2", QStringLiteral("Options..."), &TForm1::Options2Click);

  Misc1 = addMenu("Misc1", QStringLiteral("&Misc"));
  ConvertLongitudeorLatitudetodegreen1 = addItem(Misc1, "ConvertLongitudeorLatitudetodegreen1", kConverterCaption,
                                                 &TForm1::ConvertLongitudeorLatitudetodegreen1Click);
  Misc1->addSeparator();
  Viewlogfile1 = addItem(Misc1, "Viewlogfile1", QStringLiteral("View log file"), &TForm1::Viewlogfile1Click);

  Tools1 = addMenu("Tools1", QStringLiteral("&Tools"));
  MapViewer1 = addItem(Tools1, "MapViewer1", QStringLiteral("Map Viewer"), &TForm1::MapViewer1Click);
  Tools1->addSeparator();
  CombineImages1 = addItem(Tools1, "CombineImages1", QStringLiteral("Map Combiner"), &TForm1::CombineImages1Click);
  Tools1->addSeparator();
  ReDownloadfailedfiles1 = addItem(Tools1, "ReDownloadfailedfiles1", QStringLiteral("Re-Download failed images"),
                                   &TForm1::ReDownloadfailedfiles1Click);
  Tools1->addSeparator();
  Surveys1 = addItem(Tools1, "Surveys1", QStringLiteral("Surveys..."), &TForm1::Surveys1Click);
  ChooseAreaonmap1 = addItem(Tools1, "ChooseAreaonmap1", QStringLiteral("Choose area on map..."),
                             &TForm1::ChooseAreaonmap1Click);

  Help1 = addMenu("Help1", QStringLiteral("&Help"));
  Usermanual1 = addItem(Help1, "Usermanual1", QStringLiteral("User manual"), &TForm1::Usermanual1Click);
  Homepage1 = addItem(Help1, "Homepage1", QStringLiteral("Homepage"), &TForm1::Homepage1Click);
  Help1->addSeparator();
  About1 = addItem(Help1, "About1", QStringLiteral("About..."), &TForm1::About1Click);
}

// ---------------------------------------------------------------- events

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  qtkit::CentreOnScreen(*this);
  FormShow();
}

void TForm1::closeEvent(QCloseEvent* event) {
  ShutDownRun();
  event->accept();
  // The other windows must not keep the program alive.
  QCoreApplication::quit();
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  // Enter in any control that does not use it presses the default button.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    BitBtn1->click();
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Memo1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    Viewlogfile1Click();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- start-up

void TForm1::FormShow() {
  ConfigPath = ConfigFileIn(programFolder_);
  HelpPath = programFolder_ + QStringLiteral("help") + Separator() + QStringLiteral("help.html");
  HomepageAddress = QString::fromLatin1(platform::Homepage());
  MailAddress = QStringLiteral("mailto:") + QString::fromLatin1(platform::ContactAddress());

  const run::MainWindowSettings stored = run::ConfigFile(ToLocal(ConfigPath)).ReadMainWindow();
  DefaultPath = FromLocal(stored.DefaultPath);
  DefaultOutputName = FromLocal(stored.DefaultOutputName);
  DefaultThreadCount = stored.DefaultThreadCount;
  Version = FromLocal(stored.Version);

  setWindowTitle(QStringLiteral("Orvenna ") + Version);
  Edit6->setText(DefaultPath);
  ReloadSources();
  const run::NearmapApiSettings api = run::ConfigFile(ToLocal(ConfigPath)).ReadNearmapApi();
  settingsDirection_ = api.Direction;
  nearmap_.Direction = settingsDirection_;
  // The service's imagery first, for an account that has a key.
  if (!api.Secret.empty()) radio_mapstype->setCurrentIndex(run::CatalogueIndexOf(catalogue_, nearmap_));
  ShowImagery();
}

// ---------------------------------------------------------------- Start / Stop

void TForm1::BitBtn1Click() {
  if (BitBtn1->text() == kStartCaption) {
    Start();
  } else {
    Stop();
  }
}

run::TaskControls TForm1::ReadControls() const {
  run::TaskControls controls;
  controls.TaskName = ToLocal(EditTaskName->text());
  controls.MapsTypePosition = radio_mapstype->currentIndex();
  controls.LeftLongitude = ToLocal(Edit1->text());
  controls.RightLongitude = ToLocal(Edit3->text());
  controls.TopLatitude = ToLocal(Edit2->text());
  controls.BottomLatitude = ToLocal(Edit4->text());
  controls.Zoom = ToLocal(Edit5->text());
  controls.SavePath = ToLocal(Edit6->text());
  controls.HistoryDate = ToLocal(EditDate->text());
  controls.Imagery = SelectedImagery();
  controls.Shape = shape_;
  // What ReadSourceSettings reads the secrets for.
  if (const auto* source = std::get_if<task::TileSource>(&*controls.Imagery)) controls.Source = *source;
  if (const auto* nearmap = std::get_if<task::NearmapImagery>(&*controls.Imagery)) controls.Nearmap = *nearmap;
  return controls;
}

void TForm1::Start() {
  if (shutDown_) return;
  const run::ControlsCheck check = run::CheckStart(
      ReadControls(), run::ConfigFile(ToLocal(ConfigPath)), {}, true,
      [this](const run::NearmapApiSettings& api, const run::ProxySettings& proxy, const task::LonLatBox& box) {
        return FetchSurveysWaiting(api, proxy, box);
      });
  if (shutDown_) return;
  if (!check.Parameters) {
    qtkit::ShowMessage(FromLocal(check.Message), FromLocal(check.SystemReason));
    return;
  }
  const task::TaskParameters& record = *check.Parameters;
  task::RunSettings settings = check.Run;
  // Another task's file is replaced, its positions and lists lost, only when
  // the user says so; the same task typed in other texts goes on.
  const run::TaskInTheWay inTheWay = run::TaskInTheWayOf(record, settings, ToLocal(programFolder_));
  if (inTheWay.What == run::TaskInTheWay::Kind::SameTask) settings.ContinueTask = true;
  if (inTheWay.What == run::TaskInTheWay::Kind::Another && !qtkit::AskYesNo(FromLocal(inTheWay.Question))) return;
  // The survey a date chose stays pinned for the next Start.
  if (record.Nearmap) {
    nearmap_ = *record.Nearmap;
    nearmapDate_ = FromLocal(record.HistoryDate);
  }
  run::RunEnvironment environment;
  environment.Queue = &caller_;
  environment.ProgramFolder = ToLocal(programFolder_);
  environment.Pace = pacing_;
  environment.Limits = limits_;
  // The settings' cap on the tiles a run takes from a paid source.
  if (record.Source) environment.MaxTiles = run::ConfigFile(ToLocal(ConfigPath)).ReadMaxTilesPerRun();
  environment.Run = std::move(settings);
  run::BegunRun begun = run::BeginRun(record, std::move(environment), static_cast<run::RunObserver&>(*this));
  // The first box tells what failed (its text as ever), with the system's
  // reason under it when a call of the system failed.
  for (std::size_t i = 0; i < begun.Messages.size(); ++i) {
    qtkit::ShowMessage(FromLocal(begun.Messages[i]), i == 0 ? FromLocal(begun.SystemReason) : QString());
  }
  if (!begun.Run) return;
  std::unique_ptr<run::RunController> next = std::move(begun.Run);
  // The new task is the current one from here on, even when its files cannot
  // be prepared; the windows keep their lines until it has loaded its own.
  if (run_ && run_.get() == shownRun_) previousRun_ = std::move(run_);
  run_ = std::move(next);
  loadedTaskFile_ = FromLocal(run_->Task().TaskFileName());
  // A file error leaves for the general error handler, before any worker runs
  // and with the button still reading "Start".
  run_->Prepare();
  ShowLinesOf(run_.get());
  previousRun_.reset();

  LabelTotalxy->setText(QStringLiteral("Total images: ") + QString::number(run_->Task().TotalImages));
  StatusBar1Text->setText(kStatusText);
  StatusBar1Text->setToolTip(QString());
  BitBtn1->setText(kStopCaption);
  runStarted_ = std::chrono::steady_clock::now();
  run_->StartWorkers();
  Timer1->start();
  ShowProgress();
}

void TForm1::Stop() {
  if (run_) run_->Stop();
}

download::SurveysAnswer TForm1::FetchSurveysWaiting(const run::NearmapApiSettings& api,
                                                    const run::ProxySettings& proxy, const task::LonLatBox& box) {
  download::SurveysAnswer answer;
  answer.Problem = "Stopped.";
  setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  surveysJob_.RunAndWait([&answer, api, proxy, box, limits = limits_](const std::atomic<bool>& stop) {
    download::SurveysAnswer fetched = run::FetchSurveys(api, proxy, box, limits, &stop);
    return [&answer, fetched = std::move(fetched)] { answer = fetched; };
  });
  QApplication::restoreOverrideCursor();
  setEnabled(true);
  return answer;
}

void TForm1::ShowLinesOf(run::RunController* run) {
  shownRun_ = run;
  Memo1->SetLines(&LogLines().Lines());
  Memo2->SetLines(&FailedLines().Lines());
}

// ---------------------------------------------------------------- what the run reports

void TForm1::LogLinesAdded(std::size_t count) { Memo1->LinesAppended(count); }

void TForm1::FailedLinesAdded(std::size_t count) { Memo2->LinesAppended(count); }

// ---------------------------------------------------------------- the timer

void TForm1::Timer1Timer() {
  // A tick that comes while an error box of an earlier tick is open is
  // skipped, so a lasting write failure does not pile up boxes.
  if (inTimer_ || !run_) return;
  inTimer_ = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{inTimer_};

  std::optional<run::CloseReport> closed;
  try {
    closed = run_->Tick();
  } catch (const std::exception& error) {
    // The periodic save failed; the next fifth tick tries again.
    qtkit::ShowFailure(error);
    return;
  }
  if (closed) {
    RunClosed(*closed);
  } else {
    ShowProgress();
  }
}

void TForm1::RunClosed(const run::CloseReport& report) {
  Timer1->stop();
  RunProgress->hide();
  RunProgressText->hide();
  BitBtn1->setText(kStartCaption);
  if (!report.FirstFailure.empty()) qtkit::ShowErrorMessage(FromLocal(report.FirstFailure), FromLocal(report.Reason));
  // The whole text also as the tooltip: a narrow window cuts the label.
  StatusBar1Text->setText(FromLocal(RunEndText(*run_)));
  StatusBar1Text->setToolTip(StatusBar1Text->text());
  qtkit::ShowMessage(kTaskStoppedMessage);
}

void TForm1::ShowProgress() {
  const run::RunCounters counters = run_->Counters();
  // A progress bar counts in int: scale a task larger than that.
  const int64_t scale = counters.Total / std::numeric_limits<int>::max() + 1;
  RunProgress->setRange(0, static_cast<int>(std::max<int64_t>(counters.Total, 1) / scale));
  RunProgress->setValue(static_cast<int>(counters.Done() / scale));
  RunProgress->setFormat(QStringLiteral("%1 / %2").arg(counters.Done()).arg(counters.Total));
  RunProgress->setToolTip(QStringLiteral("Saved: %1\nBlank substitutes: %2\nGiven up: %3\nIn flight: %4\nNot tried: %5")
                              .arg(counters.Saved)
                              .arg(counters.Blank)
                              .arg(counters.GivenUp)
                              .arg(counters.InFlight)
                              .arg(counters.NotTried));
  RunProgress->show();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - runStarted_).count();
  RunProgressText->setText(FromLocal(run::ProgressText(counters, elapsed)));
  RunProgressText->show();
}

// ---------------------------------------------------------------- shutdown

void TForm1::ShutDownRun() {
  if (shutDown_) return;
  shutDown_ = true;
  Timer1->stop();
  if (!run_ || !run_->Running()) {
    caller_.Close();
    return;
  }
  const std::string failure = run_->ShutDown(kShutdownGrace);
  if (!failure.empty()) qtkit::ShowErrorMessage(FromLocal(failure));
  // Never wait for good on a request that hangs: the files are saved.
  if (!run_->JoinWorkers(kShutdownJoin)) hardExit_(kExitWorkersAbandoned);
}

void TForm1::Exit1Click() { close(); }

// ---------------------------------------------------------------- other commands

void TForm1::Button1Click() {
  const std::optional<QString> folder = qtkit::Chooser().BrowseFolder(this, QStringLiteral("Select path to save"));
  if (folder) Edit6->setText(QDir::toNativeSeparators(*folder));
}

void TForm1::LoadParametersfromprojectfilel1Click() {
  const std::optional<QString> chosen =
      qtkit::Chooser().OpenFile(this, QStringLiteral("Open project file:"), QStringLiteral("Projects(*.otsk)"),
                              DefaultPath, QString());
  if (chosen) LoadTaskFile(*chosen);
}

void TForm1::LoadTaskFile(const QString& path) {
  const run::TaskControls stored = run::ControlsFromTaskFile(ToLocal(QDir::toNativeSeparators(path)));
  // A task of a source that cannot be used is refused before any field changes.
  if (const std::string problem = run::StoredImageryProblem(stored); !problem.empty()) {
    qtkit::ShowMessage(FromLocal(problem));
    return;
  }
  if (stored.Source) RestoreSource(*stored.Source);
  SetShape(stored.Shape);
  Edit1->setText(FromLocal(stored.LeftLongitude));
  Edit3->setText(FromLocal(stored.RightLongitude));
  Edit2->setText(FromLocal(stored.TopLatitude));
  Edit4->setText(FromLocal(stored.BottomLatitude));
  Edit6->setText(FromLocal(stored.SavePath));
  EditTaskName->setText(FromLocal(stored.TaskName));
  EditDate->setText(FromLocal(stored.HistoryDate));
  // A code none of the three leaves the selection as it was.
  if (stored.MapsTypePosition >= 0) radio_mapstype->setCurrentIndex(stored.MapsTypePosition);
  if (stored.Nearmap) {
    nearmap_ = *stored.Nearmap;
    nearmapDate_ = EditDate->text();
    radio_mapstype->setCurrentIndex(run::CatalogueIndexOf(catalogue_, nearmap_));
  }
  ShowImagery();
  // The arrows stay within 1..21; the edit shows the stored number, so a
  // file without a zoom shows 0 and Start refuses it.
  UpDown1->SetPosition(platform::ParseInteger(stored.Zoom).value_or(0));
  Edit5->setText(FromLocal(stored.Zoom));
  loadedTaskFile_ = QDir::toNativeSeparators(path);
}

void TForm1::Viewlogfile1Click() {
  if (!run_) {
    qtkit::ShowMessage(kNoTaskMessage);
    return;
  }
  const std::string& logFile = run_->Task().LogFileName;
  if (platform::FileExists(logFile)) {
    qtkit::OpenOnDesktop(QUrl::fromLocalFile(FromLocal(logFile)));
    return;
  }
  qtkit::ShowMessage(kNoLogFileMessage);
}

void TForm1::LaunchSibling(const char* program, const QString& title, const QStringList& arguments) {
  qtkit::StartSibling(FromLocal(platform::ProgramsFolderFor(ToLocal(programFolder_))) + QString::fromLatin1(program),
                    title, arguments);
}

void TForm1::MapViewer1Click() {
  // The viewer opens the window's task, once its file is there.
  QStringList arguments;
  if (!loadedTaskFile_.isEmpty() && platform::FileExists(ToLocal(loadedTaskFile_))) {
    arguments.append(QDir::toNativeSeparators(QFileInfo(loadedTaskFile_).absoluteFilePath()));
  }
  LaunchSibling(platform::kMapViewerProgram, QStringLiteral("The map viewer"), arguments);
}

void TForm1::CombineImages1Click() {
  LaunchSibling(platform::kMapCombinerProgram, QStringLiteral("The map combiner"));
}

void TForm1::Usermanual1Click() { qtkit::OpenOnDesktop(QUrl::fromLocalFile(HelpPath)); }

void TForm1::Homepage1Click() { qtkit::OpenOnDesktop(QUrl(HomepageAddress)); }

void TForm1::Options2Click() {
  if (options_ == nullptr) return;
  options_->exec();
  ReloadSources();
  // A direction chosen in the settings is the next task's.
  const std::string direction = run::ConfigFile(ToLocal(ConfigPath)).ReadNearmapApi().Direction;
  if (direction != settingsDirection_) nearmap_.Direction = settingsDirection_ = direction;
  ShowImagery();
}

void TForm1::Surveys1Click() {
  const run::AreaCheck area = CurrentArea();
  if (!area.Area) {
    qtkit::ShowMessage(FromLocal(area.Message));
    return;
  }
  // The task's own survey is preselected.
  const task::Imagery imagery = SelectedImagery();
  const auto* pinned = std::get_if<task::NearmapImagery>(&imagery);
  TfrmSurveys surveys(ConfigPath, *area.Area, limits_, this, pinned != nullptr ? pinned->SurveyId : std::string());
  if (surveys.exec() == QDialog::Accepted) PinSurvey(surveys.Chosen());
}

void TForm1::PinSurvey(const std::optional<task::Survey>& survey) {
  nearmap_.SurveyId = survey ? survey->Id : std::string();
  nearmap_.SurveyDate = survey ? survey->CaptureDate : std::string();
  EditDate->setText(survey ? FromLocal(task::CompactDate(survey->CaptureDate)) : QString());
  nearmapDate_ = EditDate->text();
  radio_mapstype->setCurrentIndex(run::CatalogueIndexOf(catalogue_, nearmap_));
  ShowImagery();
}

void TForm1::RestoreSource(const task::TileSource& source) {
  // The task's own definition, as it was made with it (a source of that name
  // keeps its secret); from another machine, the source arrives with it.
  run::ConfigFile(ToLocal(ConfigPath)).KeepSource(source);
  ReloadSources();
  radio_mapstype->setCurrentIndex(radio_mapstype->findText(FromLocal(source.Name)));
}

void TForm1::ConvertLongitudeorLatitudetodegreen1Click() {
  if (convert_ == nullptr) return;
  convert_->show();
  convert_->raise();
  convert_->activateWindow();
}

void TForm1::ReDownloadfailedfiles1Click() {
  if (flt_ != nullptr) flt_->exec();
}

std::optional<area::Area> TForm1::TypedArea() const {
  const run::AreaCheck area = CurrentArea();
  if (!area.Area) return std::nullopt;
  return area::Area{area.Area->West, area.Area->South, area.Area->East, area.Area->North};
}

void TForm1::ChooseAreaonmap1Click() {
  if (areaWindow_ == nullptr) {
    areaWindow_ = new mapkit::AreaWindow({ToLocal(programFolder_), QStringLiteral("Use this area"), nullptr, limits_}, this);
    areaWindow_->Accepted = [this](const mapkit::AreaChoice& choice) { UseArea(choice); };
  }
  mapkit::AreaStart start;
  start.Box = TypedArea();
  start.Zoom = UpDown1->Position();
  start.Imagery = SelectedImagery();
  start.Shape = shape_;
  if (!loadedTaskFile_.isEmpty()) start.TaskFiles.push_back(ToLocal(loadedTaskFile_));
  areaWindow_->Open(start);
}

void TForm1::UseArea(const mapkit::AreaChoice& choice) {
  Edit1->setText(FromLocal(area::CoordinateText(choice.Box.West)));
  Edit3->setText(FromLocal(area::CoordinateText(choice.Box.East)));
  Edit2->setText(FromLocal(area::CoordinateText(choice.Box.North)));
  Edit4->setText(FromLocal(area::CoordinateText(choice.Box.South)));
  SetShape(choice.Shape);
  UpDown1->SetPosition(choice.Zoom);
  areaWindow_->close();
  activateWindow();
}

void TForm1::OpenFile(const QString& path) {
  if (path.endsWith(QStringLiteral(".ftl"), Qt::CaseInsensitive)) {
    auto* flt = qobject_cast<TfrmFlt*>(flt_);
    if (flt == nullptr) return;
    // The run starts once the window shows, as a list chosen in it would.
    QTimer::singleShot(0, flt, [flt, path] { qtkit::RunHandler([flt, &path] { flt->RunList(path); }); });
    flt->exec();
    return;
  }
  if (!path.endsWith(QStringLiteral(".otsk"), Qt::CaseInsensitive)) {
    qtkit::ShowErrorMessage(QStringLiteral("%1 is neither a task file (.otsk) nor a failed-tile list (.ftl)").arg(path));
    return;
  }
  // Open task fills empty fields from a name typed for a missing file; a
  // file asked for by name must be there.
  if (!platform::FileExists(ToLocal(path))) platform::ThrowCannotOpen(ToLocal(path));
  LoadTaskFile(path);
}

void TForm1::About1Click() {
  if (about_ != nullptr) about_->exec();
}
