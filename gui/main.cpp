// Orvenna: downloads the map tiles of a longitude/latitude rectangle.
#include <QTimer>

#include <exception>

#include "core/download/HttpClient.h"
#include "core/platform/Locations.h"
#include "core/run/ConfigFile.h"
#include "qtkit/Application.h"
#include "gui/ConvertWindow.h"
#include "gui/Unit1.h"
#include "gui/Unit2.h"
#include "gui/Unitftl.h"
#include "gui/Unitoptions.h"
#include "qtkit/Program.h"

namespace {

const qtkit::ProgramInfo kProgram{
    "orvenna", "example.orvenna.Orvenna",
    "Usage: orvenna [TASK.otsk | LIST.ftl]\n"
    "Downloads the map tiles of a longitude/latitude rectangle, in a window.\n"
    "\n"
    "  TASK.otsk                fill the window with the task, as \"Open task ...\" does\n"
    "  LIST.ftl                 fetch the tiles of a failed-tile list again, in the\n"
    "                           re-download window\n"
    "  -h, --help               print this text\n"
    "      --version            print the version and the settings file in use\n"};

}  // namespace

int main(int argc, char* argv[]) {
  const std::string programFolder = platform::ProgramFolder();
  const std::string configPath = run::ConfigFile::PathFor(programFolder);
  if (const auto status = qtkit::AnswerInformationOptions(argc, argv, kProgram, configPath)) return *status;

  qtkit::Application application(argc, argv);
  qtkit::SetUpWindowProgram(kProgram);
  const std::optional<QString> file = qtkit::FileArgument(kProgram);
  if (!file) return 2;
  try {
    run::ConfigFile::MakeOnFirstUse(programFolder);
    // Before any worker or re-download creates a client.
    download::HttpClient::GlobalInit();

    // Created once, in this order, each living until the program ends.
    TForm1 form1(qtkit::FromLocal(programFolder));
    TfrmAbout frmAbout(&form1);
    frmAbout.SetSettingsFile(qtkit::FromLocal(configPath));
    TfrmConvert frmConvert(&form1);
    TfrmOptions frmOptions(qtkit::FromLocal(configPath), &form1);
    TfrmFlt frmFlt(&form1);
    frmFlt.SetConfigPath(qtkit::FromLocal(configPath));
    form1.SetWindows(&frmAbout, &frmConvert, &frmOptions, &frmFlt);

    form1.show();
    if (!file->isEmpty()) {
      QTimer::singleShot(0, &form1, [&form1, path = *file] { qtkit::RunHandler([&] { form1.OpenFile(path); }); });
    }
    return application.exec();
  } catch (const std::exception& error) {
    qtkit::Application::HandleException(error);
  } catch (...) {
    qtkit::Application::HandleUnknownException();
  }
  return 1;
}
