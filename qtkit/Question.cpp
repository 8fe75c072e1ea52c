#include "qtkit/Question.h"

#include <QApplication>
#include <QMessageBox>

#include <memory>

#include "qtkit/Dialogs.h"

namespace qtkit {

namespace {

QuestionAnswerer& Answerer() {
  static QuestionAnswerer answerer;
  return answerer;
}

}  // namespace

bool AskYesNo(const QString& text) {
  if (Answerer()) return Answerer()(text);
  // The message box's caption and width, with a question's icon and buttons.
  const std::unique_ptr<QMessageBox> box = MakeMessageBox(text, false);
  box->setIcon(QMessageBox::Question);
  box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box->setDefaultButton(QMessageBox::No);
  box->setEscapeButton(QMessageBox::No);
  return box->exec() == QMessageBox::Yes;
}

void SetQuestionAnswererForTests(QuestionAnswerer answerer) { Answerer() = std::move(answerer); }

}  // namespace qtkit
