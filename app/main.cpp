// Orvenna: downloads the map tiles of a longitude/latitude rectangle.
#include <exception>

#include "app/ApplicationQt.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "download/HttpClient.h"
#include "ftl/Unitftl.h"
#include "settings/ConvertWindow.h"
#include "settings/Unitoptions.h"

int main(int argc, char* argv[]) {
  app::OrvennaApplication application(argc, argv);
  try {
    // Before any worker or re-download creates a client.
    download::HttpClient::GlobalInit();

    // Created once, in this order, each living until the program ends.
    TForm1 form1;
    TfrmAbout frmAbout(&form1);
    TfrmConvert frmConvert(&form1);
    TfrmOptions frmOptions(TForm1::ConfigFileIn(app::FromLocal(platform::ProgramFolder())), &form1);
    TfrmFlt frmFlt(&form1);
    form1.SetWindows(&frmAbout, &frmConvert, &frmOptions, &frmFlt);

    form1.show();
    return application.exec();
  } catch (const std::exception& error) {
    app::OrvennaApplication::HandleException(error);
  } catch (...) {
    app::OrvennaApplication::HandleUnknownException();
  }
  return 1;
}
