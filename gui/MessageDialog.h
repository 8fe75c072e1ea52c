// Message boxes and file choosers of the program, in one place so that GUI
// tests can answer them without a person. Main thread only.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QMessageBox;
class QWidget;

namespace gui {

inline constexpr const char* kApplicationTitle = "Orvenna";

// Message boxes are never narrower than this, so their caption shows whole.
inline constexpr int kMinimumMessageWidth = 260;

// Plain modal message box with an OK button and the caption "Orvenna".
void ShowMessage(const QString& text);
// The box ShowMessage (isError false) or ShowErrorMessage shows, not yet shown.
std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, bool isError);

// The general error handler's box: error icon, OK, caption "Orvenna"; a "." is
// appended when the text's last character sorts after ".".
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
};
// The chooser in use: the desktop's dialogs unless a test replaced them.
const FileChooser& Chooser();
void SetChooserForTests(FileChooser chooser);  // {} members restore the desktop's

// std::string (bytes in the local 8-bit encoding) <-> QString.
QString FromLocal(const std::string& text);
std::string ToLocal(const QString& text);

}  // namespace gui
