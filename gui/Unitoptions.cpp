#include "gui/Unitoptions.h"

#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <optional>
#include <utility>

#include "gui/NearmapApiWindow.h"
#include "qtkit/Dialogs.h"
#include "gui/WidgetsUi.h"
#include "core/platform/Files.h"
#include "core/run/ConfigFile.h"
#include "core/platform/Locations.h"
#include "mapkit/CacheDialog.h"

namespace {

using gui::Named;

}  // namespace

TfrmOptions::TfrmOptions(QString configPath, QWidget* parent)
    : QDialog(parent), configPath_(std::move(configPath)) {
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(QStringLiteral("Options"));
  // One row more than the specified 342 pixels, for Map cache... under the bottom row.
  setFixedSize(360, 375);

  Panel1 = Named(new QFrame(this), "Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setGeometry(8, 8, 344, 64);
  Label1 = Named(new QLabel(QStringLiteral("Default path to save :"), Panel1), "Label1");
  Label1->setGeometry(12, 8, 300, 16);
  Edit12 = Named(new QLineEdit(Panel1), "Edit12");
  Edit12->setGeometry(12, 28, 289, 23);
  Button3 = Named(new QPushButton(QStringLiteral("..."), Panel1), "Button3");
  Button3->setGeometry(305, 27, 27, 25);
  Button3->setAutoDefault(false);
  Label1->setBuddy(Edit12);

  GroupBox1 = Named(new QGroupBox(this), "GroupBox1");
  GroupBox1->setGeometry(8, 80, 344, 218);
  CheckBoxUseProxy = Named(new QCheckBox(QStringLiteral("Use proxy server"), GroupBox1), "CheckBoxUseProxy");
  CheckBoxUseProxy->setGeometry(16, 12, 312, 20);
  Label3 = Named(new QLabel(QStringLiteral("Proxy Server Name (IP)"), GroupBox1), "Label3");
  Label3->setGeometry(16, 38, 312, 16);
  EditProxyServer = Named(new QLineEdit(GroupBox1), "EditProxyServer");
  EditProxyServer->setGeometry(16, 54, 312, 23);
  Label4 = Named(new QLabel(QStringLiteral("Proxy Port"), GroupBox1), "Label4");
  Label4->setGeometry(16, 82, 312, 16);
  EditProxyPort = Named(new QLineEdit(GroupBox1), "EditProxyPort");
  EditProxyPort->setGeometry(16, 98, 100, 23);
  Label5 = Named(new QLabel(QStringLiteral("Proxy Username"), GroupBox1), "Label5");
  Label5->setGeometry(16, 126, 312, 16);
  EditProxyUsername = Named(new QLineEdit(GroupBox1), "EditProxyUsername");
  EditProxyUsername->setGeometry(16, 142, 312, 23);
  Label6 = Named(new QLabel(QStringLiteral("Proxy Password"), GroupBox1), "Label6");
  Label6->setGeometry(16, 170, 312, 16);
  // Shown in clear on purpose: the user checks what is stored in the file.
  EditProxyPassword = Named(new QLineEdit(GroupBox1), "EditProxyPassword");
  EditProxyPassword->setEchoMode(QLineEdit::Normal);
  EditProxyPassword->setGeometry(16, 186, 312, 23);
  Label3->setBuddy(EditProxyServer);
  Label4->setBuddy(EditProxyPort);
  Label5->setBuddy(EditProxyUsername);
  Label6->setBuddy(EditProxyPassword);

  Button1 = Named(new QPushButton(QStringLiteral("OK"), this), "Button1");
  Button1->setGeometry(204, 308, 70, 25);
  Button1->setDefault(true);
  Button2 = Named(new QPushButton(QStringLiteral("Cancel"), this), "Button2");
  Button2->setGeometry(282, 308, 70, 25);
  Button2->setAutoDefault(false);
  ButtonTileSources = Named(new QPushButton(QStringLiteral("Tile sources..."), this), "ButtonTileSources");
  ButtonTileSources->setGeometry(8, 308, 94, 25);
  ButtonTileSources->setAutoDefault(false);
  ButtonNearmapApi = Named(new QPushButton(QStringLiteral("Nearmap API..."), this), "ButtonNearmapApi");
  ButtonNearmapApi->setGeometry(106, 308, 94, 25);
  ButtonNearmapApi->setAutoDefault(false);
  ButtonMapCache = Named(new QPushButton(QStringLiteral("Map cache..."), this), "ButtonMapCache");
  ButtonMapCache->setGeometry(8, 341, 94, 25);
  ButtonMapCache->setAutoDefault(false);

  QWidget::setTabOrder(Edit12, Button3);
  QWidget::setTabOrder(Button3, Button1);
  QWidget::setTabOrder(Button1, Button2);
  QWidget::setTabOrder(Button2, CheckBoxUseProxy);
  QWidget::setTabOrder(CheckBoxUseProxy, EditProxyServer);
  QWidget::setTabOrder(EditProxyServer, EditProxyPort);
  QWidget::setTabOrder(EditProxyPort, EditProxyPassword);
  QWidget::setTabOrder(EditProxyPassword, EditProxyUsername);
  // Not among the settings of the file: last.
  QWidget::setTabOrder(EditProxyUsername, ButtonTileSources);
  QWidget::setTabOrder(ButtonTileSources, ButtonNearmapApi);
  QWidget::setTabOrder(ButtonNearmapApi, ButtonMapCache);

  connect(Button3, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmOptions::Button3Click));
  connect(Button1, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmOptions::Button1Click));
  connect(Button2, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmOptions::Button2Click));
  connect(ButtonTileSources, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmOptions::ButtonTileSourcesClick));
  connect(ButtonNearmapApi, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmOptions::ButtonNearmapApiClick));
  connect(ButtonMapCache, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmOptions::ButtonMapCacheClick));
}

void TfrmOptions::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmOptions::FormShow() {
  const run::OptionsSettings stored = run::ConfigFile(qtkit::ToLocal(configPath_)).ReadOptions();
  Edit12->setText(qtkit::FromLocal(stored.DefaultPath));
  CheckBoxUseProxy->setChecked(stored.Proxy.UseProxy);
  EditProxyServer->setText(qtkit::FromLocal(stored.Proxy.ProxyServer));
  EditProxyPort->setText(qtkit::FromLocal(stored.Proxy.ProxyPort));
  EditProxyUsername->setText(qtkit::FromLocal(stored.Proxy.ProxyUsername));
  EditProxyPassword->setText(qtkit::FromLocal(stored.Proxy.ProxyPassword));
}

void TfrmOptions::Button3Click() {
  const std::optional<QString> folder = qtkit::Chooser().BrowseFolder(this, QStringLiteral("Select path"));
  if (folder) Edit12->setText(QDir::toNativeSeparators(*folder));
}

void TfrmOptions::Button1Click() {
  run::ConfigFile(qtkit::ToLocal(configPath_))
      .WriteOptions({qtkit::ToLocal(Edit12->text()),
                     {CheckBoxUseProxy->isChecked(), qtkit::ToLocal(EditProxyServer->text()),
                      qtkit::ToLocal(EditProxyPort->text()), qtkit::ToLocal(EditProxyUsername->text()),
                      qtkit::ToLocal(EditProxyPassword->text())}});
  accept();
}

void TfrmOptions::Button2Click() { reject(); }

void TfrmOptions::ButtonTileSourcesClick() {
  TfrmTileSources sources(configPath_, testTile_, this);
  sources.exec();
}

void TfrmOptions::ButtonMapCacheClick() {
  mapkit::CacheDialog dialog(configPath_, mapkit::OpenTileCache(configPath_, platform::UserCacheFolder()), this);
  dialog.exec();
}

void TfrmOptions::ButtonNearmapApiClick() {
  TfrmNearmapApi page(configPath_, testArea_, this);
  page.exec();
}
