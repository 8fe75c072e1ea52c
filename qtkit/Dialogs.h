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

// Plain modal message box with an OK button and the program's caption.
void ShowMessage(const QString& text);
// The box ShowMessage (isError false) or ShowErrorMessage shows, not yet shown.
std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, bool isError);

// The general error handler's box: error icon, OK, the program's caption; a
// "." is appended when the text's last character sorts after ".".
void ShowErrorMessage(const QString& text);
QString WithClosingPeriod(const QString& text);

// Tests: every box is handed to the interceptor instead of being shown.
// isError tells the general error box from a plain one. Pass {} to restore.
using MessageInterceptor = std::function<void(const QString& text, bool isError)>;
void SetMessageInterceptor(MessageInterceptor interceptor);

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
    ShowErrorMessage(FromLocal(error.what()));
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
