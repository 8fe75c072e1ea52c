#include "tests/gui/MainWindowFixture.h"

#include <QLabel>
#include <QStringList>

#include "qtkit/Desktop.h"
#include "qtkit/Question.h"
#include "gui/LogViewQt.h"

#include "core/platform/Numbers.h"

namespace guitest {

namespace fs = std::filesystem;

void MainWindowFixture::SetUp() {
  program_ = std::make_unique<testsupport::TempDir>();
  save_ = std::make_unique<testsupport::TempDir>();
  server_ = std::make_unique<testsupport::TileServer>();
  fs::create_directory(program_->Path() + "ini");
  fs::create_directory(program_->Path() + "blankimg");
  fs::copy_file(ORVENNA_BLANK_IMAGE, program_->Path() + "blankimg/blank.jpg");
  WriteConfig();

  qtkit::SetDetailedMessageInterceptor([this](const QString& text, bool isError, const QString& reason) {
    messages_.push_back({text, isError, window_ ? BitBtn1()->text() : QString(), reason});
  });
  qtkit::SetUrlOpenerForTests([this](const QUrl& url) { desktop_.Open(url); });
  qtkit::SetQuestionAnswererForTests([this](const QString& text) {
    questions_.push_back(text);
    return answer_;
  });
}

void MainWindowFixture::TearDown() {
  window_.reset();
  qtkit::SetMessageInterceptor({});
  qtkit::SetQuestionAnswererForTests({});
  qtkit::SetChooserForTests({});
  qtkit::SetUrlOpenerForTests({});
  qtkit::SetOpenCommandForTests({});
  server_.reset();
}

void MainWindowFixture::WriteConfig(const std::string& extraIniParas) {
  testsupport::WriteFileBytes(program_->Path() + "ini/config.ini",
                              "[IniParas]\r\nDefaultPath=" + save_->Path() + "\r\n" + extraIniParas +
                                  "[Proxy]\r\nUseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=" +
                                  platform::FormatInteger(server_->Port()) + "\r\n");
}

void MainWindowFixture::RemoveConfig() { fs::remove(program_->Path() + "ini/config.ini"); }

void MainWindowFixture::OpenWindow(download::Pacing pacing) {
  window_ = std::make_unique<TForm1>(qtkit::FromLocal(program_->Path()), pacing);
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
}

void MainWindowFixture::FillExample(const QString& taskName) {
  EditTaskName()->setText(taskName);
  Edit1()->setText(QStringLiteral("116.3"));
  Edit3()->setText(QStringLiteral("116.5"));
  Edit2()->setText(QStringLiteral("40.0"));
  Edit4()->setText(QStringLiteral("39.8"));
}

void MainWindowFixture::FillOneTile(const QString& taskName) {
  EditTaskName()->setText(taskName);
  Edit1()->setText(QStringLiteral("116.30"));
  Edit3()->setText(QStringLiteral("116.31"));
  Edit2()->setText(QStringLiteral("40.00"));
  Edit4()->setText(QStringLiteral("39.99"));
}

void MainWindowFixture::ClickStart() { QTest::mouseClick(BitBtn1(), Qt::LeftButton); }

bool MainWindowFixture::WaitForRunEnd(int timeoutMs) {
  return QTest::qWaitFor(
      [this] { return BitBtn1()->text() == QStringLiteral("Start") && CountMessages(kTaskStopped) > 0; },
      timeoutMs);
}

std::vector<QString> MainWindowFixture::MessageTexts() const {
  std::vector<QString> texts;
  for (const Message& message : messages_) texts.push_back(message.Text);
  return texts;
}

int MainWindowFixture::CountMessages(const QString& text) const {
  int count = 0;
  for (const Message& message : messages_) count += message.Text == text ? 1 : 0;
  return count;
}

namespace {
// What the view shows, read back through its text.
std::vector<std::string> LinesOf(const TLogView* memo) {
  std::vector<std::string> lines;
  if (memo->LineCount() == 0) return lines;
  for (const QString& line : memo->Text().split(QLatin1Char('\n'))) lines.push_back(qtkit::ToLocal(line));
  return lines;
}
}  // namespace

std::vector<std::string> MainWindowFixture::Memo1Lines() const { return LinesOf(Memo1()); }
std::vector<std::string> MainWindowFixture::Memo2Lines() const { return LinesOf(Memo2()); }

std::vector<std::string> MainWindowFixture::RequestedPaths(std::size_t from) const {
  std::vector<std::string> paths;
  const auto requests = server_->Requests();
  for (std::size_t i = from; i < requests.size(); ++i) paths.push_back(requests[i].Path);
  return paths;
}

}  // namespace guitest
