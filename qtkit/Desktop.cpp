#include "qtkit/Desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QWidget>

#include <utility>

#include "qtkit/Dialogs.h"

namespace qtkit {

namespace {

std::function<void(const QUrl&)>& UrlOpener() {
  static std::function<void(const QUrl&)> opener;
  return opener;
}

QString& OpenCommand() {
  static QString command;
  return command;
}

QString Shown(const QUrl& url) { return url.isLocalFile() ? url.toLocalFile() : url.toString(); }

void ReportNotOpened(const QUrl& url) {
  ShowErrorMessage(QStringLiteral("The desktop could not open %1").arg(Shown(url)));
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
// xdg-open tells by its exit status whether the desktop could open the
// target; Qt's own hand-over starts it detached and never learns that.
void OpenThroughOpener(const QUrl& url) {
  const QString program = OpenCommand().isEmpty() ? QStringLiteral("xdg-open") : OpenCommand();
  auto* opener = new QProcess(QCoreApplication::instance());
  opener->setProgram(program);
  opener->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
  opener->setStandardOutputFile(QProcess::nullDevice());
  opener->setStandardErrorFile(QProcess::nullDevice());
  QObject::connect(opener, &QProcess::finished, opener, [opener, url](int exitCode, QProcess::ExitStatus status) {
    if (status != QProcess::NormalExit || exitCode != 0) ReportNotOpened(url);
    opener->deleteLater();
  });
  QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, url](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    ReportNotOpened(url);
    opener->deleteLater();
  });
  opener->start();
}
#else
void OpenThroughOpener(const QUrl& url) {
  if (!QDesktopServices::openUrl(url)) ReportNotOpened(url);
}
#endif

}  // namespace

void CentreOnScreen(QWidget& window) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

void OpenOnDesktop(const QUrl& url) {
  if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
    ShowErrorMessage(QStringLiteral("Cannot open %1: the file does not exist").arg(url.toLocalFile()));
    return;
  }
  if (UrlOpener()) {
    UrlOpener()(url);
    return;
  }
  OpenThroughOpener(url);
}

void StartSibling(const QString& program, const QString& title, const QStringList& arguments) {
  const QFileInfo info(program);
  if (!info.exists()) {
    ShowErrorMessage(QStringLiteral("%1 is not installed beside this program: %2 is missing").arg(title, program));
    return;
  }
  if (!QProcess::startDetached(program, arguments)) ShowErrorMessage(QStringLiteral("Cannot start %1").arg(program));
}

void SetUrlOpenerForTests(std::function<void(const QUrl&)> opener) { UrlOpener() = std::move(opener); }

void SetOpenCommandForTests(const QString& program) { OpenCommand() = program; }

}  // namespace qtkit
