// The model viewer's key and mouse bindings, without a display: which key moves what, which
// asks the viewer for more, and when a right click opens the menu rather than panning.
#include "viewers/ViewerNavigation.h"

#include <gtest/gtest.h>

namespace {

constexpr Qt::KeyboardModifiers kPad = Qt::KeypadModifier;

struct TCameraKeyCase {
  const char* what;
  int key;
  Qt::KeyboardModifiers mods;
  float TViewerCamera::*field;
  float change;  // added to the field (to Zoom: the factor)
};

class CameraKeys : public ::testing::TestWithParam<TCameraKeyCase> {};

TEST_P(CameraKeys, MoveOneFieldAndAskNothingMore) {
  const TCameraKeyCase& c = GetParam();
  TViewerCamera camera;
  camera.Zoom = 0.5f;
  TViewerCamera expected = camera;
  if (c.field == &TViewerCamera::Zoom)
    expected.Zoom *= c.change;
  else
    expected.*c.field += c.change;
  TViewerNavigation navigation(camera);
  EXPECT_EQ(navigation.Key(c.key, c.mods).Request, TNavigationRequest::None) << c.what;
  for (float TViewerCamera::*f :
       {&TViewerCamera::AngleX, &TViewerCamera::AngleY, &TViewerCamera::AngleZ,
        &TViewerCamera::Zoom, &TViewerCamera::PanX, &TViewerCamera::PanY, &TViewerCamera::PanZ})
    EXPECT_FLOAT_EQ(camera.*f, expected.*f) << c.what;
}

// The step is 2 degrees, 6 with Ctrl; a pan moves a tenth of it. Num Lock off sends cursor
// keys from the keypad: they must turn the same way as the digits.
INSTANTIATE_TEST_SUITE_P(
    Bindings, CameraKeys,
    ::testing::Values(
        TCameraKeyCase{"pad 8", Qt::Key_8, kPad, &TViewerCamera::AngleX, 2},
        TCameraKeyCase{"pad 8 Num Lock off", Qt::Key_Up, kPad, &TViewerCamera::AngleX, 2},
        TCameraKeyCase{"Ctrl+pad 2", Qt::Key_2, kPad | Qt::ControlModifier, &TViewerCamera::AngleX,
                       -6},
        TCameraKeyCase{"pad 4", Qt::Key_4, kPad, &TViewerCamera::AngleY, 2},
        TCameraKeyCase{"pad 6 Num Lock off", Qt::Key_Right, kPad, &TViewerCamera::AngleY, -2},
        TCameraKeyCase{"Shift+pad 4 rolls", Qt::Key_Left, kPad | Qt::ShiftModifier,
                       &TViewerCamera::AngleZ, 2},
        TCameraKeyCase{"Shift+pad 6 rolls", Qt::Key_6, kPad | Qt::ShiftModifier,
                       &TViewerCamera::AngleZ, -2},
        TCameraKeyCase{"pad 9", Qt::Key_PageUp, kPad, &TViewerCamera::AngleZ, -2},
        TCameraKeyCase{"pad +", Qt::Key_Plus, kPad, &TViewerCamera::Zoom, 1.1f},
        TCameraKeyCase{"pad -", Qt::Key_Minus, kPad, &TViewerCamera::Zoom, 1 / 1.1f},
        TCameraKeyCase{"A", Qt::Key_A, Qt::NoModifier, &TViewerCamera::PanX, -0.2f},
        TCameraKeyCase{"Ctrl+S", Qt::Key_S, Qt::ControlModifier, &TViewerCamera::PanX, 0.6f},
        TCameraKeyCase{"W", Qt::Key_W, Qt::NoModifier, &TViewerCamera::PanY, 0.2f},
        TCameraKeyCase{"Y", Qt::Key_Y, Qt::NoModifier, &TViewerCamera::PanY, -0.2f},
        TCameraKeyCase{"C", Qt::Key_C, Qt::NoModifier, &TViewerCamera::PanZ, 0.2f},
        TCameraKeyCase{"X", Qt::Key_X, Qt::NoModifier, &TViewerCamera::PanZ, -0.2f},
        // Off the keypad a digit or a plus is no navigation key at all.
        TCameraKeyCase{"row 8", Qt::Key_8, Qt::NoModifier, &TViewerCamera::AngleX, 0},
        TCameraKeyCase{"row +", Qt::Key_Plus, Qt::NoModifier, &TViewerCamera::Zoom, 1}));

struct TRequestCase {
  const char* what;
  int key;
  Qt::KeyboardModifiers mods;
  TNavigationRequest request;
  TViewSide side;  // with ShowSide
};

class RequestKeys : public ::testing::TestWithParam<TRequestCase> {};

TEST_P(RequestKeys, AskTheViewerAndLeaveTheCameraToIt) {
  const TRequestCase& c = GetParam();
  TViewerCamera camera;
  TViewerNavigation navigation(camera);
  const TKeyOutcome outcome = navigation.Key(c.key, c.mods);
  EXPECT_EQ(outcome.Request, c.request) << c.what;
  if (c.request == TNavigationRequest::ShowSide) {
    EXPECT_EQ(outcome.Side, c.side) << c.what;
  }
  EXPECT_EQ(camera.AngleX, 0) << c.what;
  EXPECT_EQ(camera.Zoom, 1) << c.what;
  EXPECT_TRUE(camera.CentresOrigin()) << c.what;
}

// Home frames from the main keyboard, but from the keypad with Num Lock off it is 7 (top).
INSTANTIATE_TEST_SUITE_P(
    Bindings, RequestKeys,
    ::testing::Values(
        TRequestCase{"pad 1", Qt::Key_1, kPad, TNavigationRequest::ShowSide, TViewSide::Front},
        TRequestCase{"Ctrl+pad 1", Qt::Key_End, kPad | Qt::ControlModifier,
                     TNavigationRequest::ShowSide, TViewSide::Back},
        TRequestCase{"pad 3", Qt::Key_3, kPad, TNavigationRequest::ShowSide, TViewSide::Right},
        TRequestCase{"Ctrl+pad 3", Qt::Key_3, kPad | Qt::ControlModifier,
                     TNavigationRequest::ShowSide, TViewSide::Left},
        TRequestCase{"pad 7", Qt::Key_7, kPad, TNavigationRequest::ShowSide, TViewSide::Top},
        TRequestCase{"pad Home", Qt::Key_Home, kPad, TNavigationRequest::ShowSide, TViewSide::Top},
        TRequestCase{"Ctrl+pad 7", Qt::Key_7, kPad | Qt::ControlModifier,
                     TNavigationRequest::ShowSide, TViewSide::Bottom},
        TRequestCase{"pad 5", Qt::Key_5, kPad, TNavigationRequest::TogglePerspective,
                     TViewSide::Front},
        TRequestCase{"pad 5 Num Lock off", Qt::Key_Clear, kPad,
                     TNavigationRequest::TogglePerspective, TViewSide::Front},
        TRequestCase{"pad 0", Qt::Key_Insert, kPad, TNavigationRequest::Reset, TViewSide::Front},
        TRequestCase{"pad .", Qt::Key_Period, kPad, TNavigationRequest::FrameModel,
                     TViewSide::Front},
        TRequestCase{"pad , (decimal comma)", Qt::Key_Comma, kPad, TNavigationRequest::FrameModel,
                     TViewSide::Front},
        TRequestCase{"F", Qt::Key_F, Qt::NoModifier, TNavigationRequest::FrameModel,
                     TViewSide::Front},
        TRequestCase{"Home", Qt::Key_Home, Qt::NoModifier, TNavigationRequest::FrameModel,
                     TViewSide::Front},
        TRequestCase{"row 5", Qt::Key_5, Qt::NoModifier, TNavigationRequest::None,
                     TViewSide::Front}));

class MouseDrag : public ::testing::Test {
protected:
  TViewerCamera camera;
  TViewerNavigation navigation{camera};
  TViewerCamera expected;
  void ExpectCamera(const char* what) {
    EXPECT_FLOAT_EQ(camera.AngleX, expected.AngleX) << what;
    EXPECT_FLOAT_EQ(camera.AngleY, expected.AngleY) << what;
    EXPECT_FLOAT_EQ(camera.PanX, expected.PanX) << what;
    EXPECT_FLOAT_EQ(camera.PanY, expected.PanY) << what;
  }
};

TEST_F(MouseDrag, LeftAndMiddleOrbitRightAndShiftMiddlePanByEachStep) {
  struct {
    Qt::MouseButton button;
    Qt::KeyboardModifiers mods;
    bool pans;
  } const cases[] = {{Qt::LeftButton, Qt::NoModifier, false},
                     {Qt::MiddleButton, Qt::NoModifier, false},
                     {Qt::RightButton, Qt::NoModifier, true},
                     {Qt::MiddleButton, Qt::ShiftModifier, true}};
  for (const auto& c : cases) {
    navigation.Press(c.button, c.mods, QPoint(10, 10));
    // Two steps: each moves by its own difference, not by the distance from the press.
    EXPECT_TRUE(navigation.Move(QPoint(14, 7), 200, 100));
    EXPECT_TRUE(navigation.Move(QPoint(20, 7), 200, 100));
    if (c.pans) {
      expected.Pan(4, -3, 200, 100);
      expected.Pan(6, 0, 200, 100);
    } else {
      expected.Orbit(4, -3);
      expected.Orbit(6, 0);
    }
    ExpectCamera(c.pans ? "pan" : "orbit");
    navigation.Release(c.button, QPoint(20, 7), 4);
  }
}

TEST_F(MouseDrag, AMoveWithoutAPressedButtonMovesNothing) {
  EXPECT_FALSE(navigation.Move(QPoint(50, 50), 200, 100)) << "no press yet";
  navigation.Press(Qt::LeftButton, Qt::NoModifier, QPoint(0, 0));
  navigation.Release(Qt::LeftButton, QPoint(0, 0), 4);
  EXPECT_FALSE(navigation.Move(QPoint(30, 30), 200, 100)) << "after the release";
  navigation.Press(Qt::BackButton, Qt::NoModifier, QPoint(0, 0));
  EXPECT_FALSE(navigation.Move(QPoint(30, 30), 200, 100)) << "a button that does not drag";
  ExpectCamera("nothing moved");
}

TEST_F(MouseDrag, OnlyARightClickThatStaysPutOpensTheMenu) {
  navigation.Press(Qt::RightButton, Qt::NoModifier, QPoint(40, 40));
  EXPECT_TRUE(navigation.Release(Qt::RightButton, QPoint(42, 41), 4)) << "3 px is a click";

  navigation.Press(Qt::RightButton, Qt::NoModifier, QPoint(40, 40));
  navigation.Move(QPoint(43, 41), 200, 100);
  EXPECT_FALSE(navigation.Release(Qt::RightButton, QPoint(43, 41), 4)) << "4 px is a drag";

  navigation.Press(Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
  EXPECT_FALSE(navigation.Release(Qt::LeftButton, QPoint(40, 40), 4)) << "a left click";

  // A right release that ends a left drag (both held) is no right click.
  navigation.Press(Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
  EXPECT_FALSE(navigation.Release(Qt::RightButton, QPoint(40, 40), 4));
}

TEST_F(MouseDrag, EachWheelNotchZoomsByATenthAboutTheCentre) {
  navigation.Wheel(120);
  expected.ZoomWheel(120);
  EXPECT_FLOAT_EQ(camera.Zoom, expected.Zoom);
  EXPECT_GT(camera.Zoom, 1) << "a notch away from the user zooms in";
  navigation.Wheel(-240);
  EXPECT_LT(camera.Zoom, 1);
  EXPECT_TRUE(camera.CentresOrigin());
}

}  // namespace
