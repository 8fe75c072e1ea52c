#include "tests/viewer/ViewerFixture.h"

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QTest>

#include "core/task/TaskFiles.h"
#include "core/platform/Files.h"
#include "qtkit/Dialogs.h"

namespace viewertest {

std::string ImageBytes(QColor color, int size, const char* format) {
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(color);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

ViewerTest::ViewerTest() : blank(ImageBytes(QColor(0xf0, 0xf0, 0xf0))) {
  testsupport::MakeBlankImage(program.Path(), blank);
  // A portable copy: the settings stay beside the program.
  platform::CreateDir(program.File("ini"));
  options.ProgramFolder = program.Path();
  options.RefreshInterval = std::chrono::milliseconds(100);
  qtkit::SetMessageInterceptor([this](const QString& text, bool isError) { boxes.push_back({text, isError}); });
  qtkit::FileChooser chooser;
  chooser.OpenFile = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) { return openAnswer; };
  chooser.SaveFile = [this](QWidget*, const QString&, const QString&, const QString&) { return saveAnswer; };
  qtkit::SetChooserForTests(chooser);
}

ViewerTest::~ViewerTest() {
  window.reset();
  qtkit::SetMessageInterceptor({});
  qtkit::SetChooserForTests({});
}

void ViewerTest::OpenWindow() {
  window = std::make_unique<viewer::ViewerWindow>(options);
  window->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
}

const task::MDTask& ViewerTest::MakeTask(const testsupport::TileBlock& block, const std::string& name) {
  parameters_ = testsupport::BlockParameters(save.Path(), block, name);
  task_ = std::make_unique<task::MDTask>(parameters_);
  task_->CreateImageFolder();
  task::WriteTaskFile(*task_);
  task::CreateFailedList(*task_);
  return *task_;
}

void ViewerTest::WriteTile(int32_t x, int32_t y, const std::string& bytes) const {
  platform::WriteFileAtomic(task_->TileFilePath(x, y), bytes);
}

void ViewerTest::WriteFailedList(const std::vector<task::TilePosition>& tiles) const {
  std::vector<std::string> records;
  for (const task::TilePosition& tile : tiles) records.push_back(task::FailedRecord(*task_, tile.X, tile.Y));
  platform::WriteTextLines(task_->FailedListFileName, records);
}

bool ViewerTest::Open(const std::string& path) {
  if (!window) OpenWindow();
  window->OpenTask(QString::fromStdString(path));
  return QTest::qWaitFor([&] { return window->Task() != nullptr && window->Task()->Path() == path; }, 10000);
}

bool ViewerTest::WaitUntilAllKnown() {
  return QTest::qWaitFor(
      [&] {
        return window->Task()->States().Count(viewer::TileState::Unknown) == 0 &&
               CountText(viewer::TileState::Unknown).endsWith(QLatin1String(": 0"));
      },
      10000);
}

viewer::TileState ViewerTest::StateOf(int32_t x, int32_t y) const {
  const viewer::TileStates& states = window->Task()->States();
  return states.At(states.IndexOf(x, y));
}

QString ViewerTest::CountText(viewer::TileState state) const {
  return window->CountLabels[static_cast<std::size_t>(state)]->text();
}

}  // namespace viewertest
