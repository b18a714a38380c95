#include "viewers/ViewerHost.h"

#include <QString>
#include <QWidget>

#include "viewers/Dialogs.h"
#include "viewers/GlView.h"
#include "viewers/MeshView.h"

namespace {

TfrmMeshView* g_meshView = nullptr;
TfrmGlView* g_glView = nullptr;

}  // namespace

void ShowMeshViewer(QWidget* owner, TMeshDocument& document, const QString& materialFolder) {
  (void)owner;  // top-level tool windows; staying on top is their own window flag
  if (!g_meshView) {
    g_meshView = new TfrmMeshView(document, materialFolder);
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

bool ShowGlViewer(QWidget* owner, TMeshDocument& document, const QString& materialFolder) {
  (void)owner;
  if (g_glView) return false;
  g_glView = new TfrmGlView(document);
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

void DestroyViewers() {
  delete g_meshView;
  g_meshView = nullptr;
  delete g_glView;
  g_glView = nullptr;
}
