// Small helpers for building windows in code.
#pragma once

#include <QString>

namespace gui {

// Gives a widget its control name (objectName), so tests and accessibility
// tools find it by the name the window's handlers use.
template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace gui
