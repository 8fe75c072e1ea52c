// Tools > Choose area on map...: the area window starts on the window's
// rectangle, and "Use this area" fills the four coordinates in the task
// file's own number form, the zoom and the map type, so that a Start of them
// continues the task made from the same area.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "core/area/Area.h"
#include "core/run/ConfigFile.h"
#include "core/run/NewTask.h"
#include "core/run/Start.h"
#include "core/run/TaskControls.h"
#include "mapkit/AreaWindow.h"
#include "tests/gui/MainWindowFixture.h"

namespace guitest {
namespace {

class AreaChoiceTest : public MainWindowFixture {
 protected:
  testsupport::TempDir cache_;
  testsupport::ScopedEnvironment cacheHome_{"XDG_CACHE_HOME", cache_.Path().c_str()};
};

QString Text(double degrees) { return qtkit::FromLocal(area::CoordinateText(degrees)); }

TEST_F(AreaChoiceTest, UseThisAreaFillsTheFieldsAndStartContinuesTheTaskOfTheSameArea) {
  // The task of a box, made as the viewer's new task and orvenna-cli new make it.
  const area::Area box{116.31, 39.81, 116.42, 39.93};
  run::TaskControls controls{"area.otsk", 0,  area::CoordinateText(box.West), area::CoordinateText(box.East),
                             area::CoordinateText(box.North), area::CoordinateText(box.South), "12", SavePath(),
                             "", {}, ""};
  const run::ControlsCheck check = run::CheckStart(controls, run::ConfigFile(program_->Path() + "ini/config.ini"));
  ASSERT_TRUE(check.Parameters) << check.Message;
  run::WriteTaskFiles(*check.Parameters, check.Run, program_->Path());

  OpenWindow();
  FillExample(QStringLiteral("area.otsk"));
  ChooseAreaonmap1()->trigger();
  mapkit::AreaWindow* chooser = window_->AreaWindow();
  ASSERT_NE(chooser, nullptr);
  EXPECT_TRUE(chooser->isVisible());
  // It starts on what the window holds.
  EXPECT_EQ(chooser->Map->Area(), (area::Area{116.3, 39.8, 116.5, 40}));
  EXPECT_EQ(chooser->ZoomBox->value(), 13);
  EXPECT_EQ(chooser->LayerBox->currentText(), radio_mapstype()->currentText());

  chooser->WestEdit->setText(QStringLiteral("116.31"));
  chooser->EastEdit->setText(QStringLiteral("116,42"));  // either decimal mark, as Start takes it
  chooser->NorthEdit->setText(QStringLiteral("39.93"));
  chooser->SouthEdit->setText(QStringLiteral("39.81"));
  emit chooser->SouthEdit->editingFinished();
  chooser->ZoomBox->setValue(12);
  ASSERT_TRUE(chooser->AcceptButton->isEnabled());
  chooser->AcceptButton->click();

  EXPECT_FALSE(chooser->isVisible());
  EXPECT_EQ(Edit1()->text(), Text(box.West));
  EXPECT_EQ(Edit3()->text(), Text(box.East));
  EXPECT_EQ(Edit2()->text(), Text(box.North));
  EXPECT_EQ(Edit4()->text(), Text(box.South));
  EXPECT_EQ(Edit5()->text(), QStringLiteral("12"));
  EXPECT_EQ(radio_mapstype()->currentIndex(), 0);

  ClickStart();
  ASSERT_NE(window_->CurrentRunSettings(), nullptr);
  EXPECT_TRUE(window_->CurrentRunSettings()->ContinueTask);
  EXPECT_TRUE(WaitForRunEnd());
}

}  // namespace
}  // namespace guitest
