#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <string>
#include <utility>
#include <vector>

#include "qtkit/Dialogs.h"
#include "core/platform/Locale.h"
#include "gui/ConvertWindow.h"

namespace {

struct Box {
  QString Text;
  bool IsError;
};

class ConvertWindowTest : public ::testing::Test {
 protected:
  ConvertWindowTest() {
    qtkit::SetMessageInterceptor([this](const QString& text, bool isError) { boxes.push_back({text, isError}); });
    form.show();
  }
  ~ConvertWindowTest() override { qtkit::SetMessageInterceptor({}); }

  // Types the three fields as a user would and presses "convert".
  QString Convert(const QString& degrees, const QString& minutes, const QString& seconds) {
    const std::vector<std::pair<QLineEdit*, QString>> fields = {
        {form.Edit1, degrees}, {form.Edit2, minutes}, {form.Edit3, seconds}};
    for (const auto& [edit, text] : fields) {
      edit->clear();
      QTest::keyClicks(edit, text);
    }
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    return form.Edit4->text();
  }

  // The results are written with a point; the window uses the desktop's mark.
  static QString Local(QString text) { return text.replace('.', QChar(platform::DesktopDecimalSeparator())); }

  TfrmConvert form;
  std::vector<Box> boxes;
};

TEST_F(ConvertWindowTest, WindowCaptionSizeAndControls) {
  EXPECT_EQ(form.windowTitle(), "Convert \"Degrees,Minutes,Seconds\" to \"Degrees\"");
  EXPECT_EQ(form.size(), QSize(466, 99));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(form.isModal());

  EXPECT_EQ(form.findChild<QLabel*>("Label1")->text(), "Degrees, Minutes, Seconds:");
  EXPECT_EQ(form.findChild<QLabel*>("Label2")->text(), "Degrees:");
  const auto* button = form.findChild<QPushButton*>("Button1");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "convert");
  EXPECT_TRUE(button->isDefault());
  for (const char* name : {"Edit1", "Edit2", "Edit3"}) {
    const auto* edit = form.findChild<QLineEdit*>(name);
    ASSERT_NE(edit, nullptr) << name;
    EXPECT_EQ(edit->width(), 49) << name;
    EXPECT_FALSE(edit->isReadOnly()) << name;
  }
  const auto* result = form.findChild<QLineEdit*>("Edit4");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->width(), 121);
  EXPECT_TRUE(result->isReadOnly());
  for (const char* name : {"GroupBox1", "GroupBox2"}) {
    const auto* group = form.findChild<QGroupBox*>(name);
    ASSERT_NE(group, nullptr) << name;
    EXPECT_TRUE(group->title().isEmpty()) << name;
  }
}

TEST_F(ConvertWindowTest, ShowsTheSinglePrecisionResult) {
  struct Row {
    const char* Degrees;
    const char* Minutes;
    const char* Seconds;
    const char* Shown;
  };
  const std::vector<Row> rows = {
      {"10", "30", "0", "10.5"},
      {"45", "0", "0", "45"},
      {"0", "0", "0", "0"},
      {"151", "12", "33.48", "151.20930480957"},
      {"116", "23", "30", "116.391670227051"},
      {"-33", "30", "0", "-32.5"},
      {"-33", "52", "0", "-32.1333351135254"},
      {"0", "90", "0", "1.5"},
      {" 10", "$1E", "0", "10.5"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Convert(row.Degrees, row.Minutes, row.Seconds), Local(row.Shown))
        << row.Degrees << " " << row.Minutes << " " << row.Seconds;
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ConvertWindowTest, SecondsAreReadLeniently) {
  // Each pair must show the same result: the lenient text and its plain reading.
  const std::vector<std::pair<const char*, const char*>> pairs = {
      {"33,48", "33"}, {"12abc", "12"}, {"", "0"}, {"abc", "0"}, {" 7.5e1x", "75"},
  };
  for (const auto& [lenient, plain] : pairs) {
    const QString expected = Convert("151", "12", plain);
    EXPECT_EQ(Convert("151", "12", lenient), expected) << lenient;
  }
  EXPECT_NE(Convert("151", "12", "33,48"), Convert("151", "12", "33.48"));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ConvertWindowTest, BadDegreesOrMinutesShowInputErrorAndKeepResult) {
  ASSERT_EQ(Convert("10", "30", "0"), Local("10.5"));
  const std::vector<std::pair<const char*, const char*>> bad = {
      {"", "30"}, {"10", ""}, {"10", "30.5"}, {"1O", "30"}, {"2147483648", "0"}, {"10 ", "30"}, {"-$10", "0"},
  };
  for (const auto& [degrees, minutes] : bad) {
    boxes.clear();
    EXPECT_EQ(Convert(degrees, minutes, "12"), Local("10.5")) << degrees << " / " << minutes;
    ASSERT_EQ(boxes.size(), 1u) << degrees << " / " << minutes;
    EXPECT_EQ(boxes[0].Text, "Input Error.");
    EXPECT_FALSE(boxes[0].IsError) << "a plain message box";
    EXPECT_EQ(form.Edit1->text(), degrees);
    EXPECT_EQ(form.Edit2->text(), minutes);
  }
}

TEST_F(ConvertWindowTest, EnterConvertsAndValuesSurviveHideAndShow) {
  form.Edit1->setText("116");
  form.Edit2->setText("23");
  form.Edit3->setText("30");
  QTest::keyClick(form.Edit3, Qt::Key_Return);
  EXPECT_EQ(form.Edit4->text(), Local("116.391670227051"));

  form.hide();
  form.show();
  EXPECT_EQ(form.Edit1->text(), "116");
  EXPECT_EQ(form.Edit2->text(), "23");
  EXPECT_EQ(form.Edit3->text(), "30");
  EXPECT_EQ(form.Edit4->text(), Local("116.391670227051"));
}

}  // namespace
