#include "gui/Unitftl.h"

#include <QCoreApplication>
#include <QFont>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <optional>

#include "qtkit/Desktop.h"
#include "qtkit/Dialogs.h"
#include "gui/WidgetsUi.h"
#include "core/ftl/FailedTileRun.h"
#include "core/run/ConfigFile.h"

namespace {

using gui::Named;

// Each entry of the run becomes one append to the log area.
class MemoRunLog : public ftl::RunLog {
 public:
  explicit MemoRunLog(QPlainTextEdit* memo) : memo_(memo) {}
  void Append(const std::string& line) override { memo_->appendPlainText(qtkit::FromLocal(line)); }
  void ProcessPendingMessages() override { QCoreApplication::processEvents(); }

 private:
  QPlainTextEdit* memo_;
};

// Resets the running flag however the run ends, a thrown file error included.
class RunningGuard {
 public:
  explicit RunningGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~RunningGuard() { flag_ = false; }
  RunningGuard(const RunningGuard&) = delete;
  RunningGuard& operator=(const RunningGuard&) = delete;

 private:
  bool& flag_;
};

}  // namespace

TfrmFlt::TfrmFlt(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmFlt"));
  setWindowTitle(QStringLiteral("Re-Download failed files"));
  setFixedSize(703, 453);

  Panel1 = Named(new QFrame(this), "Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setGeometry(0, 0, 703, 57);
  Button1 = Named(new QPushButton(QStringLiteral("Open *.ftl file and download..."), Panel1), "Button1");
  Button1->setGeometry(16, 16, 201, 25);
  Button1->setAutoDefault(false);

  Panel2 = Named(new QFrame(this), "Panel2");
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setGeometry(0, 57, 703, 453 - 57);
  Memo1 = Named(new QPlainTextEdit(Panel2), "Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(13);
  Memo1->setFont(font);
  auto* layout = new QVBoxLayout(Panel2);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Memo1);

  connect(Button1, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmFlt::Button1Click));
}

void TfrmFlt::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (!placed_) {
    // Centred on the desktop, not over the main window.
    placed_ = true;
    qtkit::CentreOnScreen(*this);
  }
  FormShow();
}

void TfrmFlt::FormShow() { Memo1->clear(); }

void TfrmFlt::Button1Click() {
  // The single processing of pending messages during a run could deliver a
  // second click; one run at a time.
  if (running_) return;
  const std::optional<QString> chosen =
      qtkit::Chooser().OpenFile(this, QStringLiteral("Open ftl file:"), QStringLiteral("Projects(*.ftl)"),
                              QString(), lastChosenFile_);
  if (chosen) RunList(*chosen);
}

void TfrmFlt::RunList(const QString& path) {
  if (running_) return;
  lastChosenFile_ = path;
  RunningGuard guard(running_);
  Memo1->clear();
  MemoRunLog log(Memo1);
  ftl::FailedListOptions options;
  options.Limits = limits_;
  if (!configPath_.isEmpty()) run::ConfigFile(qtkit::ToLocal(configPath_)).AddCredentials(options);
  ftl::RunFailedList(qtkit::ToLocal(path), log, options);
}
