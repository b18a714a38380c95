#include "viewers/ViewerHost.h"

#include <QOpenGLContext>
#include <QString>
#include <QWidget>
#include <optional>

#include "viewers/Dialogs.h"
#include "viewers/GlView.h"
#include "viewers/MeshView.h"

namespace {

TfrmMeshView* g_meshView = nullptr;
TfrmGlView* g_glView = nullptr;

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

void ShowMeshViewer(QWidget* owner, TMeshDocument& document, const QString& materialFolder,
                    const TViewerPlacer& place) {
  if (!g_meshView && !ViewersHaveOpenGl()) {
    Dialogs().ShowMessage(owner, QString::fromLatin1(kNoOpenGl));
    return;
  }
  if (!g_meshView) {  // a top-level tool window; staying on top is its own window flag
    g_meshView = new TfrmMeshView(document, materialFolder);
    if (place) place(*g_meshView);
    g_meshView->show();
  }
  g_meshView->show();
  g_meshView->raise();
  g_meshView->ShowModel();
  g_meshView->ResetView(true, true);
  g_meshView->Timer1.SetEnabled(true);
}

bool MeshViewerExists() { return g_meshView != nullptr; }

QWidget* MeshViewerWindow() { return g_meshView; }

void SetHighlightedFace(int face) {
  if (g_meshView) g_meshView->HighlightedFace = face;
}

void MeshViewerDrawScene() {
  if (g_meshView) g_meshView->DrawSceneNow();
}

bool ShowGlViewer(QWidget* owner, TMeshDocument& document, const QString& materialFolder,
                  const TViewerPlacer& place) {
  if (g_glView) return false;
  if (!ViewersHaveOpenGl()) {
    Dialogs().ShowMessage(owner, QString::fromLatin1(kNoOpenGl));
    return false;
  }
  g_glView = new TfrmGlView(document);
  if (place) place(*g_glView);
  g_glView->show();
  g_glView->LoadTextures(materialFolder);
  return true;
}

bool GlViewerExists() { return g_glView != nullptr; }

QWidget* GlViewerWindow() { return g_glView; }

void GlViewerLoadTextures(const QString& materialFolder) {
  if (!g_glView) return;
  try {
    g_glView->LoadTextures(materialFolder);
  } catch (const std::exception& e) {
    Dialogs().ShowError(g_glView, QString::fromStdString(e.what()));
  }
}

void HideViewers() {
  if (g_meshView) {
    g_meshView->Timer1.SetEnabled(false);
    g_meshView->hide();
  }
  if (g_glView) {
    g_glView->Timer1.stop();
    g_glView->hide();
  }
}

void DestroyViewers() {
  delete g_meshView;
  g_meshView = nullptr;
  delete g_glView;
  g_glView = nullptr;
}
