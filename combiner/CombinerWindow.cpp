#include "combiner/CombinerWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>

#include "core/platform/Files.h"
#include "core/task/TileGrid.h"
#include "core/task/Unitclasstask.h"
#include "qtkit/Desktop.h"
#include "qtkit/Dialogs.h"

namespace combiner {

namespace {

using qtkit::FromLocal;
using qtkit::ToLocal;

constexpr int kProgressSteps = 1000;

const char* const kCompressionTitles[] = {"JPEG", "DEFLATE", "None"};

}  // namespace

// The worker's side: progress goes to the window's news; the cancel request
// is read from the window's flag.
class CombinerWindow::WindowProgress final : public Progress {
 public:
  explicit WindowProgress(CombinerWindow* window) : window_(window) {}

  void Report(const std::string& stage, double fraction) override {
    window_->Tell([&](WorkerNews& news) {
      news.Progressed = true;
      news.Stage = stage;
      news.Fraction = fraction;
    });
  }
  bool CancelRequested() const override { return window_->cancelRequested_.load(); }

 private:
  CombinerWindow* window_;
};

CombinerWindow::CombinerWindow(const QString& taskPath, QWidget* parent) : QDialog(parent) {
  setObjectName("CombinerWindow");
  setWindowTitle(kWindowTitle);
  BuildOptionFields();
  BuildRunControls();
  LayOut();
  ConnectHandlers();
  taskEdit_->setText(taskPath);
  TaskChanged();
  FormatChanged();
}

// The task, the output and the options of a combine.
void CombinerWindow::BuildOptionFields() {
  taskEdit_ = new QLineEdit(this);
  taskEdit_->setObjectName("TaskEdit");
  taskBrowseButton_ = new QPushButton("&Browse...", this);
  taskBrowseButton_->setObjectName("TaskBrowseButton");
  formatBox_ = new QComboBox(this);
  formatBox_->setObjectName("FormatBox");
  for (OutputFormat format : kFormats) formatBox_->addItem(FormatTitle(format));
  outputEdit_ = new QLineEdit(this);
  outputEdit_->setObjectName("OutputEdit");
  outputBrowseButton_ = new QPushButton("Brows&e...", this);
  outputBrowseButton_->setObjectName("OutputBrowseButton");
  srsBox_ = new QComboBox(this);
  srsBox_->setObjectName("SrsBox");
  srsBox_->addItems({"Web Mercator, metres (EPSG:3857)", "WGS 84, degrees (EPSG:4326)"});
  compressBox_ = new QComboBox(this);
  compressBox_->setObjectName("CompressBox");
  for (const char* title : kCompressionTitles) compressBox_->addItem(title);
  sheetBox_ = new QSpinBox(this);
  sheetBox_->setObjectName("SheetBox");
  sheetBox_->setRange(0, 1 << 30);
  sheetBox_->setSingleStep(task::kTileSize);
  sheetBox_->setSpecialValueText("one file");
  sheetBox_->setSuffix(" pixels");
  fillEdit_ = new QLineEdit("white", this);
  fillEdit_->setObjectName("FillEdit");
  fillEdit_->setToolTip("white, black, #RRGGBB or R,G,B");
  areaEdit_ = new QLineEdit(this);
  areaEdit_->setObjectName("AreaEdit");
  areaEdit_->setPlaceholderText("the whole task, or tiles:MINX,MINY,MAXX,MAXY or lonlat:W,S,E,N");
  overviewsBox_ = new QCheckBox("Build o&verviews", this);
  overviewsBox_->setObjectName("OverviewsBox");
  overviewsBox_->setChecked(true);
}

// Start, Cancel, the progress, the summary and what follows a combine.
void CombinerWindow::BuildRunControls() {
  startButton_ = new QPushButton("&Start", this);
  startButton_->setObjectName("StartButton");
  startButton_->setDefault(true);
  cancelButton_ = new QPushButton("&Cancel", this);
  cancelButton_->setObjectName("CancelButton");
  progressBar_ = new QProgressBar(this);
  progressBar_->setObjectName("ProgressBar");
  progressBar_->setRange(0, kProgressSteps);
  progressBar_->setValue(0);
  stageLabel_ = new QLabel(this);
  stageLabel_->setObjectName("StageLabel");
  summaryView_ = new QPlainTextEdit(this);
  summaryView_->setObjectName("SummaryView");
  summaryView_->setReadOnly(true);
  summaryView_->setTabChangesFocus(true);
  openFolderButton_ = new QPushButton("Open &folder", this);
  openFolderButton_->setObjectName("OpenFolderButton");
  closeButton_ = new QPushButton("C&lose", this);
  closeButton_->setObjectName("CloseButton");
}

void CombinerWindow::LayOut() {
  auto* form = new QFormLayout;
  const auto row = [&](const QString& label, QWidget* field, QWidget* extra = nullptr) {
    auto* caption = new QLabel(label, this);
    caption->setBuddy(field);
    if (extra == nullptr) {
      form->addRow(caption, field);
      return;
    }
    auto* line = new QHBoxLayout;
    line->addWidget(field, 1);
    line->addWidget(extra);
    form->addRow(caption, line);
  };
  row("&Task file:", taskEdit_, taskBrowseButton_);
  row("Fo&rmat:", formatBox_);
  row("&Output file:", outputEdit_, outputBrowseButton_);
  row("Coor&dinates:", srsBox_);
  row("Co&mpression:", compressBox_);
  row("S&heet size:", sheetBox_);
  row("F&ill colour:", fillEdit_);
  row("&Area:", areaEdit_);
  form->addRow(QString(), overviewsBox_);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(startButton_);
  buttons->addWidget(cancelButton_);
  buttons->addStretch(1);
  buttons->addWidget(openFolderButton_);
  buttons->addWidget(closeButton_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(progressBar_);
  layout->addWidget(stageLabel_);
  layout->addWidget(summaryView_, 1);
  layout->addLayout(buttons);
  resize(620, 480);
}

void CombinerWindow::ConnectHandlers() {
  connect(taskBrowseButton_, &QPushButton::clicked, this, qtkit::Slot(this, &CombinerWindow::BrowseTask));
  connect(outputBrowseButton_, &QPushButton::clicked, this, qtkit::Slot(this, &CombinerWindow::BrowseOutput));
  connect(taskEdit_, &QLineEdit::editingFinished, this, qtkit::Slot(this, &CombinerWindow::TaskChanged));
  connect(formatBox_, &QComboBox::currentIndexChanged, this, qtkit::Slot(this, &CombinerWindow::FormatChanged));
  connect(startButton_, &QPushButton::clicked, this, qtkit::Slot(this, &CombinerWindow::Start));
  connect(cancelButton_, &QPushButton::clicked, this, qtkit::Slot(this, &CombinerWindow::Cancel));
  connect(openFolderButton_, &QPushButton::clicked, this, qtkit::Slot(this, &CombinerWindow::OpenFolder));
  connect(closeButton_, &QPushButton::clicked, this, &CombinerWindow::close);
}

CombinerWindow::~CombinerWindow() {
  cancelRequested_ = true;
  if (worker_.joinable()) worker_.join();
}

void CombinerWindow::reject() {
  // Escape stops a running combine before it closes the window.
  if (IsRunning()) {
    Cancel();
    return;
  }
  QDialog::reject();
}

void CombinerWindow::closeEvent(QCloseEvent* event) {
  if (IsRunning()) {
    Cancel();
    WaitForWorker();
  }
  event->accept();
}

void CombinerWindow::BrowseTask() {
  const QString filter = QString("Task files (*%1);;All files (*)").arg(task::kTaskFileExtension);
  const std::optional<QString> path =
      qtkit::Chooser().OpenFile(this, "Open task", filter, QFileInfo(taskEdit_->text()).path(), {});
  if (!path) return;
  taskEdit_->setText(*path);
  outputEdit_->clear();
  TaskChanged();
}

void CombinerWindow::BrowseOutput() {
  if (const std::optional<QString> path = qtkit::Chooser().SaveFile(this, "Output file", {}, outputEdit_->text())) {
    outputEdit_->setText(*path);
  }
}

void CombinerWindow::TaskChanged() {
  const QString task = taskEdit_->text().trimmed();
  if (task.isEmpty() || !outputEdit_->text().isEmpty()) return;
  const QFileInfo info(task);
  outputEdit_->setText(info.dir().filePath(info.completeBaseName() + FormatExtension(SelectedFormat())));
}

void CombinerWindow::FormatChanged() {
  const OutputFormat format = SelectedFormat();
  // The output keeps its name and takes the format's extension, when it had one of ours.
  const std::string output = ToLocal(outputEdit_->text());
  if (!output.empty() && FormatOfPath(output)) {
    outputEdit_->setText(FromLocal(platform::RemoveFileExt(output) + FormatExtension(format)));
  }
  // The formats with coordinates of their own show them.
  if (!TakesSrs(format)) srsBox_->setCurrentIndex(format == OutputFormat::Kmz ? 1 : 0);
  UpdateControls();
}

OutputFormat CombinerWindow::SelectedFormat() const { return kFormats[std::max(formatBox_->currentIndex(), 0)]; }

void CombinerWindow::UpdateControls() {
  const bool running = IsRunning();
  const OutputFormat format = SelectedFormat();
  const bool tiff = IsTiff(format);
  for (QWidget* field : std::initializer_list<QWidget*>{taskEdit_, taskBrowseButton_, formatBox_, outputEdit_,
                                                      outputBrowseButton_, sheetBox_, fillEdit_, areaEdit_}) {
    field->setEnabled(!running);
  }
  srsBox_->setEnabled(!running && TakesSrs(format));
  compressBox_->setEnabled(!running && tiff);
  overviewsBox_->setEnabled(!running && (tiff || IsTileDatabase(format)));
  startButton_->setEnabled(!running);
  cancelButton_->setEnabled(running);
  closeButton_->setEnabled(!running);
  openFolderButton_->setEnabled(!running && !lastOutputFolder_.isEmpty());
}

std::optional<CombineOptions> CombinerWindow::ReadOptions(QString& problem) const {
  CombineOptions options;
  options.TaskPath = ToLocal(taskEdit_->text().trimmed());
  options.OutputPath = ToLocal(outputEdit_->text().trimmed());
  options.Format = SelectedFormat();
  options.Srs = srsBox_->currentIndex() == 1 ? OutputSrs::Wgs84 : OutputSrs::WebMercator;
  options.Compress =
      IsTiff(options.Format) ? static_cast<Compression>(compressBox_->currentIndex()) : Compression::Jpeg;
  options.Overviews = overviewsBox_->isChecked();
  options.SheetPixels = sheetBox_->value();
  const auto fill = ParseColour(ToLocal(fillEdit_->text().trimmed()));
  if (!fill) {
    problem = "Unknown fill colour: give white, black, #RRGGBB or R,G,B.";
    return std::nullopt;
  }
  options.Fill = *fill;
  if (const QString area = areaEdit_->text().trimmed(); !area.isEmpty()) {
    try {
      options.Area = ParseArea(ToLocal(area));
    } catch (const AreaError& error) {
      problem = FromLocal(std::string("The area cannot be used: ") + error.what() + ".");
      return std::nullopt;
    }
  }
  if (const std::string check = CheckOptions(options); !check.empty()) {
    problem = FromLocal(check);
    return std::nullopt;
  }
  if (const std::string missing = MissingFromThisBuild(options); !missing.empty()) {
    problem = FromLocal(missing);
    return std::nullopt;
  }
  return options;
}

void CombinerWindow::Start() {
  if (IsRunning()) return;
  QString problem;
  const std::optional<CombineOptions> options = ReadOptions(problem);
  if (!options) {
    summaryView_->setPlainText(problem);
    return;
  }
  cancelRequested_ = false;
  lastOutputFolder_.clear();
  summaryView_->clear();
  stageLabel_->clear();
  progressBar_->setValue(0);
  worker_ = std::thread([this, options = *options] {
    WindowProgress progress(this);
    CombineResult result;
    std::string error;
    try {
      result = Combine(options, progress);
    } catch (const std::exception& failure) {
      error = platform::FailureText(failure);  // with the system's reason: a full disk says so
    } catch (...) {
      error = "The combine failed for an unknown reason.";
    }
    Tell([&](WorkerNews& news) {
      news.Finished = true;
      news.Result = std::move(result);
      news.Error = std::move(error);
    });
  });
  UpdateControls();
  cancelButton_->setFocus();
}

void CombinerWindow::Cancel() {
  if (!IsRunning()) return;
  cancelRequested_ = true;
  stageLabel_->setText("Cancelling...");
}

void CombinerWindow::Tell(const std::function<void(WorkerNews&)>& change) {
  const std::lock_guard<std::mutex> lock(newsMutex_);
  change(news_);
  if (news_.WakeUpPosted) return;
  news_.WakeUpPosted = true;
  // The news travel under the mutex; one taking serves all told until then.
  inbox_.Post([this] { TakeWorkerNews(); });
}

void CombinerWindow::TakeWorkerNews() {
  WorkerNews news;
  {
    const std::lock_guard<std::mutex> lock(newsMutex_);
    news = std::move(news_);
    news_ = WorkerNews{};
  }
  if (news.Progressed && !cancelRequested_) {
    stageLabel_->setText(FromLocal(news.Stage));
    progressBar_->setValue(static_cast<int>(news.Fraction * kProgressSteps));
  }
  if (news.Finished) Finished(news.Result, news.Error);
}

void CombinerWindow::Finished(const CombineResult& result, const std::string& error) {
  WaitForWorker();
  if (!error.empty()) {
    stageLabel_->setText("Failed");
    summaryView_->setPlainText(FromLocal(error));
  } else {
    stageLabel_->setText(result.Cancelled ? "Cancelled" : "Done");
    if (!result.Cancelled) progressBar_->setValue(kProgressSteps);
    summaryView_->setPlainText(FromLocal(SummaryText(result)));
    if (!result.Files.empty()) lastOutputFolder_ = QFileInfo(FromLocal(result.Files.front())).absolutePath();
  }
  UpdateControls();
  (lastOutputFolder_.isEmpty() ? startButton_ : openFolderButton_)->setFocus();
}

void CombinerWindow::WaitForWorker() {
  if (worker_.joinable()) worker_.join();
}

void CombinerWindow::OpenFolder() {
  if (lastOutputFolder_.isEmpty()) return;
  qtkit::OpenOnDesktop(QUrl::fromLocalFile(lastOutputFolder_));
}

}  // namespace combiner
