#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "qtkit/Dialogs.h"
#include "core/platform/Files.h"
#include "core/settings/IniFile.h"
#include "gui/Unitoptions.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

struct Box {
  QString Text;
  bool IsError;
};

// Captures every message box and answers the folder browser for one test.
class DesktopAnswers {
 public:
  DesktopAnswers() {
    qtkit::SetMessageInterceptor([this](const QString& text, bool isError) { Boxes.push_back({text, isError}); });
    qtkit::FileChooser chooser;
    chooser.BrowseFolder = [this](QWidget*, const QString& caption) {
      BrowseCaptions.push_back(caption);
      return FolderAnswer;
    };
    qtkit::SetChooserForTests(chooser);
  }
  ~DesktopAnswers() {
    qtkit::SetMessageInterceptor({});
    qtkit::SetChooserForTests({});
  }

  std::vector<Box> Boxes;
  std::vector<QString> BrowseCaptions;
  std::optional<QString> FolderAnswer;
};

class OptionsWindowTest : public ::testing::Test {
 protected:
  OptionsWindowTest() {
    platform::CreateDir(dir.File("ini"));
    configPath = dir.File("ini/config.ini");
  }

  std::string Bytes() const { return ReadFileBytes(configPath); }

  TempDir dir;
  std::string configPath;
  DesktopAnswers answers;
};

TEST_F(OptionsWindowTest, WindowCaptionSizeAndControlTexts) {
  TfrmOptions form(QString::fromStdString(configPath));
  form.show();
  EXPECT_EQ(form.windowTitle(), "Options");
  EXPECT_EQ(form.size(), QSize(360, 375)) << "342 and a row for Map cache...";
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed dialog border";

  const std::vector<std::pair<const char*, const char*>> labels = {
      {"Label1", "Default path to save :"}, {"Label3", "Proxy Server Name (IP)"}, {"Label4", "Proxy Port"},
      {"Label5", "Proxy Username"},         {"Label6", "Proxy Password"},
  };
  for (const auto& [name, text] : labels) {
    const auto* label = form.findChild<QLabel*>(name);
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(label->text(), text) << name;
  }
  const std::vector<std::pair<const char*, const char*>> buttons = {
      {"Button1", "OK"}, {"Button2", "Cancel"}, {"Button3", "..."}};
  for (const auto& [name, text] : buttons) {
    const auto* button = form.findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    EXPECT_EQ(button->text(), text) << name;
  }
  const auto* check = form.findChild<QCheckBox*>("CheckBoxUseProxy");
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->text(), "Use proxy server");
  for (const char* name : {"Edit12", "EditProxyServer", "EditProxyPort", "EditProxyUsername", "EditProxyPassword"}) {
    const auto* edit = form.findChild<QLineEdit*>(name);
    ASSERT_NE(edit, nullptr) << name;
    EXPECT_EQ(edit->echoMode(), QLineEdit::Normal) << name;
    EXPECT_TRUE(edit->isEnabled()) << name << " is enabled whatever the check box says";
  }
  ASSERT_NE(form.findChild<QWidget*>("Panel1"), nullptr);
  const auto* group = form.findChild<QGroupBox*>("GroupBox1");
  ASSERT_NE(group, nullptr);
  EXPECT_TRUE(group->title().isEmpty());
  EXPECT_TRUE(form.Button1->isDefault());
}

TEST_F(OptionsWindowTest, TabOrderPutsPasswordBeforeUserName) {
  TfrmOptions form(QString::fromStdString(configPath));
  form.show();
  QStringList order;
  QWidget* widget = form.Edit12;
  do {
    if (widget->focusPolicy() & Qt::TabFocus) order << widget->objectName();
    widget = widget->nextInFocusChain();
  } while (widget != form.Edit12);
  EXPECT_EQ(order, QStringList({"Edit12", "Button3", "Button1", "Button2", "CheckBoxUseProxy", "EditProxyServer",
                                "EditProxyPort", "EditProxyPassword", "EditProxyUsername", "ButtonTileSources",
                                "ButtonNearmapApi", "ButtonMapCache"}));
}

TEST_F(OptionsWindowTest, WithoutSettingsFileShowsDefaultsAndCreatesNothing) {
  TfrmOptions form(QString::fromStdString(configPath));
  form.show();
  EXPECT_EQ(form.Edit12->text(), qtkit::FromLocal(platform::BuiltInFolder("downloads")));
  EXPECT_EQ(form.Edit12->text(), qtkit::FromLocal(platform::BuiltInFolder("downloads")));
  EXPECT_FALSE(form.CheckBoxUseProxy->isChecked());
  EXPECT_EQ(form.EditProxyServer->text(), "");
  EXPECT_EQ(form.EditProxyPort->text(), "");
  EXPECT_EQ(form.EditProxyUsername->text(), "");
  EXPECT_EQ(form.EditProxyPassword->text(), "");
  EXPECT_FALSE(platform::FileExists(configPath));
  EXPECT_TRUE(answers.Boxes.empty());
}

TEST_F(OptionsWindowTest, OkCreatesOwnerOnlyFileWithKeysInOrderOfWrites) {
  TfrmOptions form(QString::fromStdString(configPath));
  form.show();
  form.Edit12->clear();
  QTest::keyClicks(form.Edit12, "/srv/maps");
  form.CheckBoxUseProxy->setChecked(true);
  QTest::keyClicks(form.EditProxyServer, "10.0.0.7");
  QTest::keyClicks(form.EditProxyPort, "80a");
  QTest::keyClicks(form.EditProxyUsername, "walker");
  QTest::keyClicks(form.EditProxyPassword, "p:w%d 1");
  QTest::mouseClick(form.Button1, Qt::LeftButton);

  EXPECT_TRUE(answers.Boxes.empty());
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(Bytes(),
            "[IniParas]\r\n"
            "DefaultPath=/srv/maps\r\n"
            "[Proxy]\r\n"
            "UseProxy=1\r\n"
            "ProxyServer=10.0.0.7\r\n"
            "ProxyPort=80a\r\n"
            "ProxyUsername=walker\r\n"
            "ProxyPassword=p:w%d 1\r\n");
  struct stat info {};
  ASSERT_EQ(::stat(configPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "the file holds the proxy password";

  // The next showing reads back what was written.
  form.show();
  EXPECT_EQ(form.Edit12->text(), "/srv/maps");
  EXPECT_TRUE(form.CheckBoxUseProxy->isChecked());
  EXPECT_EQ(form.EditProxyPort->text(), "80a");
  EXPECT_EQ(form.EditProxyUsername->text(), "walker");
  EXPECT_EQ(form.EditProxyPassword->text(), "p:w%d 1");
}

TEST_F(OptionsWindowTest, OkWithDefaultsWritesOfferedFolderAndEmptyValues) {
  TfrmOptions form(QString::fromStdString(configPath));
  form.show();
  form.Button1Click();
  const settings::IniFile ini(configPath);
  EXPECT_EQ(ini.ReadString("IniParas", "DefaultPath", "?"), platform::BuiltInFolder("downloads"));
  EXPECT_EQ(ini.ReadInteger("Proxy", "UseProxy", -1), 0);
  const std::string bytes = Bytes();
  for (const char* line : {"\r\nUseProxy=0\r\n", "\r\nProxyServer=\r\n", "\r\nProxyPort=\r\n",
                           "\r\nProxyUsername=\r\n", "\r\nProxyPassword=\r\n"}) {
    EXPECT_NE(bytes.find(line), std::string::npos) << line;
  }
}

TEST_F(OptionsWindowTest, UseProxyIsTickedOnlyByTheValueOne) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"1", true}, {"0x1", true}, {"$1", true}, {" 1 ", true}, {"2", false},
      {"yes", false}, {"", false}, {"-1", false}, {"1.0", false},
  };
  for (const auto& [value, ticked] : cases) {
    WriteFileBytes(configPath, "[proxy]\r\nuseproxy=" + value + "\r\n");
    TfrmOptions form(QString::fromStdString(configPath));
    form.show();
    EXPECT_EQ(form.CheckBoxUseProxy->isChecked(), ticked) << "UseProxy=" << value;
  }
}

TEST_F(OptionsWindowTest, UseProxyTwoShowsUntickedAndOkWritesZero) {
  WriteFileBytes(configPath, "[IniParas]\r\nDefaultPath=/data\r\n[Proxy]\r\nUseProxy=2\r\nProxyServer=host\r\n");
  TfrmOptions form(QString::fromStdString(configPath));
  form.show();
  EXPECT_FALSE(form.CheckBoxUseProxy->isChecked());
  EXPECT_EQ(form.EditProxyServer->text(), "host");
  form.Button1Click();
  EXPECT_EQ(settings::IniFile(configPath).ReadString("Proxy", "UseProxy", "?"), "0");
  EXPECT_EQ(Bytes().rfind("[IniParas]\r\nDefaultPath=/data\r\n[Proxy]\r\nUseProxy=0\r\nProxyServer=host\r\n", 0), 0u)
      << "values are replaced where their lines stand";
}

TEST_F(OptionsWindowTest, CancelLeavesFileUnchangedAndNextShowingReadsFileAgain) {
  const std::string original =
      "; kept\r\n[IniParas]\r\nDefaultPath=/data\r\nVersion=6.31\r\n[Proxy]\r\nUseProxy=1\r\nProxyPort=3128\r\n";
  WriteFileBytes(configPath, original);
  TfrmOptions form(QString::fromStdString(configPath));
  form.show();
  EXPECT_EQ(form.Edit12->text(), "/data");
  QTest::keyClicks(form.Edit12, "/other");
  form.CheckBoxUseProxy->setChecked(false);
  QTest::keyClicks(form.EditProxyPort, "9");
  QTest::mouseClick(form.Button2, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Rejected);
  EXPECT_EQ(Bytes(), original);

  form.show();
  EXPECT_EQ(form.Edit12->text(), "/data");
  EXPECT_TRUE(form.CheckBoxUseProxy->isChecked());
  EXPECT_EQ(form.EditProxyPort->text(), "3128");

  // Closing by Escape writes nothing either.
  QTest::keyClicks(form.EditProxyPort, "0");
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(Bytes(), original);
}

TEST_F(OptionsWindowTest, FolderBrowserSetsEdit12OrLeavesItOnCancel) {
  TfrmOptions form(QString::fromStdString(configPath));
  form.show();
  form.Edit12->setText("/kept");
  QTest::mouseClick(form.Button3, Qt::LeftButton);
  EXPECT_EQ(form.Edit12->text(), "/kept");
  ASSERT_EQ(answers.BrowseCaptions.size(), 1u);
  EXPECT_EQ(answers.BrowseCaptions[0], "Select path");

  answers.FolderAnswer = QString::fromStdString(dir.Path() + "chosen");
  QTest::mouseClick(form.Button3, Qt::LeftButton);
  EXPECT_EQ(form.Edit12->text(), QString::fromStdString(dir.Path() + "chosen"));
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(platform::FileExists(configPath)) << "browsing writes nothing";
}

TEST_F(OptionsWindowTest, WriteFailureReachesErrorHandlerAndDialogStaysOpen) {
  const std::string missingConfig = dir.File("noini/config.ini");
  TfrmOptions form(QString::fromStdString(missingConfig));
  form.show();
  form.EditProxyServer->setText("host");

  try {
    form.Button1Click();
    ADD_FAILURE() << "no error for a missing ini folder";
  } catch (const platform::FileError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + missingConfig);
  }
  EXPECT_TRUE(form.isVisible());

  // Pressed by the user, the error goes through the application's handler.
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  ASSERT_EQ(answers.Boxes.size(), 1u);
  EXPECT_EQ(answers.Boxes[0].Text, QString::fromStdString("Unable to write to " + missingConfig + "."));
  EXPECT_TRUE(answers.Boxes[0].IsError);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.EditProxyServer->text(), "host");
  EXPECT_FALSE(platform::DirectoryExists(dir.File("noini"))) << "the ini folder is never created";

  // Emitted without an event (as a shortcut or a test does), the error is
  // caught where the signal enters the handler, not unwound through Qt.
  answers.Boxes.clear();
  form.Button1->click();
  ASSERT_EQ(answers.Boxes.size(), 1u);
  EXPECT_TRUE(answers.Boxes[0].IsError);

  // Once the cause is gone, OK goes through.
  ASSERT_TRUE(platform::CreateDir(dir.File("noini")));
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(settings::IniFile(missingConfig).ReadString("Proxy", "ProxyServer", ""), "host");
}

}  // namespace
