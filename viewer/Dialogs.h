// The viewer's message boxes and file choosers, in one place so that tests
// can answer them without a person, and the guard that keeps an error of a
// handler from unwinding through Qt. GUI thread only.
#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace viewer {

inline constexpr const char* kViewerTitle = "Orvenna Map Viewer";

// Modal boxes with an OK button and the viewer's caption.
void ShowMessage(const QString& text);
void ShowError(const QString& text);

// Tests: every box goes to the interceptor instead ({} restores the boxes).
using MessageInterceptor = std::function<void(const QString& text, bool isError)>;
void SetMessageInterceptor(MessageInterceptor interceptor);

// The desktop's file dialogs; nothing when the user cancels.
struct FileChooser {
  std::function<std::optional<QString>(QWidget* parent, const QString& title, const QString& filter,
                                       const QString& startFolder)>
      OpenFile;
  std::function<std::optional<QString>(QWidget* parent, const QString& title, const QString& filter,
                                       const QString& suggestedPath)>
      SaveFile;
};
const FileChooser& Chooser();
// Tests: {} members restore the desktop's dialogs.
void SetChooserForTests(FileChooser chooser);

// Runs a handler where Qt calls into the viewer: an error that escapes it is
// shown in the error box instead of unwinding through Qt.
void Guarded(const std::function<void()>& handler) noexcept;

// std::string (bytes in the local 8-bit encoding) <-> QString.
QString FromLocal(const std::string& text);
std::string ToLocal(const QString& text);

}  // namespace viewer
