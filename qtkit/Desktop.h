// The desktop around the windows: a window centred on its screen, files and
// addresses handed to the desktop, and the sibling programs installed beside
// this one started. Nothing here fails silently: whatever cannot be opened
// or started is named in the error box. Main thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QWidget;

namespace qtkit {

// Moves window to the middle of its screen's free area (the primary screen's
// when it has none yet), frame included.
void CentreOnScreen(QWidget& window);

// The desktop's "open" action on a file or address. A local file that does
// not exist is reported at once; a desktop that cannot open the target (no
// program set up for it, the opener failing) is reported when its opener
// says so, which may be after this returns.
void OpenOnDesktop(const QUrl& url);

// Starts program (a full path) with arguments, on its own. title names it
// for the user ("The map viewer"); a program that is not there, or cannot be
// started, is reported.
void StartSibling(const QString& program, const QString& title, const QStringList& arguments = {});

// Tests: replaces what hands a checked address over to the desktop ({}
// restores the desktop's), or the opener program the desktop's way runs
// (xdg-open where there is one; it gets the address as its only argument
// and reports failure by a non-zero exit status; empty restores it).
void SetUrlOpenerForTests(std::function<void(const QUrl&)> opener);
void SetOpenCommandForTests(const QString& program);

}  // namespace qtkit
