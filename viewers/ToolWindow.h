#pragma once
// The tool window (TToolWindow): the zoom control, the axis toggles "X", "Y", "Z" that switch
// the continuous rotation (TRotateThread) and the step buttons that turn the document's VERT
// array by fixed angles. Rotations are edits of the document, not view changes.
//
// Zoom: a spin box from -10000 to -1, starting at -100, moving by 4; each change sets the
// projection's scale to position / -100 and repaints the flat views.
// Axis toggles: at most one is down; any click hands the down states to the thread and,
// when one is down, lets it run. Every rotation step runs on the window thread.
//
// Undo: the owner may hand over an edit runner, through which every step button's rotation
// runs (one undoable step each), and a spin hook, told when a spin starts (an axis goes
// down while none was) and when it stops (the last goes up, or StopSpin), so that the whole
// spin becomes one step. A step the thread queued before the stop is dropped when it comes.

#include <QWidget>

#include <functional>
#include <memory>

#include "viewers/RotateThread.h"

class QPushButton;
class QSpinBox;
class TMeshDocument;
class TProjection;

class TToolWindow final : public QWidget {
  Q_OBJECT
public:
  // `projection` is the flat views' (the zoom sets its scale); `repaint` repaints the Faces
  // and then the Points window.
  TToolWindow(TMeshDocument& document, TProjection& projection, std::function<void()> repaint,
              QWidget* parent = nullptr);
  ~TToolWindow() override;

  QSpinBox* Zoom = nullptr;
  QPushButton* ButtonX = nullptr;
  QPushButton* ButtonY = nullptr;
  QPushButton* ButtonZ = nullptr;
  TRotateThread& RotateThread() { return *m_thread; }

  using TEditRunner = std::function<void(const QString& name, const std::function<void()>& edit)>;
  void SetEditHooks(TEditRunner runEdit, std::function<void(bool spinning)> spinChanged);
  // Whether an axis toggle is down, and lifting them all (the spin ends).
  bool Spinning() const { return m_spinning; }
  void StopSpin();

  // The step buttons' action: RotatePoints on all MeshCapacity entries of VERT, repaint.
  void RotateBy(float ax, float ay, float az);
  // "Button7", through the edit runner like a click.
  void TurnAboutZClick() { StepButton(QStringLiteral("Button7"), 0, 0, 1.6f); }
  void AllowClose() { m_allowClose = true; }

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void AxisClick(QPushButton* clicked);
  void ZoomChanged(int position);
  void StepButton(const QString& name, float ax, float ay, float az);

  TMeshDocument& m_document;
  TProjection& m_projection;
  std::function<void()> m_repaint;
  TEditRunner m_runEdit;
  std::function<void(bool)> m_spinChanged;
  bool m_spinning = false;
  std::unique_ptr<TRotateThread> m_thread;
  bool m_allowClose = false;
};
