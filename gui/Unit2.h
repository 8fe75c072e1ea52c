// The About box: product name and version (the main window's caption at the
// time it is shown), the developer, links to the homepage and the mail
// address, and the settings file in use. Main thread only; one instance lives as long as the program.
#pragma once

#include <QDialog>
#include <QLabel>

class QPushButton;

// A label that hands its address to the desktop when clicked.
class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLinkLabel(QWidget* parent = nullptr);

  void SetAddress(const QString& address, const QString& shownText);
  const QString& Address() const { return address_; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString address_;
};

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  // mainWindow: the window whose caption the box shows; also its parent.
  explicit TfrmAbout(QWidget* mainWindow = nullptr);

  QLabel* LabelProduct;
  QLabel* LabelDeveloper;
  QLabel* LabelHomepage;
  TLinkLabel* LinkHomepage;
  QLabel* LabelEmail;
  TLinkLabel* LinkEmail;
  // "Settings: " and the file, shortened in the middle to fit; whole in its
  // tooltip.
  QLabel* LabelSettings;
  QPushButton* ButtonOK;

  void SetSettingsFile(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* mainWindow_;
};
