// Orvenna: downloads the map tiles of a longitude/latitude rectangle.
#include <exception>

#include "gui/ApplicationQt.h"
#include "gui/Unit1.h"
#include "gui/Unit2.h"
#include "core/download/HttpClient.h"
#include "gui/Unitftl.h"
#include "gui/ConvertWindow.h"
#include "gui/Unitoptions.h"

int main(int argc, char* argv[]) {
  gui::OrvennaApplication application(argc, argv);
  try {
    // Before any worker or re-download creates a client.
    download::HttpClient::GlobalInit();

    // Created once, in this order, each living until the program ends.
    TForm1 form1;
    TfrmAbout frmAbout(&form1);
    TfrmConvert frmConvert(&form1);
    TfrmOptions frmOptions(TForm1::ConfigFileIn(qtkit::FromLocal(platform::ProgramFolder())), &form1);
    TfrmFlt frmFlt(&form1);
    frmFlt.SetConfigPath(TForm1::ConfigFileIn(qtkit::FromLocal(platform::ProgramFolder())));
    form1.SetWindows(&frmAbout, &frmConvert, &frmOptions, &frmFlt);

    form1.show();
    return application.exec();
  } catch (const std::exception& error) {
    gui::OrvennaApplication::HandleException(error);
  } catch (...) {
    gui::OrvennaApplication::HandleUnknownException();
  }
  return 1;
}
