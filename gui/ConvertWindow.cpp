#include "gui/ConvertWindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <optional>

#include "qtkit/Desktop.h"
#include "qtkit/Dialogs.h"
#include "gui/WidgetsUi.h"
#include "core/platform/Locale.h"
#include "core/settings/Convert.h"

using gui::Named;

TfrmConvert::TfrmConvert(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmConvert"));
  setWindowTitle(QStringLiteral("Convert \"Degrees,Minutes,Seconds\" to \"Degrees\""));
  setFixedSize(466, 99);

  GroupBox1 = Named(new QGroupBox(this), "GroupBox1");
  GroupBox1->setGeometry(8, 6, 185, 85);
  Label1 = Named(new QLabel(QStringLiteral("Degrees, Minutes, Seconds:"), GroupBox1), "Label1");
  Label1->setGeometry(12, 14, 165, 16);
  Edit1 = Named(new QLineEdit(GroupBox1), "Edit1");
  Edit1->setGeometry(12, 42, 49, 23);
  Edit2 = Named(new QLineEdit(GroupBox1), "Edit2");
  Edit2->setGeometry(68, 42, 49, 23);
  Edit3 = Named(new QLineEdit(GroupBox1), "Edit3");
  Edit3->setGeometry(124, 42, 49, 23);

  Button1 = Named(new QPushButton(QStringLiteral("convert"), this), "Button1");
  Button1->setGeometry(200, 46, 75, 25);
  Button1->setDefault(true);

  GroupBox2 = Named(new QGroupBox(this), "GroupBox2");
  GroupBox2->setGeometry(282, 6, 176, 85);
  Label2 = Named(new QLabel(QStringLiteral("Degrees:"), GroupBox2), "Label2");
  Label2->setGeometry(12, 14, 150, 16);
  Edit4 = Named(new QLineEdit(GroupBox2), "Edit4");
  Edit4->setGeometry(12, 42, 121, 23);
  Edit4->setReadOnly(true);

  connect(Button1, &QPushButton::clicked, this, qtkit::Slot(this, &TfrmConvert::Button1Click));
}

void TfrmConvert::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Centred on the desktop the first time; later showings keep where the user
  // left it.
  if (!placed_ && !event->spontaneous()) {
    placed_ = true;
    qtkit::CentreOnScreen(*this);
  }
}

void TfrmConvert::Button1Click() {
  const std::optional<float> degrees = settings::ConvertDegreesMinutesSeconds(
      qtkit::ToLocal(Edit1->text()), qtkit::ToLocal(Edit2->text()), qtkit::ToLocal(Edit3->text()));
  if (!degrees) {
    qtkit::ShowMessage(QString::fromLatin1(settings::kConvertInputError));
    return;
  }
  Edit4->setText(qtkit::FromLocal(settings::FormatConvertedDegrees(*degrees, platform::DesktopDecimalSeparator())));
}
