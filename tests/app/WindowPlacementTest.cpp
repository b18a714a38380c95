#include "viewers/WindowPlacement.h"

#include <QApplication>
#include <QSettings>
#include <QWidget>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

class PlacementTest : public ::testing::Test {
protected:
  PlacementTest() : ini(QString::fromStdString(dir.File("model.ini")), QSettings::IniFormat) {
    window.setObjectName("frmPoints");
    window.move(100, 120);
    window.resize(200, 150);
  }
  testsupport::TempDir dir;
  QSettings ini;
  QWidget window;
};

TEST_F(PlacementTest, NormalWindowWritesStateAndBounds) {
  SaveWindowPlacement(ini, window);
  EXPECT_EQ(ini.value("frmPoints/WindowState").toInt(), 0);
  EXPECT_EQ(ini.value("frmPoints/Left").toInt(), window.frameGeometry().x());
  EXPECT_EQ(ini.value("frmPoints/Width").toInt(), window.frameGeometry().width());
  EXPECT_EQ(ini.value("frmPoints/Height").toInt(), window.frameGeometry().height());
}

TEST_F(PlacementTest, MaximizedWindowWritesOnlyItsState) {
  ini.setValue("frmPoints/Width", 321);
  window.setWindowState(Qt::WindowMaximized);
  SaveWindowPlacement(ini, window);
  EXPECT_EQ(ini.value("frmPoints/WindowState").toInt(), 2);
  EXPECT_EQ(ini.value("frmPoints/Width").toInt(), 321);
  EXPECT_FALSE(ini.contains("frmPoints/Left"));
}

TEST_F(PlacementTest, MissingSectionLeavesTheWindowAlone) {
  RestoreWindowPlacement(ini, window);
  EXPECT_EQ(window.size(), QSize(200, 150));
  EXPECT_EQ(window.windowState(), Qt::WindowNoState);
}

TEST_F(PlacementTest, RestoreReadsBoundsButNotThoseGivenAsMinusOne) {
  ini.setValue("frmPoints/WindowState", 0);
  ini.setValue("frmPoints/Left", 40);
  ini.setValue("frmPoints/Top", 50);
  ini.setValue("frmPoints/Width", 260);
  ini.setValue("frmPoints/Height", "abc");  // not an integer: the default
  RestoreWindowPlacement(ini, window, 100, 120, -1, 150);
  EXPECT_EQ(window.frameGeometry().x(), 40);
  EXPECT_EQ(window.frameGeometry().y(), 50);
  EXPECT_EQ(window.width(), 200);
  EXPECT_EQ(window.frameGeometry().height(), 150);
}

TEST_F(PlacementTest, SavedMaximizedStateIsRestored) {
  ini.setValue("frmPoints/WindowState", 2);
  ini.setValue("frmPoints/Width", 999);
  RestoreWindowPlacement(ini, window);
  EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
}

// The first layout: a 560 x 520 main window at (0, 92) and windows of 220 x 240 and 220 x 50.
TEST(LayoutBeside, FillsAColumnRightOfTheMainWindowThenTheNextOne) {
  const QRect main(0, 92, 560, 520);
  const QList<QPoint> p = LayoutBeside(main, {{220, 240}, {220, 240}, {220, 50}, {240, 260}},
                                       QRect(0, 0, 1280, 800), 6);
  EXPECT_EQ(p, (QList<QPoint>{{566, 92}, {566, 338}, {566, 584}, {792, 92}}));
}

TEST(LayoutBeside, GoesBelowTheMainWindowWhereTheScreenIsTooNarrow) {
  const QRect main(0, 0, 700, 400);
  const QList<QPoint> p =
      LayoutBeside(main, {{220, 240}, {220, 240}, {220, 50}}, QRect(0, 0, 800, 1000), 6);
  EXPECT_EQ(p, (QList<QPoint>{{0, 406}, {226, 406}, {452, 406}}));
}

// A first start on a screen of 800 x 600 (1600 x 1200 at scale 2): the main window gets
// narrower until the side windows' column fits on its right.
TEST(AnchorLeavingRoom, NarrowsTheMainWindowExactlyUntilTheColumnFits) {
  const QList<QSize> sides = {{223, 238}, {223, 238}, {217, 52}};
  const QRect screen(0, 0, 800, 600);
  // 800 - 223 - 6 = 571: exactly the widest main window that leaves room.
  EXPECT_EQ(AnchorLeavingRoom(QRect(0, 0, 600, 548), sides, screen, 360), QRect(0, 0, 571, 548));
  EXPECT_EQ(AnchorLeavingRoom(QRect(0, 0, 571, 548), sides, screen, 360), QRect(0, 0, 571, 548));
  // Already room: unchanged.
  EXPECT_EQ(AnchorLeavingRoom(QRect(0, 0, 400, 548), sides, screen, 360), QRect(0, 0, 400, 548));
}

TEST(AnchorLeavingRoom, PutsTheWindowWithItsFrameOnTheScreen) {
  // Taller than the screen and below its top: moved up and shrunk to the screen's height.
  const QRect r = AnchorLeavingRoom(QRect(0, 30, 300, 700), {}, QRect(0, 0, 800, 600), 360);
  EXPECT_EQ(r, QRect(0, 0, 300, 600));
}

TEST(AnchorLeavingRoom, KeepsItsWidthWhenNothingLeavesRoom) {
  // 640 x 400 (1280 x 800 at scale 2): three columns of 223 never fit beside 360.
  const QList<QSize> sides = {{223, 238}, {223, 238}, {217, 52}};
  EXPECT_EQ(AnchorLeavingRoom(QRect(0, 0, 568, 548), sides, QRect(0, 0, 640, 400), 360),
            QRect(0, 0, 568, 400));
}

}  // namespace
