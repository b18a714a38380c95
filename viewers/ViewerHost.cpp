#include "viewers/ViewerHost.h"

#include <QOpenGLContext>
#include <QString>
#include <QWidget>
#include <optional>

#include "viewers/Dialogs.h"
#include "viewers/GlViewer.h"
#include "viewers/ModelViewer.h"
#include "viewers/WindowPlacement.h"

namespace {

constexpr const char* kNoOpenGl = "This display offers no OpenGL: the viewers cannot be shown.";

}  // namespace

bool ViewersHaveOpenGl() {
  static std::optional<bool> available;
  if (!available) {
    QOpenGLContext probe;
    probe.setFormat(GlViewerSurfaceFormat());
    available = probe.create();
  }
  return *available;
}

TViewerHost::TViewerHost(TDialogs& dialogs) : m_dialogs(dialogs) {}

TViewerHost::~TViewerHost() { DestroyViewers(); }

void TViewerHost::ShowMeshViewer(QWidget* owner, TMeshDocument& document,
                                 const QString& materialFolder, const TViewerPlacer& place) {
  if (!m_meshView && !ViewersHaveOpenGl()) {
    m_dialogs.ShowMessage(owner, QString::fromLatin1(kNoOpenGl));
    return;
  }
  if (!m_meshView) {  // a tool window of `owner`: above it, never above other programs
    m_meshView = std::make_unique<TModelViewer>(document, m_dialogs, materialFolder);
    if (place) place(*m_meshView);
    if (owner) {
      m_meshView->winId();  // the owner is set before the window is mapped
      MakeToolWindowOf(*m_meshView, *owner);
    }
    m_meshView->show();
  }
  m_meshView->show();
  m_meshView->raise();
  m_meshView->ShowModel();
  m_meshView->ResetView(true, true);
  m_meshView->FrameTimer.SetEnabled(true);
}

QWidget* TViewerHost::MeshViewerWindow() const { return m_meshView.get(); }

void TViewerHost::SetHighlightedFace(int face) {
  if (m_meshView) m_meshView->SetHighlightedFace(face);
}

void TViewerHost::MeshViewerDrawScene() {
  if (m_meshView) m_meshView->DrawSceneNow();
}

bool TViewerHost::ShowGlViewer(QWidget* owner, TMeshDocument& document,
                               const QString& materialFolder, const TViewerPlacer& place) {
  if (m_glView) return false;
  if (!ViewersHaveOpenGl()) {
    m_dialogs.ShowMessage(owner, QString::fromLatin1(kNoOpenGl));
    return false;
  }
  m_glView = std::make_unique<TGlViewer>(document, m_dialogs);
  if (place) place(*m_glView);
  if (owner) {
    m_glView->winId();
    MakeToolWindowOf(*m_glView, *owner);
  }
  m_glView->show();
  m_glView->LoadTextures(materialFolder);
  return true;
}

QWidget* TViewerHost::GlViewerWindow() const { return m_glView.get(); }

void TViewerHost::GlViewerLoadTextures(const QString& materialFolder) {
  if (!m_glView) return;
  try {
    m_glView->LoadTextures(materialFolder);
  } catch (const std::exception& e) {
    m_dialogs.ShowError(m_glView.get(), QString::fromStdString(e.what()));
  }
}

void TViewerHost::HideViewers() {
  if (m_meshView) {
    m_meshView->FrameTimer.SetEnabled(false);
    m_meshView->hide();
  }
  if (m_glView) {
    m_glView->FrameTimer.stop();
    m_glView->hide();
  }
}

void TViewerHost::DestroyViewers() {
  m_meshView.reset();
  m_glView.reset();
}
