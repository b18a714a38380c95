#include "viewers/ViewerNavigation.h"

int KeypadKey(int key) {
  switch (key) {
    case Qt::Key_0:
    case Qt::Key_Insert:
      return 0;
    case Qt::Key_1:
    case Qt::Key_End:
      return 1;
    case Qt::Key_2:
    case Qt::Key_Down:
      return 2;
    case Qt::Key_3:
    case Qt::Key_PageDown:
      return 3;
    case Qt::Key_4:
    case Qt::Key_Left:
      return 4;
    case Qt::Key_5:
    case Qt::Key_Clear:
      return 5;
    case Qt::Key_6:
    case Qt::Key_Right:
      return 6;
    case Qt::Key_7:
    case Qt::Key_Home:
      return 7;
    case Qt::Key_8:
    case Qt::Key_Up:
      return 8;
    case Qt::Key_9:
    case Qt::Key_PageUp:
      return 9;
    case Qt::Key_Period:
    case Qt::Key_Comma:
    case Qt::Key_Delete:
      return 10;
    default:
      return -1;
  }
}

TKeyOutcome TViewerNavigation::Key(int key, Qt::KeyboardModifiers mods) {
  TViewerCamera& v = m_camera;
  TKeyOutcome outcome;
  const bool ctrl = mods & Qt::ControlModifier;
  const bool shift = mods & Qt::ShiftModifier;
  const float s = ctrl ? 6.0f : 2.0f;
  const int pad = (mods & Qt::KeypadModifier) ? KeypadKey(key) : -1;
  switch (pad) {
    case 8:
      v.AngleX += s;
      break;
    case 2:
      v.AngleX -= s;
      break;
    // Shift+4/6 turn about the view axis (a roll), the keys a modeller rolls the view with.
    case 4:
      (shift ? v.AngleZ : v.AngleY) += s;
      break;
    case 6:
      (shift ? v.AngleZ : v.AngleY) -= s;
      break;
    case 9:
      v.AngleZ -= s;
      break;
    case 1:
      outcome = {TNavigationRequest::ShowSide, ctrl ? TViewSide::Back : TViewSide::Front};
      break;
    case 3:
      outcome = {TNavigationRequest::ShowSide, ctrl ? TViewSide::Left : TViewSide::Right};
      break;
    case 7:
      outcome = {TNavigationRequest::ShowSide, ctrl ? TViewSide::Bottom : TViewSide::Top};
      break;
    case 5:
      outcome.Request = TNavigationRequest::TogglePerspective;
      break;
    case 0:  // what keypad 5 did before it switched the projection: "&Reset"
      outcome.Request = TNavigationRequest::Reset;
      break;
    case 10:
      outcome.Request = TNavigationRequest::FrameModel;
      break;
    default:
      if (key == Qt::Key_F || key == Qt::Key_Home)
        outcome.Request = TNavigationRequest::FrameModel;
      else if ((mods & Qt::KeypadModifier) && key == Qt::Key_Plus)
        v.Zoom *= 1.1f;
      else if ((mods & Qt::KeypadModifier) && key == Qt::Key_Minus)
        v.Zoom /= 1.1f;
      else if (key == Qt::Key_A)
        v.PanX -= s / 10;
      else if (key == Qt::Key_S)
        v.PanX += s / 10;
      else if (key == Qt::Key_W)
        v.PanY += s / 10;
      else if (key == Qt::Key_Y)
        v.PanY -= s / 10;
      else if (key == Qt::Key_C)
        v.PanZ += s / 10;
      else if (key == Qt::Key_X)
        v.PanZ -= s / 10;
  }
  return outcome;
}

void TViewerNavigation::Press(Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint pos) {
  m_dragButton = button;
  m_dragPans =
      button == Qt::RightButton || (button == Qt::MiddleButton && (mods & Qt::ShiftModifier));
  m_dragLast = m_pressPos = pos;
}

bool TViewerNavigation::Move(QPoint pos, int w, int h) {
  const QPoint d = pos - m_dragLast;
  m_dragLast = pos;
  // Left or middle drag orbits, right or Shift+middle drag pans.
  if (m_dragButton != Qt::LeftButton && m_dragButton != Qt::MiddleButton &&
      m_dragButton != Qt::RightButton)
    return false;
  if (m_dragPans)
    m_camera.Pan(d.x(), d.y(), w, h);
  else
    m_camera.Orbit(d.x(), d.y());
  return true;
}

bool TViewerNavigation::Release(Qt::MouseButton button, QPoint pos, int dragDistance) {
  // A right click that did not drag opens the menu; a right drag pans.
  const bool menu = button == Qt::RightButton && m_dragButton == Qt::RightButton &&
                    (pos - m_pressPos).manhattanLength() < dragDistance;
  m_dragButton = Qt::NoButton;
  return menu;
}
