// tileview: shows the tiles of a download task as one map and finds its holes.

#include "core/download/HttpClient.h"
#include "core/platform/Locations.h"
#include "qtkit/Application.h"
#include "qtkit/Dialogs.h"
#include "qtkit/Program.h"
#include "mapkit/RecentFiles.h"
#include "viewer/ViewerWindow.h"

namespace {

const qtkit::ProgramInfo kProgram{
    "tileview", "example.orvenna.TileView",
    "Usage: tileview [TASK.otsk]\n"
    "Shows the tiles of a download task as one map, and finds its holes.\n"
    "\n"
    "  TASK.otsk                open the task\n"
    "  -h, --help               print this text\n"
    "      --version            print the version and the viewer's settings file\n"};

}  // namespace

int main(int argc, char* argv[]) {
  viewer::ViewerOptions options;
  options.ProgramFolder = platform::ProgramFolder();
  const std::string settings = mapkit::RecentFilesPath(options.ProgramFolder);
  if (const auto status = qtkit::AnswerInformationOptions(argc, argv, kProgram, settings)) return *status;

  // Before the area window's map creates a client.
  download::HttpClient::GlobalInit();
  qtkit::Application application(argc, argv, QStringLiteral("tileview"));
  qtkit::SetUpWindowProgram(kProgram);
  qtkit::SetMessageCaption(QString::fromLatin1(viewer::kViewerTitle));
  const std::optional<QString> file = qtkit::FileArgument(kProgram);
  if (!file) return 2;
  viewer::ViewerWindow window(options);
  window.show();
  if (!file->isEmpty()) window.OpenTask(*file);
  return application.exec();
}
