#include "gui/LogViewQt.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "qtkit/Dialogs.h"

namespace {
constexpr int kMargin = 3;
}

TLogView::TLogView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
}

void TLogView::SetLines(const std::vector<std::string>* lines) {
  lines_ = lines;
  widest_ = 0;
  longestChars_ = 0;
  anchor_ = current_ = -1;
  Measure(0);
  UpdateScrollBars();
  ScrollToEnd();
  viewport()->update();
}

void TLogView::LinesAppended(std::size_t count) {
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() >= bar->maximum();
  Measure(LineCount() - std::min(count, LineCount()));
  UpdateScrollBars();
  if (atEnd) ScrollToEnd();
  viewport()->update();
}

QString TLogView::Text() const {
  QStringList all;
  if (lines_ != nullptr) {
    all.reserve(static_cast<qsizetype>(lines_->size()));
    for (const std::string& line : *lines_) all.append(qtkit::FromLocal(line));
  }
  return all.join(QLatin1Char('\n'));
}

QString TLogView::SelectedText() const {
  if (anchor_ < 0 || lines_ == nullptr) return {};
  const long long last = static_cast<long long>(lines_->size()) - 1;
  const long long from = std::clamp(std::min(anchor_, current_), 0LL, last);
  const long long to = std::clamp(std::max(anchor_, current_), 0LL, last);
  QStringList picked;
  for (long long i = from; i <= to; ++i) picked.append(qtkit::FromLocal((*lines_)[static_cast<std::size_t>(i)]));
  return picked.join(QLatin1Char('\n'));
}

void TLogView::SelectAll() {
  if (LineCount() == 0) return;
  anchor_ = 0;
  current_ = static_cast<long long>(LineCount()) - 1;
  viewport()->update();
}

void TLogView::CopySelection() const {
  if (anchor_ >= 0) QApplication::clipboard()->setText(SelectedText());
}

int TLogView::LineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int TLogView::VisibleLines() const { return std::max(1, (viewport()->height() - 2 * kMargin) / LineHeight()); }

int TLogView::FirstVisibleLine() const { return verticalScrollBar()->value(); }

int TLogView::LineAt(int y) const {
  const long long line = FirstVisibleLine() + (y - kMargin) / LineHeight();
  const long long last = static_cast<long long>(LineCount()) - 1;
  return static_cast<int>(std::clamp(line, 0LL, std::max(last, 0LL)));
}

void TLogView::Measure(std::size_t from) {
  if (lines_ == nullptr) return;
  const QFontMetrics metrics = fontMetrics();
  // Only a line longer than every one before is measured: a million lines
  // cost a handful of calls. A shorter line of wider letters may be a little
  // wider; the scroll range leaves room for that.
  for (std::size_t i = from; i < lines_->size(); ++i) {
    const std::string& line = (*lines_)[i];
    if (line.size() <= longestChars_) continue;
    longestChars_ = line.size();
    widest_ = std::max(widest_, metrics.horizontalAdvance(qtkit::FromLocal(line)));
  }
}

void TLogView::UpdateScrollBars() {
  const int count = static_cast<int>(std::min<std::size_t>(LineCount(), 0x7fffffff));
  const int visible = VisibleLines();
  verticalScrollBar()->setRange(0, std::max(0, count - visible));
  verticalScrollBar()->setPageStep(visible);
  verticalScrollBar()->setSingleStep(1);
  const int slack = fontMetrics().averageCharWidth() * 8;
  horizontalScrollBar()->setRange(0, std::max(0, widest_ + slack + 2 * kMargin - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth() * 2);
}

void TLogView::ScrollToEnd() { verticalScrollBar()->setValue(verticalScrollBar()->maximum()); }

void TLogView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  if (lines_ == nullptr) return;
  const int height = LineHeight();
  const int ascent = fontMetrics().ascent();
  const int x = kMargin - horizontalScrollBar()->value();
  const long long first = FirstVisibleLine();
  const long long last = std::min<long long>(static_cast<long long>(lines_->size()) - 1, first + VisibleLines() + 1);
  const long long selFrom = anchor_ < 0 ? -1 : std::min(anchor_, current_);
  const long long selTo = anchor_ < 0 ? -2 : std::max(anchor_, current_);
  for (long long i = first; i <= last; ++i) {
    const int top = kMargin + static_cast<int>(i - first) * height;
    const bool selected = i >= selFrom && i <= selTo;
    if (selected) painter.fillRect(QRect(0, top, viewport()->width(), height), palette().color(QPalette::Highlight));
    painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(x, top + ascent, qtkit::FromLocal((*lines_)[static_cast<std::size_t>(i)]));
  }
}

void TLogView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  const bool atEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
  UpdateScrollBars();
  if (atEnd) ScrollToEnd();
}

void TLogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || LineCount() == 0) return QAbstractScrollArea::mousePressEvent(event);
  const int line = LineAt(event->position().toPoint().y());
  if (!(event->modifiers() & Qt::ShiftModifier) || anchor_ < 0) anchor_ = line;
  current_ = line;
  viewport()->update();
}

void TLogView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || anchor_ < 0) return QAbstractScrollArea::mouseMoveEvent(event);
  current_ = LineAt(event->position().toPoint().y());
  viewport()->update();
}

void TLogView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    CopySelection();
    return;
  }
  if (event->matches(QKeySequence::SelectAll)) {
    SelectAll();
    return;
  }
  QScrollBar* bar = verticalScrollBar();
  switch (event->key()) {
    case Qt::Key_Home:
      bar->setValue(0);
      return;
    case Qt::Key_End:
      bar->setValue(bar->maximum());
      return;
    default:
      // Arrows and page keys scroll; everything else (Enter) goes to the window.
      QAbstractScrollArea::keyPressEvent(event);
  }
}

void TLogView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copy = menu.addAction(QStringLiteral("&Copy"), this, [this] { CopySelection(); });
  copy->setEnabled(anchor_ >= 0);
  menu.addAction(QStringLiteral("Select &All"), this, [this] { SelectAll(); });
  menu.exec(event->globalPos());
}

void TLogView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    widest_ = 0;
    longestChars_ = 0;
    Measure(0);
    UpdateScrollBars();
  }
}

void TLogView::scrollContentsBy(int, int) {
  // Everything in sight is drawn anew anyway; scrolling the pixels would only
  // queue work for every one of many appended lines.
  viewport()->update();
}
