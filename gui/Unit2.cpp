#include "gui/Unit2.h"

#include "core/platform/Version.h"
#include "qtkit/Desktop.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
  QFont linkFont = font();
  linkFont.setUnderline(true);
  setFont(linkFont);
  QPalette linkPalette = palette();
  linkPalette.setColor(QPalette::WindowText, QColor(0x00, 0x80, 0x00));
  setPalette(linkPalette);
  setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::SetAddress(const QString& address, const QString& shownText) {
  address_ = address;
  setText(shownText);
  adjustSize();
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    qtkit::OpenOnDesktop(QUrl(address_));
  }
}

TfrmAbout::TfrmAbout(QWidget* mainWindow) : QDialog(mainWindow), mainWindow_(mainWindow) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(315, 181);

  LabelProduct = new QLabel(this);
  LabelProduct->setObjectName(QStringLiteral("LabelProduct"));
  QFont titleFont(QStringLiteral("Tahoma"), 10);
  titleFont.setBold(true);
  titleFont.setUnderline(true);
  LabelProduct->setFont(titleFont);
  LabelProduct->setGeometry(24, 16, 267, 22);

  LabelDeveloper = new QLabel(QStringLiteral("Developed by the Orvenna team"), this);
  LabelDeveloper->setObjectName(QStringLiteral("LabelDeveloper"));
  LabelDeveloper->setGeometry(24, 46, 267, 18);

  LabelHomepage = new QLabel(QStringLiteral("Homepage:"), this);
  LabelHomepage->setObjectName(QStringLiteral("LabelHomepage"));
  LabelHomepage->setGeometry(24, 76, 70, 18);
  LinkHomepage = new TLinkLabel(this);
  LinkHomepage->setObjectName(QStringLiteral("LinkHomepage"));
  LinkHomepage->setToolTip(QStringLiteral("Go to my homepage!"));
  LinkHomepage->move(96, 76);

  LabelEmail = new QLabel(QStringLiteral("Email:"), this);
  LabelEmail->setObjectName(QStringLiteral("LabelEmail"));
  LabelEmail->setGeometry(24, 100, 70, 18);
  LinkEmail = new TLinkLabel(this);
  LinkEmail->setObjectName(QStringLiteral("LinkEmail"));
  LinkEmail->setToolTip(QStringLiteral("Email to me!"));
  LinkEmail->move(96, 100);

  LabelSettings = new QLabel(this);
  LabelSettings->setObjectName(QStringLiteral("LabelSettings"));
  LabelSettings->setGeometry(24, 120, 267, 16);
  LabelSettings->setTextInteractionFlags(Qt::TextSelectableByMouse);

  ButtonOK = new QPushButton(QStringLiteral("&OK"), this);
  ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
  ButtonOK->setDefault(true);
  ButtonOK->setGeometry(120, 140, 75, 25);
  connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::SetSettingsFile(const QString& path) {
  const QString text = QStringLiteral("Settings: ") + path;
  LabelSettings->setText(LabelSettings->fontMetrics().elidedText(text, Qt::ElideMiddle, LabelSettings->width()));
  LabelSettings->setToolTip(text);
}

void TfrmAbout::showEvent(QShowEvent* event) {
  if (mainWindow_ != nullptr) LabelProduct->setText(mainWindow_->windowTitle());
  const QString homepage = QString::fromLatin1(platform::Homepage());
  const QString mail = QStringLiteral("mailto:") + QString::fromLatin1(platform::ContactAddress());
  LinkHomepage->SetAddress(homepage, homepage);
  LinkEmail->SetAddress(mail, QString(mail).remove(QStringLiteral("mailto:")));
  qtkit::CentreOnScreen(*this);
  QDialog::showEvent(event);
}
