#include "app/Screenshot.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTabWidget>

#include <cstdio>

#include "app/Unit1.h"
#include "viewers/Dialogs.h"
#include "viewers/FaceView.h"
#include "viewers/PointView.h"
#include "viewers/Tools.h"
#include "viewers/ViewerHost.h"

namespace {

// Nobody is there to answer: messages go to standard error, questions are declined.
class TConsoleDialogs final : public TDialogs {
public:
  void ShowMessage(QWidget*, const QString& text) override { Print("message", text); }
  void ShowError(QWidget*, const QString& text) override { Print("error", text); }
  bool AskYesNo(QWidget*, const QString& text) override {
    Print("question (answered No)", text);
    return false;
  }
  TSaveChoice AskSaveChanges(QWidget*, const QString& text) override {
    Print("question (cancelled)", text);
    return TSaveChoice::Cancel;
  }
  std::optional<QString> InputBox(QWidget*, const QString&, const QString& prompt,
                                  const QString&) override {
    Print("input box (cancelled)", prompt);
    return std::nullopt;
  }
  std::optional<QString> OpenFileName(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> SaveFileName(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }

private:
  static void Print(const char* kind, const QString& text) {
    std::fprintf(stderr, "tessavor: %s: %s\n", kind, text.toLocal8Bit().constData());
  }
};

// Lets the windows draw (and the viewers' timers tick) for about `ms` milliseconds.
void Settle(int ms) {
  QElapsedTimer t;
  t.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  } while (t.elapsed() < ms);
}

bool Save(QWidget* window, const QDir& dir, const QString& name) {
  if (!window) return true;
  const QString path = dir.filePath(name + QStringLiteral(".png"));
  if (!window->grab().save(path, "PNG")) {
    std::fprintf(stderr, "tessavor: cannot write %s\n", path.toLocal8Bit().constData());
    return false;
  }
  std::printf("%s\n", path.toLocal8Bit().constData());
  return true;
}

}  // namespace

std::unique_ptr<TDialogs> MakeConsoleDialogs() { return std::make_unique<TConsoleDialogs>(); }

int TakeScreenshots(TForm1& form, const QString& dirName) {
  QDir dir(dirName);
  if (!dir.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "tessavor: cannot create %s\n", dirName.toLocal8Bit().constData());
    return 2;
  }
  form.show();
  form.RunAction([&] { form.Load(); });
  Settle(200);
  bool ok = true;
  static const char* const kTabNames[] = {"Form1-vert", "Form1-fvrt", "Form1-face", "Form1-script",
                                          "Form1-texturing"};
  for (int tab = 0; tab < form.PageControl1->count() && tab < 5; ++tab) {
    form.PageControl1->setCurrentIndex(tab);
    Settle(100);
    ok &= Save(&form, dir, QString::fromLatin1(kTabNames[tab]));
  }
  form.PageControl1->setCurrentIndex(0);
  ok &= Save(form.Points(), dir, QStringLiteral("frmPoints"));
  ok &= Save(form.Faces(), dir, QStringLiteral("frmFaces"));
  ok &= Save(form.Tools(), dir, QStringLiteral("frmTools"));
  form.RunAction([&] { form.MeshViewerClick(); });
  form.RunAction([&] { form.GLClick(); });
  Settle(600);
  ok &= Save(form.Viewers().MeshViewerWindow(), dir, QStringLiteral("frmMeshView"));
  ok &= Save(form.Viewers().GlViewerWindow(), dir, QStringLiteral("frmGlView"));
  std::fflush(stdout);
  form.close();
  return ok ? 0 : 2;
}
