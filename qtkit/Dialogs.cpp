#include "qtkit/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include "core/platform/Files.h"

namespace qtkit {
namespace {

QString& Caption() {
  static QString caption = QString::fromLatin1(kApplicationTitle);
  return caption;
}

DetailedMessageInterceptor& Interceptor() {
  static DetailedMessageInterceptor interceptor;
  return interceptor;
}

FileChooser DesktopChooser() {
  FileChooser chooser;
  chooser.OpenFile = [](QWidget* parent, const QString& title, const QString& filter,
                        const QString& startFolder, const QString& selectedFile) -> std::optional<QString> {
    QFileDialog dialog(parent, title, startFolder, filter);
    dialog.setFileMode(QFileDialog::AnyFile);  // a typed name is accepted as it is
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!selectedFile.isEmpty()) dialog.selectFile(selectedFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
  };
  chooser.SaveFile = [](QWidget* parent, const QString& title, const QString& filter,
                        const QString& suggestedPath) -> std::optional<QString> {
    const QString path = QFileDialog::getSaveFileName(parent, title, suggestedPath, filter);
    if (path.isEmpty()) return std::nullopt;
    return path;
  };
  chooser.BrowseFolder = [](QWidget* parent, const QString& caption) -> std::optional<QString> {
    const QString folder = QFileDialog::getExistingDirectory(parent, caption, QString(),
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return std::nullopt;
    return folder;
  };
  return chooser;
}

FileChooser& CurrentChooser() {
  static FileChooser chooser = DesktopChooser();
  return chooser;
}

void Show(const QString& text, bool isError, const QString& reason) {
  if (Interceptor()) {
    Interceptor()(text, isError, reason);
    return;
  }
  const std::unique_ptr<QMessageBox> box = MakeMessageBox(text, isError, reason);
  box->exec();
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, bool isError, const QString& reason) {
  auto box = std::make_unique<QMessageBox>(isError ? QMessageBox::Critical : QMessageBox::NoIcon, Caption(),
                                           text, QMessageBox::Ok, QApplication::activeWindow());
  if (!reason.isEmpty()) box->setInformativeText(reason);
  // A short text would make a box too narrow for its caption; a message box
  // sizes itself from its layout, so the layout gets a row of that width.
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    grid->addItem(new QSpacerItem(kMinimumMessageWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                  0, 1, grid->columnCount());
  }
  return box;
}

void SetMessageCaption(const QString& caption) { Caption() = caption; }

void ShowMessage(const QString& text, const QString& reason) { Show(text, false, reason); }

void ShowErrorMessage(const QString& text, const QString& reason) { Show(WithClosingPeriod(text), true, reason); }

void ShowFailure(const std::exception& error) {
  ShowErrorMessage(FromLocal(error.what()), FromLocal(platform::FailureReason(error)));
}

QString WithClosingPeriod(const QString& text) {
  if (!text.isEmpty() && text.back() > QChar('.')) return text + '.';
  return text;
}

void SetMessageInterceptor(MessageInterceptor interceptor) {
  if (!interceptor) {
    Interceptor() = {};
    return;
  }
  Interceptor() = [interceptor = std::move(interceptor)](const QString& text, bool isError, const QString&) {
    interceptor(text, isError);
  };
}

void SetDetailedMessageInterceptor(DetailedMessageInterceptor interceptor) { Interceptor() = std::move(interceptor); }

const FileChooser& Chooser() { return CurrentChooser(); }

void SetChooserForTests(FileChooser chooser) {
  const FileChooser desktop = DesktopChooser();
  CurrentChooser().OpenFile = chooser.OpenFile ? std::move(chooser.OpenFile) : desktop.OpenFile;
  CurrentChooser().BrowseFolder = chooser.BrowseFolder ? std::move(chooser.BrowseFolder) : desktop.BrowseFolder;
  CurrentChooser().SaveFile = chooser.SaveFile ? std::move(chooser.SaveFile) : desktop.SaveFile;
}

QString FromLocal(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal(const QString& text) { return text.toLocal8Bit().toStdString(); }

}  // namespace qtkit
