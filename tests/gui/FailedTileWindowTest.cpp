#include <gtest/gtest.h>

#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <optional>
#include <string>
#include <vector>

#include "qtkit/Dialogs.h"
#include "core/ftl/FailedTileRun.h"
#include "gui/Unitftl.h"
#include "core/platform/Files.h"
#include "tests/support/TileImages.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

using testsupport::Fault;
using testsupport::ReadFileBytes;
using testsupport::Reply;
using testsupport::TempDir;
using testsupport::TileServer;
using testsupport::WriteFileBytes;

struct Box {
  QString Text;
  bool IsError;
};

struct OpenCall {
  QString Title, Filter, StartFolder, SelectedFile;
};

class FailedTileWindowTest : public ::testing::Test {
 protected:
  FailedTileWindowTest() {
    qtkit::SetMessageInterceptor([this](const QString& text, bool isError) { boxes.push_back({text, isError}); });
    qtkit::FileChooser chooser;
    chooser.OpenFile = [this](QWidget*, const QString& title, const QString& filter, const QString& startFolder,
                              const QString& selectedFile) {
      openCalls.push_back({title, filter, startFolder, selectedFile});
      return openAnswer;
    };
    qtkit::SetChooserForTests(chooser);
    form.show();
  }
  ~FailedTileWindowTest() override {
    qtkit::SetMessageInterceptor({});
    qtkit::SetChooserForTests({});
  }

  std::string Url(const std::string& path) const { return "http://" + server.HostPort() + path; }
  std::string Target(const std::string& name) const { return dir.File(name); }
  std::string Record(const std::string& name, const std::string& path) const { return Target(name) + "|" + Url(path); }

  std::string WriteList(const std::string& bytes) {
    const std::string path = dir.File("task_failed.ftl");
    WriteFileBytes(path, bytes);
    return path;
  }
  std::string WriteList(const std::vector<std::string>& records) {
    return WriteList(platform::JoinLinesCrLf(records));
  }

  // Chooses the list in the open dialog and runs it, as the user does.
  void Run(const std::string& listPath) {
    openAnswer = QString::fromStdString(listPath);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
  }

  QStringList Log() const { return form.Memo1->toPlainText().split('\n'); }

  TempDir dir;
  TileServer server;
  TfrmFlt form;
  std::vector<Box> boxes;
  std::vector<OpenCall> openCalls;
  std::optional<QString> openAnswer;
};

TEST_F(FailedTileWindowTest, WindowCaptionSizeAndControls) {
  EXPECT_EQ(form.windowTitle(), "Re-Download failed files");
  EXPECT_EQ(form.size(), QSize(703, 453));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());

  const auto* panel1 = form.findChild<QFrame*>("Panel1");
  ASSERT_NE(panel1, nullptr);
  EXPECT_EQ(panel1->geometry(), QRect(0, 0, 703, 57));
  const auto* button = form.findChild<QPushButton*>("Button1");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "Open *.ftl file and download...");
  EXPECT_EQ(button->parentWidget(), panel1);
  EXPECT_EQ(button->geometry(), QRect(16, 16, 201, 25));

  const auto* panel2 = form.findChild<QFrame*>("Panel2");
  ASSERT_NE(panel2, nullptr);
  EXPECT_EQ(panel2->geometry(), QRect(0, 57, 703, 453 - 57));
  const auto* memo = form.findChild<QPlainTextEdit*>("Memo1");
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(memo->parentWidget(), panel2);
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo->font().pixelSize(), 13);
}

TEST_F(FailedTileWindowTest, OpenDialogOffersPreviousFileAndCancelKeepsLog) {
  const std::string list = WriteList({Record("a.jpg", "/maps/a.jpg")});
  Run(list);
  const QString logAfterRun = form.Memo1->toPlainText();
  ASSERT_FALSE(logAfterRun.isEmpty());

  openAnswer.reset();
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_EQ(form.Memo1->toPlainText(), logAfterRun);
  EXPECT_EQ(server.Requests().size(), 1u);

  ASSERT_EQ(openCalls.size(), 2u);
  for (const OpenCall& call : openCalls) {
    EXPECT_EQ(call.Title, "Open ftl file:");
    EXPECT_EQ(call.Filter, "Projects(*.ftl)");
    EXPECT_TRUE(call.StartFolder.isEmpty());
  }
  EXPECT_TRUE(openCalls[0].SelectedFile.isEmpty());
  EXPECT_EQ(openCalls[1].SelectedFile, QString::fromStdString(list));
}

TEST_F(FailedTileWindowTest, EmptyListLogsOnlyNoRecords) {
  form.Memo1->setPlainText("old text");
  Run(WriteList(std::string()));
  EXPECT_EQ(form.Memo1->toPlainText(), "No failed files records.");
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_TRUE(boxes.empty());
}

// A file of lines that are no failed-tile records (an empty line, a task
// file chosen by mistake) is refused with a line that says so; nothing is sent.
TEST_F(FailedTileWindowTest, AFileWithoutAFailedTileRecordIsRefusedAndNothingIsSent) {
  for (const std::string& bytes : {std::string("\r\n"), std::string("[AREA]\r\nLeftLongitude=116.3\r\n")}) {
    const std::string list = WriteList(bytes);
    Run(list);
    EXPECT_EQ(Log(), QStringList{QString::fromStdString(ftl::NoRecordText(list))});
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(boxes.empty());
  }
}

TEST_F(FailedTileWindowTest, BanStopsTheRunAfterTheRefusedRecord) {
  server.Script("/maps/b.jpg", {Reply::StatusOnly(403, "Forbidden")});
  const std::string list =
      WriteList({Record("a.jpg", "/maps/a.jpg"), Record("b.jpg", "/maps/b.jpg"), Record("c.jpg", "/maps/c.jpg")});
  const std::string listBytes = ReadFileBytes(list);
  Run(list);

  const QStringList expected = {
      "Start...",
      QString::fromStdString(Target("a.jpg") + ":" + Url("/maps/a.jpg") + " ->OK"),
      QString::fromStdString("HTTP/1.1 403 Forbidden->" + Url("/maps/b.jpg")),
      "Error: may be your IP is banned.",
      "Please try again later.",
      "Download End.",
  };
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(ReadFileBytes(Target("a.jpg")), TileServer::DefaultBody("/maps/a.jpg"));
  EXPECT_FALSE(platform::FileExists(Target("b.jpg")));
  EXPECT_TRUE(server.RequestsFor("/maps/c.jpg").empty()) << "no record after a ban is tried";
  EXPECT_EQ(ReadFileBytes(list), listBytes);
}

TEST_F(FailedTileWindowTest, NotFoundLogsTwoLinesAndTheRunGoesOn) {
  server.Script("/maps/a.jpg", {Reply::StatusOnly(404, "Not Found")});
  Run(WriteList({Record("a.jpg", "/maps/a.jpg"), Record("b.jpg", "/maps/b.jpg")}));
  const QStringList expected = {
      "Start...",
      QString::fromStdString("HTTP/1.1 404 Not Found->" + Url("/maps/a.jpg")),
      QString::fromStdString(Url("/maps/a.jpg") + ":Error: the image is not found on server."),
      QString::fromStdString(Target("b.jpg") + ":" + Url("/maps/b.jpg") + " ->OK"),
      "Download End.",
  };
  EXPECT_EQ(Log(), expected);
  EXPECT_FALSE(platform::FileExists(Target("a.jpg")));
}

TEST_F(FailedTileWindowTest, ResetThenSuccessLogsOneLineAndStoresTheSecondBody) {
  server.Script("/maps/a.jpg", {Reply::WithFault(Fault::Reset), Reply::Ok(testsupport::TileImage("second body"))});
  WriteFileBytes(Target("a.jpg"), "stale tile");
  const std::string list = WriteList({Record("a.jpg", "/maps/a.jpg")});
  const std::string listBytes = ReadFileBytes(list);
  Run(list);
  const QStringList expected = {
      "Start...",
      QString::fromStdString(Target("a.jpg") + ":" + Url("/maps/a.jpg") + " ->OK"),
      "Download End.",
  };
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(server.RequestsFor("/maps/a.jpg").size(), 2u);
  EXPECT_EQ(ReadFileBytes(Target("a.jpg")), testsupport::TileImage("second body"));
  EXPECT_EQ(ReadFileBytes(list), listBytes) << "the list is only read";

  // Running the same list again fetches every record again.
  Run(list);
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(server.RequestsFor("/maps/a.jpg").size(), 3u);
  EXPECT_EQ(ReadFileBytes(list), listBytes);
}

TEST_F(FailedTileWindowTest, ShowingAgainClearsTheLog) {
  Run(WriteList({Record("a.jpg", "/maps/a.jpg")}));
  ASSERT_FALSE(form.Memo1->toPlainText().isEmpty());
  form.hide();
  form.show();
  EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());
}

TEST_F(FailedTileWindowTest, UnreadableListGoesToTheErrorHandler) {
  form.Memo1->setPlainText("previous run");
  const std::string missing = dir.File("missing.ftl");
  Run(missing);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, QString::fromStdString("Cannot open file " + missing + "."));
  EXPECT_TRUE(boxes[0].IsError);
  EXPECT_TRUE(form.Memo1->toPlainText().isEmpty()) << "the log is cleared before the list is read";
  EXPECT_TRUE(server.Requests().empty());

  // Called directly, the same error leaves the handler.
  EXPECT_THROW(form.Button1Click(), platform::FileError);
}

TEST_F(FailedTileWindowTest, TileThatCannotBeSavedEndsTheRunThroughTheErrorHandler) {
  const std::string target = dir.File("nofolder/a.jpg");
  Run(WriteList({target + "|" + Url("/maps/a.jpg"), Record("b.jpg", "/maps/b.jpg")}));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, QString::fromStdString("Cannot create file " + target + "."));
  EXPECT_TRUE(boxes[0].IsError);
  EXPECT_EQ(Log(), QStringList({"Start..."})) << "no further line and no \"Download End.\"";
  EXPECT_TRUE(server.RequestsFor("/maps/b.jpg").empty());

  // The window takes the next run as usual.
  boxes.clear();
  Run(WriteList({Record("b.jpg", "/maps/b.jpg")}));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(Log().back(), "Download End.");
}

}  // namespace
