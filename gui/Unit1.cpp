#include "gui/Unit1.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

#include "gui/LogViewQt.h"
#include "gui/Unit2.h"
#include "gui/WidgetsUi.h"
#include "core/platform/Locale.h"
#include "core/platform/Numbers.h"
#include "core/platform/Shell.h"
#include "core/settings/IniFile.h"

namespace {

using gui::FromLocal;
using gui::ToLocal;

const QString kStartCaption = QStringLiteral("Start");
const QString kStopCaption = QStringLiteral("Stop");
const QString kTaskStoppedMessage = QStringLiteral("Task stoped!                    ");
const QString kNoTaskMessage = QStringLiteral("No task running now.                  ");
const QString kNoLogFileMessage = QStringLiteral("No logfile now.                         ");
const QString kCreateTaskFailure = QStringLiteral("Error: Create task failure.");
const QString kConverterCaption = QStringLiteral("Convert \"Degrees,Minutes,Seconds\"  to \"Degrees\"...");

constexpr const char* kIniParas = "IniParas";
constexpr const char* kThreadsSection = "THREADS";

// How long a closing program lets its workers finish the tile in hand and
// report it, and how long it then waits for their threads to end.
constexpr auto kShutdownGrace = std::chrono::milliseconds(3000);
constexpr auto kShutdownJoin = std::chrono::milliseconds(2000);

QString Separator() { return QString(QChar(platform::kPathSeparator)); }

// The built-in default save folder of the main window.
// Runs every step even when an earlier one fails and keeps the text of the
// first failure, so closing a run reports one error and still finishes.
class FirstFailure {
 public:
  void Try(const std::function<void()>& step) {
    try {
      step();
    } catch (const std::exception& error) {
      if (text_.empty()) text_ = error.what();
    }
  }
  void ShowIfAny() const {
    if (!text_.empty()) gui::ShowErrorMessage(gui::FromLocal(text_));
  }

 private:
  std::string text_;
};

QString DefaultSavePath() { return FromLocal(platform::BuiltInFolder("brenholt")); }

std::string ThreadKey(int threadNumber, const char* axis) {
  return "T" + platform::FormatInteger(threadNumber) + axis;
}

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
      hardExit_([] { std::_Exit(0); }),
      caller_(this) {
  if (!programFolder_.isEmpty() && !programFolder_.endsWith(Separator())) programFolder_ += Separator();
  setObjectName(QStringLiteral("Form1"));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  resize(596, 390);
  logLines_.Reset({"[log window]"});
  failedLines_.Reset({"[Failed tile inforamtion window]"});
  BuildControls();
  BuildMenu();

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

TForm1::~TForm1() {
  ShutDownRun();
  // The views outlive the lines they show (the widgets go with the base class).
  Memo1->SetLines(nullptr);
  Memo2->SetLines(nullptr);
}

QString TForm1::ConfigFileIn(const QString& programFolder) {
  QString folder = programFolder;
  if (!folder.isEmpty() && !folder.endsWith(Separator())) folder += Separator();
  return folder + QStringLiteral("ini") + Separator() + QStringLiteral("config.ini");
}

void TForm1::SetWindows(QDialog* about, QDialog* convert, QDialog* options, QDialog* flt) {
  about_ = about;
  convert_ = convert;
  options_ = options;
  flt_ = flt;
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

  LabelTaskName = MakeLabel(PanelLeft, "LabelTaskName", QStringLiteral("Task name:"), 8, 14);
  EditTaskName = MakeEdit(PanelLeft, "EditTaskName", 88, 10, 136);
  EditTaskName->setText(QStringLiteral("newtask.otsk"));
  Button4 = new QPushButton(QStringLiteral("Open task ..."), PanelLeft);
  Button4->setObjectName(QStringLiteral("Button4"));
  Button4->setGeometry(232, 9, 89, 23);
  connect(Button4, &QPushButton::clicked, this, [this] { LoadParametersfromprojectfilel1Click(); });

  LabelMapsType = MakeLabel(PanelLeft, "LabelMapsType", QStringLiteral("Maps type: "), 8, 44);
  radio_mapstype = new QComboBox(PanelLeft);
  radio_mapstype->setObjectName(QStringLiteral("radio_mapstype"));
  radio_mapstype->setEditable(false);
  radio_mapstype->addItems({QStringLiteral("Nearmap PhotoMap"), QStringLiteral("Nearmap StreetMap"),
                            QStringLiteral("Nearmap Terrain")});
  radio_mapstype->setCurrentIndex(0);
  radio_mapstype->setGeometry(88, 40, 233, 21);

  GroupBoxArea = new QGroupBox(PanelLeft);
  GroupBoxArea->setObjectName(QStringLiteral("GroupBoxArea"));
  GroupBoxArea->setGeometry(8, 70, 313, 112);
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

  LabelPath = MakeLabel(PanelLeft, "LabelPath", QStringLiteral("Path to save:"), 8, 196);
  Edit6 = MakeEdit(PanelLeft, "Edit6", 88, 192, 202);
  Button1 = new QPushButton(QStringLiteral("..."), PanelLeft);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setToolTip(QStringLiteral("Click to select path"));
  Button1->setGeometry(294, 191, 27, 23);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

  LabelTotalxy = MakeLabel(PanelLeft, "LabelTotalxy", QString(), 8, 226, 313);

  BitBtn1 = new QPushButton(kStartCaption, PanelLeft);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  QFont buttonFont(QStringLiteral("Tahoma"), 10);
  buttonFont.setBold(true);
  BitBtn1->setFont(buttonFont);
  BitBtn1->setDefault(true);
  BitBtn1->setGeometry(104, 250, 121, 33);
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

  // Out of sight and out of reach: filled only by "Open task ...".
  GroupBoxDate = new QGroupBox(PanelLeft);
  GroupBoxDate->setObjectName(QStringLiteral("GroupBoxDate"));
  GroupBoxDate->setGeometry(8, 1000, 313, 70);
  LabelDate = MakeLabel(GroupBoxDate, "LabelDate",
                        QStringLiteral("PhotoMap Images Date:(Leave blank for latest ) "), 8, 16);
  LabelDateFormat = MakeLabel(GroupBoxDate, "LabelDateFormat", QStringLiteral("(Date Format: yyyymmdd)"), 8, 44);
  EditDate = MakeEdit(GroupBoxDate, "EditDate", 230, 12, 70);
  EditDate->setMaxLength(8);
  GroupBoxDate->hide();

  PanelFailed = new QWidget(PanelLeft);
  PanelFailed->setObjectName(QStringLiteral("PanelFailed"));
  PanelFailed->setGeometry(8, 1100, 313, 100);
  // The failed-tile records: never shown, the copy that is saved.
  Memo2 = new TLogView(PanelFailed);
  Memo2->setObjectName(QStringLiteral("Memo2"));
  Memo2->SetLines(&failedLines_.Lines());
  PanelFailed->hide();

  Memo1 = new TLogView(central);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setFont(QFont(QStringLiteral("Tahoma"), 10));
  QPalette memoPalette = Memo1->palette();
  memoPalette.setColor(QPalette::Text, QColor(0x00, 0x80, 0x00));
  memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::ToolTipBase));
  Memo1->setPalette(memoPalette);
  Memo1->setToolTip(QStringLiteral("Double click to view log in notepad"));
  Memo1->SetLines(&logLines_.Lines());
  Memo1->viewport()->installEventFilter(this);
  layout->addWidget(Memo1, 1);

  setCentralWidget(central);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1Text = new QLabel(QStringLiteral("Download photomap images from NearMap!"), StatusBar1);
  StatusBar1Text->setObjectName(QStringLiteral("StatusBar1Text"));
  StatusBar1->addWidget(StatusBar1Text, 1);
  setStatusBar(StatusBar1);
}

void TForm1::BuildMenu() {
  auto addItem = [this](QMenu* menu, const char* name, const QString& caption, void (TForm1::*handler)()) {
    QAction* action = gui::Named(menu->addAction(caption), name);
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
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
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
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
  HomepageAddress = QString::fromLatin1(kHomepageAddress);
  MailAddress = QString::fromLatin1(kMailAddress);

  const settings::IniFile ini(ToLocal(ConfigPath), platform::FileAccess::OwnerOnly);
  DefaultPath = FromLocal(ini.ReadString(kIniParas, "DefaultPath", ToLocal(DefaultSavePath())));
  DefaultOutputName = FromLocal(ini.ReadString(kIniParas, "DefaultOutputName", "bigmap.bmp"));
  DefaultThreadCount = ini.ReadInteger(kIniParas, "DefaultThreadCount", 1);
  Version = FromLocal(ini.ReadString(kIniParas, "Version", "6.31"));

  setWindowTitle(QStringLiteral("Orvenna ") + Version);
  Edit6->setText(DefaultPath);
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
  return controls;
}

void TForm1::Start() {
  if (shutDown_) return;
  const run::ProxySettings proxy = run::ReadProxySettings(ToLocal(ConfigPath));
  const run::TaskControls controls = ReadControls();
  const run::ControlsCheck check = run::ReadTaskControls(controls, proxy);
  if (!check.Parameters) {
    gui::ShowMessage(FromLocal(check.Message));
    return;
  }
  RunningThreads = 0;

  auto record = std::make_shared<task::TaskParameters>(*check.Parameters);
  record->ContinueTask = run::ShouldContinueTask(controls, *record);
  CurrentParameters = record;

  std::unique_ptr<task::MDTask> newTask;
  try {
    newTask = std::make_unique<task::MDTask>(record.get());
  } catch (const task::TaskCreateError& error) {
    if (*error.what() != '\0') gui::ShowMessage(FromLocal(error.what()));
    gui::ShowMessage(kCreateTaskFailure);
    return;
  } catch (const std::exception&) {
    gui::ShowMessage(kCreateTaskFailure);
    return;
  }
  CurrentTask = std::move(newTask);
  currentTaskRecord_ = record;
  if (CurrentTask->TotalImages < record->ThreadCount) record->ThreadCount = CurrentTask->TotalImages;

  // A file error here leaves for the general error handler, before any
  // worker runs and with the button still reading "Start".
  CurrentTask->WriteTaskFile();
  CurrentTask->WriteExtentList();
  CurrentTask->WriteLogHeader();
  CurrentTask->CreateFailedList();

  logLines_.Load(CurrentTask->LogFileName);
  Memo1->SetLines(&logLines_.Lines());
  failedLines_.Load(CurrentTask->FailedListFileName);
  Memo2->SetLines(&failedLines_.Lines());

  LabelTotalxy->setText(QStringLiteral("Total images: ") + QString::number(CurrentTask->TotalImages));
  BitBtn1->setText(kStopCaption);

  savedPositions_ = {};
  const download::WorkerEnvironment environment{&caller_, this, ToLocal(programFolder_), pacing_, limits_};
  for (int32_t i = 0; i < record->ThreadCount; ++i) {
    Workers[static_cast<std::size_t>(i)] =
        std::make_unique<download::TDownThread>(false, i, *CurrentTask, environment);
    ++RunningThreads;
  }
  Timer1->start();
  TimerTicks = 0;
}

void TForm1::Stop() {
  if (!CurrentTask) return;
  const int32_t count = std::min<int32_t>(CurrentTask->Parameters->ThreadCount, kMaxWorkers);
  for (int32_t i = 0; i < count; ++i) {
    if (auto& worker = Workers[static_cast<std::size_t>(i)]) worker->Terminate();
    AppendToMemo1("Thread" + platform::FormatInteger(i + 1) + "will be terminated by user. please wait...");
  }
}

// ---------------------------------------------------------------- the workers' calls


void TForm1::AppendToMemo1(const std::string& text) { Memo1->LinesAppended(logLines_.Append(text)); }

void TForm1::AddLogLine(const std::string& line) { AppendToMemo1(line); }

void TForm1::AddFailedLine(const std::string& line) {
  Memo2->LinesAppended(failedLines_.Append(line));
}

void TForm1::NotifyFinished() { --RunningThreads; }

// ---------------------------------------------------------------- the timer

void TForm1::SavePosition(int i) {
  const auto& worker = Workers[static_cast<std::size_t>(i)];
  if (!worker || !CurrentTask) return;
  const task::TilePosition last = worker->LastPosition();
  task::TilePosition& saved = savedPositions_[static_cast<std::size_t>(i)];
  const bool writeX = last.X > 0 && last.X != saved.X;
  const bool writeY = last.Y > 0 && last.Y != saved.Y;
  if (!writeX && !writeY) return;
  settings::IniFile taskFile(CurrentTask->TaskFileName());
  if (writeX) {
    taskFile.WriteInteger(kThreadsSection, ThreadKey(i + 1, "X"), last.X);
    saved.X = last.X;
  }
  if (writeY) {
    taskFile.WriteInteger(kThreadsSection, ThreadKey(i + 1, "Y"), last.Y);
    saved.Y = last.Y;
  }
}

void TForm1::SavePositions() {
  const int32_t count = std::min<int32_t>(CurrentTask->Parameters->ThreadCount, kMaxWorkers);
  for (int32_t i = 0; i < count; ++i) SavePosition(i);
}

void TForm1::SaveLog() { logLines_.Save(CurrentTask->LogFileName); }

void TForm1::SaveFailedList() { failedLines_.Save(CurrentTask->FailedListFileName); }

void TForm1::Timer1Timer() {
  // A tick that comes while an error box of an earlier tick is open waits
  // for it, so a lasting write failure does not pile up boxes.
  if (inTimer_ || !CurrentTask) return;
  inTimer_ = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{inTimer_};

  ++TimerTicks;
  if (TimerTicks % 5 == 0) {
    SavePositions();
    SaveLog();
    SaveFailedList();
  }
  if (RunningThreads == 0) CloseRun();
}

void TForm1::CloseRun() {
  Timer1->stop();
  AppendToMemo1("");
  AppendToMemo1("--------------------------------");
  AppendToMemo1("Task Stoped!");
  AppendToMemo1("");
  AppendToMemo1("Now time:" + platform::CurrentDateTimeText());
  AppendToMemo1("");
  AppendToMemo1("Log file has been saved as " + CurrentTask->LogFileName);

  // The run ends whatever fails to be written: the first failure is shown
  // once, after the window is back to Idle.
  FirstFailure failure;
  failure.Try([this] { SaveLog(); });
  failure.Try([this] { SaveFailedList(); });
  const int32_t count = std::min<int32_t>(CurrentTask->Parameters->ThreadCount, kMaxWorkers);
  for (int32_t i = 0; i < count; ++i) {
    failure.Try([this, i] { SavePosition(i); });
    Workers[static_cast<std::size_t>(i)].reset();
  }
  for (auto& worker : Workers) worker.reset();
  BitBtn1->setText(kStartCaption);
  failure.ShowIfAny();
  gui::ShowMessage(kTaskStoppedMessage);
}

// ---------------------------------------------------------------- shutdown

void TForm1::ShutDownRun() {
  if (shutDown_) return;
  shutDown_ = true;
  Timer1->stop();
  const bool running = std::any_of(Workers.begin(), Workers.end(), [](const auto& w) { return w != nullptr; });
  if (!running) {
    caller_.Close();
    return;
  }

  // 1. Ask every worker to stop; each abandons the request in hand.
  for (auto& worker : Workers) {
    if (worker) worker->Terminate();
  }
  // 2. Serve their last reports for a moment, without the event loop.
  const auto graceEnd = std::chrono::steady_clock::now() + kShutdownGrace;
  while (RunningThreads > 0 && std::chrono::steady_clock::now() < graceEnd) {
    if (caller_.RunPending() == 0) caller_.WaitForPending(std::chrono::milliseconds(20));
  }
  // 3. From now on no worker waits for the main thread.
  caller_.Close();

  // 4. Keep what the run finished.
  FirstFailure failure;
  failure.Try([this] { SavePositions(); });
  failure.Try([this] { SaveLog(); });
  failure.Try([this] { SaveFailedList(); });
  failure.ShowIfAny();

  // 5. End the threads, but never wait for good on a request that hangs.
  std::vector<std::unique_ptr<download::TDownThread>> workers;
  for (auto& worker : Workers) {
    if (worker) workers.push_back(std::move(worker));
  }
  std::promise<void> joinedPromise;
  std::future<void> joined = joinedPromise.get_future();
  std::thread joiner([&workers, &joinedPromise] {
    workers.clear();
    joinedPromise.set_value();
  });
  if (joined.wait_for(kShutdownJoin) != std::future_status::ready) hardExit_();
  joiner.join();
}

void TForm1::Exit1Click() { close(); }

// ---------------------------------------------------------------- other commands

void TForm1::Button1Click() {
  const std::optional<QString> folder = gui::Chooser().BrowseFolder(this, QStringLiteral("Select path to save"));
  if (folder) Edit6->setText(QDir::toNativeSeparators(*folder));
}

void TForm1::LoadParametersfromprojectfilel1Click() {
  const std::optional<QString> chosen =
      gui::Chooser().OpenFile(this, QStringLiteral("Open project file:"), QStringLiteral("Projects(*.otsk) (*.otsk)"),
                              DefaultPath, QString());
  if (!chosen) return;
  const std::string path = ToLocal(QDir::toNativeSeparators(*chosen));
  const settings::IniFile taskFile(path);
  Edit1->setText(FromLocal(taskFile.ReadString("AREA", "LeftLongitude", "")));
  Edit3->setText(FromLocal(taskFile.ReadString("AREA", "RightLongitude", "")));
  Edit2->setText(FromLocal(taskFile.ReadString("AREA", "TopLatitude", "")));
  Edit4->setText(FromLocal(taskFile.ReadString("AREA", "BottomLatitude", "")));
  Edit6->setText(FromLocal(platform::ExtractFilePath(path)));
  EditTaskName->setText(FromLocal(platform::ExtractFileName(path)));
  const int32_t mapsType = taskFile.ReadInteger("MapsType", "MapsType", 0);
  EditDate->setText(FromLocal(taskFile.ReadString("MapsType", "HistoryDate", "")));
  // A code none of the three leaves the selection as it was.
  const int position = task::ListPositionFromMapsType(mapsType);
  if (position >= 0) radio_mapstype->setCurrentIndex(position);
  // The arrows stay within 1..21; the edit shows the stored number, so a
  // file without a zoom shows 0 and Start refuses it.
  const int32_t zoom = taskFile.ReadInteger("Zoom", "Zoom", 0);
  UpDown1->SetPosition(zoom);
  Edit5->setText(FromLocal(platform::FormatInteger(zoom)));
}

void TForm1::Viewlogfile1Click() {
  if (!CurrentTask) {
    gui::ShowMessage(kNoTaskMessage);
    return;
  }
  if (platform::FileExists(CurrentTask->LogFileName)) {
    OpenOnDesktop(QUrl::fromLocalFile(FromLocal(CurrentTask->LogFileName)));
    return;
  }
  gui::ShowMessage(kNoLogFileMessage);
}

void TForm1::OpenOnDesktop(const QUrl& url) { QDesktopServices::openUrl(url); }

void TForm1::MapViewer1Click() {
  OpenOnDesktop(QUrl::fromLocalFile(programFolder_ + QString::fromLatin1(platform::kMapViewerProgram)));
}

void TForm1::CombineImages1Click() {
  OpenOnDesktop(QUrl::fromLocalFile(programFolder_ + QString::fromLatin1(platform::kMapCombinerProgram)));
}

void TForm1::Usermanual1Click() { OpenOnDesktop(QUrl::fromLocalFile(HelpPath)); }

void TForm1::Homepage1Click() { OpenOnDesktop(QUrl(HomepageAddress)); }

void TForm1::Options2Click() {
  if (options_ != nullptr) options_->exec();
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

void TForm1::About1Click() {
  if (about_ != nullptr) about_->exec();
}
