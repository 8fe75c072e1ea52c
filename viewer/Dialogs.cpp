#include "viewer/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace viewer {

namespace {

MessageInterceptor& Interceptor() {
  static MessageInterceptor interceptor;
  return interceptor;
}

FileChooser DesktopChooser() {
  FileChooser chooser;
  chooser.OpenFile = [](QWidget* parent, const QString& title, const QString& filter,
                        const QString& startFolder) -> std::optional<QString> {
    const QString path = QFileDialog::getOpenFileName(parent, title, startFolder, filter);
    if (path.isEmpty()) return std::nullopt;
    return path;
  };
  chooser.SaveFile = [](QWidget* parent, const QString& title, const QString& filter,
                        const QString& suggestedPath) -> std::optional<QString> {
    const QString path = QFileDialog::getSaveFileName(parent, title, suggestedPath, filter);
    if (path.isEmpty()) return std::nullopt;
    return path;
  };
  return chooser;
}

FileChooser& CurrentChooser() {
  static FileChooser chooser = DesktopChooser();
  return chooser;
}

void Show(const QString& text, bool isError) {
  if (Interceptor()) {
    Interceptor()(text, isError);
    return;
  }
  QMessageBox box(isError ? QMessageBox::Critical : QMessageBox::Information, kViewerTitle, text, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

}  // namespace

void ShowMessage(const QString& text) { Show(text, false); }

void ShowError(const QString& text) { Show(text, true); }

void SetMessageInterceptor(MessageInterceptor interceptor) { Interceptor() = std::move(interceptor); }

const FileChooser& Chooser() { return CurrentChooser(); }

void SetChooserForTests(FileChooser chooser) {
  const FileChooser desktop = DesktopChooser();
  CurrentChooser().OpenFile = chooser.OpenFile ? std::move(chooser.OpenFile) : desktop.OpenFile;
  CurrentChooser().SaveFile = chooser.SaveFile ? std::move(chooser.SaveFile) : desktop.SaveFile;
}

void Guarded(const std::function<void()>& handler) noexcept {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowError(FromLocal(error.what()));
  } catch (...) {
    ShowError(QStringLiteral("Unknown error"));
  }
}

QString FromLocal(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal(const QString& text) { return text.toLocal8Bit().toStdString(); }

}  // namespace viewer
