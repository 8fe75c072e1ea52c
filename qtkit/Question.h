// A question the user answers with Yes or No, in one place so that GUI tests
// can answer it without a person. Main thread only.
#pragma once

#include <QString>

#include <functional>

namespace qtkit {

// A modal box with the program's caption, a question icon, Yes and No (No
// the default, as Escape is); true for Yes.
bool AskYesNo(const QString& text);

// Tests: every question is handed to answerer instead of being shown. Pass
// {} to restore.
using QuestionAnswerer = std::function<bool(const QString& text)>;
void SetQuestionAnswererForTests(QuestionAnswerer answerer);

}  // namespace qtkit
