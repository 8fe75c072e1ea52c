// tileview: shows the tiles of a download task as one map and finds its holes.
#include <QApplication>
#include <QStringList>

#include "core/platform/Files.h"
#include "qtkit/Dialogs.h"
#include "viewer/ViewerWindow.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tileview"));
  qtkit::SetMessageCaption(QString::fromLatin1(viewer::kViewerTitle));
  viewer::ViewerOptions options;
  options.ProgramFolder = platform::ProgramFolder();
  viewer::ViewerWindow window(options);
  window.show();
  // tileview [TASK.otsk]
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) window.OpenTask(arguments.at(1));
  return application.exec();
}
