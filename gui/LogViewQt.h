// A read-only view of many text lines (the main window's log and failed-tile
// windows). It draws only the lines in sight, straight from a vector of lines
// that its owner keeps, so a log of a million lines costs little more than its
// text (a text-document widget needs close to a kilobyte per line). Whole
// lines are selected with the mouse or Ctrl+A and copied with Ctrl+C.
//
// Main thread only. The lines must outlive the view; the owner tells the view
// when they were replaced (SetLines) or appended to (LinesAppended).
#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <cstddef>
#include <string>
#include <vector>

class TLogView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TLogView(QWidget* parent = nullptr);

  // Shows lines (or nothing for nullptr) and scrolls to the last line.
  void SetLines(const std::vector<std::string>* lines);
  // The last count lines are new; follows them when the view was at the end.
  void LinesAppended(std::size_t count);

  std::size_t LineCount() const { return lines_ != nullptr ? lines_->size() : 0; }
  // Every line, joined with '\n'.
  QString Text() const;
  QString SelectedText() const;
  void SelectAll();
  void CopySelection() const;
  int FirstVisibleLine() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  int LineHeight() const;
  int VisibleLines() const;
  int LineAt(int y) const;
  void Measure(std::size_t from);
  void UpdateScrollBars();
  void ScrollToEnd();

  const std::vector<std::string>* lines_ = nullptr;
  int widest_ = 0;               // pixels of the widest line measured
  std::size_t longestChars_ = 0;  // its length, so shorter lines need no measuring
  long long anchor_ = -1;         // selection: first and last line picked
  long long current_ = -1;
};
