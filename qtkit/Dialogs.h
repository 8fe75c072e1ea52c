// What the window programs share over Qt: their message boxes and file
// choosers, in one place so that GUI tests can answer them without a person;
// the guard of event handlers; text in the local 8-bit encoding. Main thread
// only.
#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

class QMessageBox;
class QWidget;

namespace qtkit {

inline constexpr const char* kApplicationTitle = "Orvenna";

// std::string (bytes in the local 8-bit encoding) <-> QString; from any thread.
QString FromLocal(const std::string& text);
std::string ToLocal(const QString& text);

// The caption of every message box ("Orvenna" unless a program sets its own).
void SetMessageCaption(const QString& caption);

// Message boxes are never narrower than this, so their caption shows whole.
inline constexpr int kMinimumMessageWidth = 260;

// Plain modal message box with an OK button and the program's caption; the
// system's reason for a failure, when given, under the text.
void ShowMessage(const QString& text, const QString& reason = {});
// The box ShowMessage (isError false) or ShowErrorMessage shows, not yet
// shown; a reason is its informative text, under the text.
std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, bool isError, const QString& reason = {});

// The general error handler's box: error icon, OK, the program's caption; a
// "." is appended when the text's last character sorts after ".". The
// system's reason for a failure, when given, shows under the text, which
// stays as it is ("Cannot create file <path>." and below it "No space left on
// device").
void ShowErrorMessage(const QString& text, const QString& reason = {});
QString WithClosingPeriod(const QString& text);
// The error box of an error that escaped a handler: its text, and the
// system's reason when it is a failure of the system (platform::FailureReason).
void ShowFailure(const std::exception& error);

// Tests: every box is handed to the interceptor instead of being shown.
// isError tells the general error box from a plain one. Pass {} to restore.
using MessageInterceptor = std::function<void(const QString& text, bool isError)>;
void SetMessageInterceptor(MessageInterceptor interceptor);
// The same with the reason shown under the text (empty when none).
using DetailedMessageInterceptor = std::function<void(const QString& text, bool isError, const QString& reason)>;
void SetDetailedMessageInterceptor(DetailedMessageInterceptor interceptor);

// The file-open dialog and the folder browser. Empty when the user cancels.
struct FileChooser {
  std::function<std::optional<QString>(QWidget* parent, const QString& title, const QString& filter,
                                       const QString& startFolder, const QString& selectedFile)>
      OpenFile;
  std::function<std::optional<QString>(QWidget* parent, const QString& caption)> BrowseFolder;
  std::function<std::optional<QString>(QWidget* parent, const QString& title, const QString& filter,
                                       const QString& suggestedPath)>
      SaveFile;
};
// The chooser in use: the desktop's dialogs unless a test replaced them.
const FileChooser& Chooser();
void SetChooserForTests(FileChooser chooser);  // {} members restore the desktop's

// Runs an event handler where Qt's signal machinery calls into a program: an
// error that escapes the handler goes to the error box right here, instead of
// unwinding through Qt, which does not support exceptions.
template <typename Handler>
void RunHandler(Handler&& handler) noexcept {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowFailure(error);
  } catch (...) {
    ShowErrorMessage(QStringLiteral("Unknown error"));
  }
}

// A slot that runs a window's handler through RunHandler.
template <typename Window>
auto Slot(Window* window, void (Window::*handler)()) {
  return [window, handler] { RunHandler([&] { (window->*handler)(); }); };
}


}  // namespace qtkit
