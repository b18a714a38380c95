// The editor as a user lives with it: placements that survive runs unchanged, a first
// layout that leaves the main window free, keyboard moves in the lists that act like clicks,
// the Texturing tab on the demo's own textures, and boxes that stay above the tool windows.
// On Qt's offscreen platform, which frames windows at once (2 px on each side).
#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "AppTestSupport.h"
#include "app/LineListModel.h"
#include "app/PictureLoader.h"
#include "app/TexturingTab.h"
#include "support/RunProgram.h"
#include "viewers/FacesWindow.h"
#include "viewers/PointsWindow.h"
#include "viewers/ToolWindow.h"

namespace {

std::string IniBytes(const QString& ini) {
  const testsupport::Bytes b = testsupport::ReadBytes(ini.toStdString());
  return std::string(b.begin(), b.end());
}

QList<QWidget*> ToolWindows(TMainWindow& f) { return {f.Points(), f.Faces(), f.Tools()}; }

void ShowTab(TMainWindow& f, int tab) {
  f.Tabs->setCurrentIndex(tab);
  QApplication::processEvents();
}

}  // namespace

// ---- placements -------------------------------------------------------------------------

TEST_F(WindowTest, OpeningAndClosingThreeTimesLeavesModelIniAsItWas) {
  TSampleMesh::Square().Write(home);  // the second start loads it
  std::string first;
  for (int run = 0; run < 3; ++run) {
    Open();
    form->close();
    form.reset();
    if (run == 0)
      first = IniBytes(Ini());
    else
      EXPECT_EQ(IniBytes(Ini()), first) << "run " << run + 1;
  }
  EXPECT_NE(first.find("[frmTools]"), std::string::npos) << first;
}

TEST_F(WindowTest, WithoutSavedPlacementsNoWindowCoversTheMainWindow) {
  Open();
  const QRect main = form->frameGeometry();
  for (QWidget* w : ToolWindows(*form)) {
    EXPECT_FALSE(w->frameGeometry().intersects(main)) << w->objectName().toStdString();
    for (QWidget* other : ToolWindows(*form))
      if (other != w) {
        EXPECT_FALSE(w->frameGeometry().intersects(other->frameGeometry()));
      }
  }
}

TEST_F(WindowTest, ASavedPlacementIsUsedAsItIsEvenOverTheMainWindow) {
  {
    QSettings ini(Ini(), QSettings::IniFormat);
    for (const char* key : {"frmFaces/WindowState=0", "frmFaces/Left=30", "frmFaces/Top=140",
                            "frmFaces/Width=300", "frmFaces/Height=250"}) {
      const QStringList kv = QString::fromLatin1(key).split('=');
      ini.setValue(kv[0], kv[1].toInt());
    }
  }
  Open();
  EXPECT_EQ(form->Faces()->frameGeometry(), QRect(30, 140, 300, 250));
}

// ---- keyboard selection -------------------------------------------------------------------

TEST_F(WindowTest, ArrowAndEndKeysInTheListsDoWhatAClickDoes) {
  OpenLoaded();
  form->VertexList->ClickLine(0);
  QTest::keyClick(form->VertexList, Qt::Key_Down);
  EXPECT_EQ(form->Document().NormalLines.Current(), 1);
  EXPECT_EQ(form->TabCaption(0), "VERT/VTNM: 1/1");
  QTest::keyClick(form->VertexList, Qt::Key_End);  // vertex 4 has no normal
  EXPECT_EQ(form->TabCaption(0), "VERT/VTNM: 4/-1");

  ShowTab(*form, 1);
  form->CornerList->ClickLine(4);
  QTest::keyClick(form->CornerList, Qt::Key_Down);
  EXPECT_EQ(form->EditTx->text(), "0.0625");
  EXPECT_EQ(form->EditTy->text(), "0.5");
  EXPECT_EQ(form->TabCaption(1), "FVRT: 5");

  ShowTab(*form, 2);
  form->FaceList->ClickLine(0);
  QTest::keyClick(form->FaceList, Qt::Key_Down);
  EXPECT_EQ(form->TabCaption(2), "Face: 1");
  EXPECT_EQ(form->Document().CornerLines.Current(), 3);

  ShowTab(*form, 4);
  TTexturingTab* tab = form->Texturing;
  ASSERT_EQ(tab->CurrentFace(), 1);
  QTest::keyClick(tab->ListFaces, Qt::Key_Home);
  EXPECT_EQ(tab->CurrentFace(), 0);
  EXPECT_EQ(tab->LabelFace->text(), "FACE: 0, FVRTs: 0 1 2 ");
  EXPECT_EQ(form->Document().FaceLines.Current(), 0);
}

TEST_F(WindowTest, AMouseClickIsReportedOnceAndAgainOnTheCurrentLine) {
  OpenLoaded();
  ShowTab(*form, 2);
  form->MaterialList->ClickLine(1);  // no 00070001.bmp: one message per click
  EXPECT_EQ(dialogs.Messages.size(), 1) << dialogs.Messages.join("|").toStdString();
  form->MaterialList->ClickLine(1);
  EXPECT_EQ(dialogs.Messages.size(), 2);
  // A line made current by the program is no click.
  form->Document().MaterialLines.SetCurrent(0);
  EXPECT_EQ(dialogs.Messages.size(), 2);
}

// ---- Texturing tab ------------------------------------------------------------------------

TEST_F(WindowTest, EnterInTheMaterialBoxRepaintsAtOnceWithTheWholeMessage) {
  OpenLoaded();
  const QString folder =
      QString::fromStdString(home.File("")) + "a-folder-name-long-enough-to-need-wrapping/";
  form->EditMatPath->setText(folder);
  ShowTab(*form, 4);
  TTexturingTab* tab = form->Texturing;
  QApplication::processEvents();
  int paints = 0;
  struct TPaintCounter : QObject {
    int& n;
    explicit TPaintCounter(int& count) : n(count) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++n;
      return false;
    }
  } counter(paints);
  tab->Image->installEventFilter(&counter);
  tab->ComboTexture->setEditText("512");
  QTest::keyClick(tab->ComboTexture->lineEdit(), Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return paints > 0; }, 2000))
      << "the new image waits for another redraw";
  tab->Image->removeEventFilter(&counter);
  // The text runs on below its first line and stays inside the image's right margin.
  const QImage& img = tab->Image->Image;
  auto dark = [&](int x, int y) { return qGray(img.pixel(x, y)) < 128; };
  bool secondLine = false, pastMargin = false;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      if (dark(x, y) && y >= 26) secondLine = true;
      if (dark(x, y) && x >= 252) pastMargin = true;
    }
  EXPECT_TRUE(secondLine);
  EXPECT_FALSE(pastMargin);
}

TEST_F(WindowTest, TheDemoShowsItsBrickTextureOnTheTexturingTab) {
  const std::string demo = std::string(TESSAVOR_BIN_DIR) + "/demo/";
  const auto rip = testsupport::RunProgram(
      "tessavor-cli", {"rip", demo + "demo.iff"},
      testsupport::TRunOptions().Set("TESSAVOR_HOME", home.Path().string()));
  ASSERT_EQ(rip.status, 0) << rip.err;
  Open();
  form->Load();  // the tab shows the document as it is
  form->EditMatPath->setText(QString::fromStdString(demo));
  ShowTab(*form, 4);
  ASSERT_EQ(form->Texturing->ComboTexture->currentText(), "00001001");
  // The ".mat" the build wrote is the bricks of the ".bmp", within the 256-colour palette.
  const QImage bricks =
      QImage(QString::fromStdString(demo + "00001001.bmp")).convertToFormat(QImage::Format_RGB32);
  const QImage& shown = form->Texturing->Image->Image;
  ASSERT_EQ(bricks.size(), QSize(256, 256));
  int worst = 0;
  for (int y = 2; y < 256; y += 16)
    for (int x = 2; x < 256; x += 16) {
      const QRgb a = bricks.pixel(x, y), b = shown.pixel(x, y);
      worst = std::max(worst, std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                                  std::abs(qBlue(a) - qBlue(b)));
    }
  EXPECT_LT(worst, 48);
  EXPECT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("|").toStdString();
}

// ---- boxes belong to the window that asks ----------------------------------------------

// A box is a child of the window that asks, so the window manager keeps it above that window
// and its tool windows (which no longer stay on top of everything); it stays on top of no
// other program.
TEST_F(WindowTest, TheStandardBoxesBelongToTheAskingWindow) {
  TStandardDialogs standard;
  QWidget asking;
  QStringList wrong;
  auto answer = [&] {
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box) {
        wrong << "none";
        return;
      }
      if (box->windowFlags() & Qt::WindowStaysOnTopHint)
        wrong << QString(box->metaObject()->className()) + " on top";
      if (box->parentWidget() != &asking)
        wrong << QString(box->metaObject()->className()) + " not parented";
      static_cast<QDialog*>(box)->reject();
    });
  };
  answer();
  standard.ShowError(&asking, "Cannot open file");
  answer();
  standard.ShowMessage(&asking, "a message");
  answer();
  standard.AskYesNo(&asking, "a question?");
  answer();
  standard.InputBox(&asking, "Change Mat", "Mat file:", "1");
  answer();
  standard.AskRecover(&asking, "Recover?");
  EXPECT_TRUE(wrong.isEmpty()) << wrong.join("|").toStdString();
}

TEST_F(WindowTest, TheRecoverQuestionHasItsTitleAndRecoverIsTheDefault) {
  TStandardDialogs standard;
  QString title;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    title = box->windowTitle();
    box->defaultButton()->click();  // what Return does
  });
  EXPECT_TRUE(standard.AskRecover(nullptr, "Recover?"));
  EXPECT_EQ(title, QStringLiteral("Recover unsaved changes"));
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box) box->button(QMessageBox::Discard)->click();
  });
  EXPECT_FALSE(standard.AskRecover(nullptr, "Recover?"));
}

TEST_F(WindowTest, SideWindowsAreToolWindowsOfTheMainWindow) {
  Open();
  for (QWidget* w : std::initializer_list<QWidget*>{form->Points(), form->Faces(), form->Tools()}) {
    ASSERT_NE(w->windowHandle(), nullptr) << w->objectName().toStdString();
    EXPECT_EQ(w->windowHandle()->transientParent(), form->windowHandle())
        << w->objectName().toStdString();
    EXPECT_EQ(w->windowFlags() & Qt::WindowType_Mask, Qt::Tool) << w->objectName().toStdString();
    EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint) << w->objectName().toStdString();
  }
}
