// The window of tilejoin: a task file, a format, an output file and the
// options; Start runs the combine on a thread of its own, so the window stays
// responsive, with a progress bar, Cancel, the summary and "Open folder".
// Every control's objectName is set for tests and accessibility tools.
// Main thread only, but for the worker's news: the worker leaves progress and
// the result under a mutex and posts one taking of them to the GUI inbox.
#pragma once

#include <QDialog>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "combiner/Combiner.h"
#include "qtkit/GuiInbox.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace combiner {

// The window's title, and the caption of the program's message boxes.
inline constexpr const char* kWindowTitle = "Map Combiner";

class CombinerWindow : public QDialog {
  Q_OBJECT

 public:
  // taskPath (may be empty) fills the task field, and the output beside it.
  explicit CombinerWindow(const QString& taskPath = QString(), QWidget* parent = nullptr);
  ~CombinerWindow() override;

  bool IsRunning() const { return worker_.joinable(); }

  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class WindowProgress;

  // What the worker has to tell the window since it last looked.
  struct WorkerNews {
    bool Progressed = false;
    std::string Stage;
    double Fraction = 0;
    bool Finished = false;
    CombineResult Result;
    std::string Error;
    bool WakeUpPosted = false;
  };
  // Worker thread: changes the news and wakes the window once for all.
  void Tell(const std::function<void(WorkerNews&)>& change);
  // Main thread: what the worker posted.
  void TakeWorkerNews();

  void BuildOptionFields();
  void BuildRunControls();
  void LayOut();
  void ConnectHandlers();
  void BrowseTask();
  void BrowseOutput();
  void TaskChanged();
  void FormatChanged();
  void Start();
  void Cancel();
  void OpenFolder();
  void Finished(const CombineResult& result, const std::string& error);
  void WaitForWorker();
  void UpdateControls();
  // The options of the controls, or the reason they are not usable.
  std::optional<CombineOptions> ReadOptions(QString& problem) const;
  OutputFormat SelectedFormat() const;

  QLineEdit* taskEdit_;
  QPushButton* taskBrowseButton_;
  QComboBox* formatBox_;
  QLineEdit* outputEdit_;
  QPushButton* outputBrowseButton_;
  QComboBox* srsBox_;
  QComboBox* compressBox_;
  QSpinBox* sheetBox_;
  QLineEdit* fillEdit_;
  QLineEdit* areaEdit_;
  QCheckBox* overviewsBox_;
  QPushButton* startButton_;
  QPushButton* cancelButton_;
  QProgressBar* progressBar_;
  QLabel* stageLabel_;
  QPlainTextEdit* summaryView_;
  QPushButton* openFolderButton_;
  QPushButton* closeButton_;

  qtkit::GuiInbox inbox_;  // before the worker: outlives it
  std::thread worker_;
  std::atomic<bool> cancelRequested_{false};
  std::mutex newsMutex_;
  WorkerNews news_;
  QString lastOutputFolder_;
};

}  // namespace combiner
