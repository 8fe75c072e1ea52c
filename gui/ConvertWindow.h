// The degrees-minutes-seconds converter window. Main thread only. One instance
// lives as long as the program, is shown modelessly on top of every window and
// keeps its fields when it is closed and shown again.
#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmConvert : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmConvert(QWidget* parent = nullptr);

  // One conversion of Edit1..Edit3 into Edit4; "Input Error." when degrees or
  // minutes are not whole numbers, Edit4 then keeps its text.
  void Button1Click();

  QGroupBox* GroupBox1;
  QLabel* Label1;
  QLineEdit* Edit1;
  QLineEdit* Edit2;
  QLineEdit* Edit3;
  QPushButton* Button1;
  QGroupBox* GroupBox2;
  QLabel* Label2;
  QLineEdit* Edit4;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool placed_ = false;
};
