// The log window's view: shows the owner's lines, follows new ones only when
// the user has not scrolled away, selects and copies whole lines.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include <string>
#include <vector>

#include "gui/LogViewQt.h"

namespace {

std::vector<std::string> Numbered(int count) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back("line " + std::to_string(i));
  return lines;
}

class LogViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_.resize(300, 200);
    view_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view_));
  }
  std::vector<std::string> lines_ = Numbered(1000);
  TLogView view_;
};

TEST_F(LogViewTest, FollowsNewLinesOnlyWhileAtTheEnd) {
  view_.SetLines(&lines_);
  QScrollBar* bar = view_.verticalScrollBar();
  EXPECT_GT(bar->maximum(), 900);
  EXPECT_EQ(bar->value(), bar->maximum());
  const int before = bar->maximum();
  for (int i = 0; i < 10; ++i) lines_.push_back("new");
  view_.LinesAppended(10);
  EXPECT_EQ(bar->maximum(), before + 10);
  EXPECT_EQ(bar->value(), bar->maximum());

  bar->setValue(0);
  lines_.push_back("one more");
  view_.LinesAppended(1);
  EXPECT_EQ(view_.FirstVisibleLine(), 0);
  EXPECT_EQ(view_.LineCount(), 1011u);
}

TEST_F(LogViewTest, SelectsWholeLinesWithTheMouseAndCopiesThem) {
  lines_ = Numbered(5);
  view_.SetLines(&lines_);
  view_.verticalScrollBar()->setValue(0);
  const int height = view_.fontMetrics().lineSpacing();
  QWidget* area = view_.viewport();
  QTest::mousePress(area, Qt::LeftButton, {}, QPoint(10, 3 + height / 2));
  QTest::mouseMove(area, QPoint(10, 3 + 2 * height + height / 2));
  QMouseEvent move(QEvent::MouseMove, QPointF(10, 3 + 2 * height + height / 2), area->mapToGlobal(QPointF(10, 3 + 2 * height + height / 2)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(area, &move);
  QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(10, 3 + 2 * height + height / 2));
  EXPECT_EQ(view_.SelectedText(), QStringLiteral("line 0\nline 1\nline 2"));
  QTest::keyClick(&view_, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("line 0\nline 1\nline 2"));

  QTest::keyClick(&view_, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(view_.SelectedText(), view_.Text());
  EXPECT_EQ(view_.Text(), QStringLiteral("line 0\nline 1\nline 2\nline 3\nline 4"));
}

TEST_F(LogViewTest, NoLinesShowNothing) {
  view_.SetLines(nullptr);
  EXPECT_EQ(view_.LineCount(), 0u);
  EXPECT_TRUE(view_.Text().isEmpty());
  EXPECT_TRUE(view_.SelectedText().isEmpty());
  view_.repaint();
}

}  // namespace
