#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTest>

#include <cmath>

#include "AppTestSupport.h"
#include "app/LineListModel.h"
#include "mesh/Rip.h"
#include "support/IffBytes.h"
#include "viewers/FacesWindow.h"

#include <filesystem>

using testsupport::ReadBytes;

namespace {

QString Line(TListLines& l, int i) { return QString::fromStdString(l.Line(i)); }

void Click(TMainWindow& f, const QString& caption) {
  QPushButton* b = f.Button(caption);
  ASSERT_NE(b, nullptr) << caption.toStdString();
  b->click();
}

void ShowTab(TMainWindow& f, int tab) {
  f.Tabs->setCurrentIndex(tab);
  QApplication::processEvents();
}

}  // namespace

// ---- start-up and close -------------------------------------------------------------

TEST_F(WindowTest, FirstStartWithoutSettingsDoesNotLoadAndWritesLoadok) {
  TSampleMesh::Square().Write(home);
  Open();
  EXPECT_EQ(form->Document().NumVert, 0);
  EXPECT_EQ(QSettings(Ini(), QSettings::IniFormat).value("qorvex/loadok").toString(), "1");
  EXPECT_EQ(form->EditMatPath->text(), "./");
  form.reset();
  // The second start loads the record files.
  Open();
  EXPECT_EQ(form->Document().NumVert, 5);
  EXPECT_EQ(form->VertexList->model()->rowCount(), 5);
  EXPECT_TRUE(dialogs.Errors.isEmpty());
}

TEST_F(WindowTest, FailedStartUpLoadIsReportedAndLeavesLoadokZero) {
  {
    QSettings ini(Ini(), QSettings::IniFormat);
    ini.setValue("qorvex/loadok", 1);
    ini.setValue("qorvex/MatPath", "/textures/");
  }
  Open();  // no record files in the home folder
  ASSERT_EQ(dialogs.Errors.size(), 1);
  EXPECT_TRUE(dialogs.Errors[0].contains("vert.kvt")) << dialogs.Errors[0].toStdString();
  EXPECT_EQ(QSettings(Ini(), QSettings::IniFormat).value("qorvex/loadok").toString(), "0");
  EXPECT_EQ(form->EditMatPath->text(), "/textures/");
}

TEST_F(WindowTest, TemplateFillsTheScriptTab) {
  Open();
  EXPECT_TRUE(form->ScriptEdit->toPlainText().startsWith("IFF \"mesh.iff\""));
  EXPECT_TRUE(form->ScriptEdit->toPlainText().contains("FILE \"c:\\vert.kvt\""));
}

TEST_F(WindowTest, CloseWritesMatPathAndPlacements) {
  Open();
  form->EditMatPath->setText("/data/tex/");
  form->Faces()->move(300, 310);
  form->close();
  QSettings ini(Ini(), QSettings::IniFormat);
  EXPECT_EQ(ini.value("qorvex/MatPath").toString(), "/data/tex/");
  for (const char* section : {"Form1", "frmPoints", "frmFaces", "frmTools"}) {
    EXPECT_EQ(ini.value(QString(section) + "/WindowState").toString(), "0") << section;
    EXPECT_TRUE(ini.contains(QString(section) + "/Width")) << section;
  }
  EXPECT_EQ(ini.value("frmFaces/Left").toInt(), form->Faces()->frameGeometry().x());
  // The next start puts the windows back.
  form.reset();
  Open();
  EXPECT_EQ(form->Faces()->frameGeometry().x(), ini.value("frmFaces/Left").toInt());
  EXPECT_EQ(form->EditMatPath->text(), "/data/tex/");
}

// ---- lists, clicks and captions --------------------------------------------------------

TEST_F(WindowTest, LoadFillsTheFiveListsAndLabels) {
  OpenLoaded();
  TMeshDocument& d = form->Document();
  EXPECT_EQ(Line(d.VertexLines, 0), "-10.000, -10.000, 0.000");
  EXPECT_EQ(Line(d.NormalLines, 3), "0.000, 0.000, 1.000");
  EXPECT_EQ(Line(d.CornerLines, 5), "3, tx:0.062, ty:0.5");
  EXPECT_EQ(Line(d.FaceLines, 0), "[0 1 2], mat: 70000, d=-4.200");
  EXPECT_EQ(d.MaterialLines.Count(), 2);
  EXPECT_EQ(Line(d.MaterialLines, 1), "70001");
  EXPECT_EQ(form->FaceList->model()->data(form->FaceList->model()->index(1, 0)).toString(),
            "[3 4 5], mat: 70001, d=0.000");
  EXPECT_EQ(form->LabelSize->text(), "x:20.0, y:20.0, z:15.0;");
  EXPECT_EQ(form->LabelRadius->text(), "RADI=2.5");
}

TEST_F(WindowTest, ShowDataOffKeepsOnlyFvrtTails) {
  TSampleMesh::Square().Write(home);
  Open();
  form->ShowData->setChecked(false);
  form->Load();
  TMeshDocument& d = form->Document();
  EXPECT_EQ(d.VertexLines.Count(), 0);
  EXPECT_EQ(d.FaceLines.Count(), 0);
  ASSERT_EQ(d.CornerLines.Count(), 6);
  EXPECT_EQ(Line(d.CornerLines, 2), ", ty:1");
}

TEST_F(WindowTest, VertexClickMovesNormalAndSetsCaptionWithMinusOne) {
  OpenLoaded();
  form->VertexList->ClickLine(2);
  EXPECT_EQ(form->Document().NormalLines.Current(), 2);
  EXPECT_EQ(form->TabCaption(0), "VERT/VTNM: 2/2");
  // Four normals only: vertex line 4 has no normal line.
  form->VertexList->ClickLine(4);
  EXPECT_EQ(form->Document().NormalLines.Current(), -1);
  EXPECT_EQ(form->TabCaption(0), "VERT/VTNM: 4/-1");
  EXPECT_EQ(form->NormalList->currentIndex().row(), -1);
}

TEST_F(WindowTest, FvrtClickFillsTheEditBoxes) {
  OpenLoaded();
  ShowTab(*form, 1);
  form->CornerList->ClickLine(5);
  EXPECT_EQ(form->EditTx->text(), "0.0625");
  EXPECT_EQ(form->EditTy->text(), "0.5");
  EXPECT_EQ(form->TabCaption(1), "FVRT: 5");
}

TEST_F(WindowTest, FaceClickSetsCaptionAndFocusesItsFirstCorner) {
  OpenLoaded();
  ShowTab(*form, 1);
  form->CornerList->ClickLine(0);
  form->CornerList->ClickLine(1, Qt::ControlModifier);
  ShowTab(*form, 2);
  form->FaceList->ClickLine(1);
  EXPECT_EQ(form->TabCaption(2), "Face: 1");
  TListLines& fvrt = form->Document().CornerLines;
  EXPECT_EQ(fvrt.Current(), 3);
  // Making a line current leaves the selection alone.
  EXPECT_EQ(fvrt.SelectedCount(), 2);
  EXPECT_EQ(form->CornerList->currentIndex().row(), 3);
}

TEST_F(WindowTest, MaterialClickReportsMissingBitmap) {
  OpenLoaded();
  ShowTab(*form, 2);
  form->MaterialList->ClickLine(1);
  ASSERT_EQ(dialogs.Messages.size(), 1);
  EXPECT_EQ(dialogs.Messages[0], "./00070001.bmp not found!");
}

TEST_F(WindowTest, EnterMovesFocusToTheNextBox) {
  Open();
  QApplication::setActiveWindow(form.get());
  form->EditX->setFocus();
  QTest::keyClick(form->EditX, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), form->EditY);
  QTest::keyClick(form->EditY, Qt::Key_Enter);
  EXPECT_EQ(QApplication::focusWidget(), form->EditZ);
}

// ---- geometry buttons ------------------------------------------------------------------

TEST_F(WindowTest, AddVertParsesTypedNumbers) {
  Open();
  form->EditX->setText("1.5");
  form->EditY->setText("-2");
  form->EditZ->setText("0.25");
  Click(*form, "add VERT...");
  TMeshDocument& d = form->Document();
  ASSERT_EQ(d.NumVert, 1);
  EXPECT_EQ(d.NumVtnm, 1);
  EXPECT_EQ(Line(d.VertexLines, 0), "1.500, -2.000, 0.250");
  EXPECT_EQ(Line(d.NormalLines, 0), "0.000, 0.000, 0.000");
}

TEST_F(WindowTest, AddVertWithTextShowsErrorAndAddsNothing) {
  Open();
  form->EditY->setText("abc");
  Click(*form, "add VERT...");
  EXPECT_EQ(form->Document().NumVert, 0);
  ASSERT_EQ(dialogs.Errors.size(), 1);
  EXPECT_TRUE(dialogs.Errors[0].contains("abc"));
}

TEST_F(WindowTest, AddFaceWithTooFewLinesShowsMessage) {
  OpenLoaded();
  ShowTab(*form, 1);
  form->CornerList->ClickLine(0);
  form->CornerList->ClickLine(1, Qt::ControlModifier);
  Click(*form, "add FACE");
  EXPECT_EQ(dialogs.Messages, QStringList{"Please select at least 3 FVRTs to create a face!"});
  EXPECT_EQ(form->Document().NumFace, 2);
  // A third line, clicked last on the run's first line, makes the face.
  form->CornerList->ClickLine(2, Qt::ControlModifier);
  form->CornerList->ClickLine(0, Qt::ControlModifier);
  form->CornerList->ClickLine(0, Qt::ControlModifier);
  ASSERT_EQ(form->Document().CornerLines.SelectedCount(), 3);
  Click(*form, "add FACE");
  ASSERT_EQ(form->Document().NumFace, 3);
  EXPECT_EQ(form->Document().FACE[2].FirstFvrt, 0);
  EXPECT_EQ(form->Document().FACE[2].FvrtCount, 3);
}

TEST_F(WindowTest, ApplyTexCordWalksDownTheCorners) {
  OpenLoaded();
  ShowTab(*form, 1);
  form->CornerList->ClickLine(0);
  form->EditTx->setText("0.5");
  form->EditTy->setText("0.25");
  Click(*form, "Apply TexCord");
  TMeshDocument& d = form->Document();
  EXPECT_EQ(Line(d.CornerLines, 0), "0, tx:0.5, ty:0.25");
  EXPECT_EQ(d.CornerLines.Current(), 1);
  form->EditTx->setText("0.75");
  Click(*form, "Apply TexCord");
  EXPECT_EQ(d.FVRT[1].Tx, 0.75f);
  EXPECT_EQ(d.FVRT[1].Ty, 0.25f);
  EXPECT_EQ(d.CornerLines.Current(), 2);
  EXPECT_EQ(form->CornerList->currentIndex().row(), 2);
}

TEST_F(WindowTest, CgMatCancelledChangesNothingAndAnswerReplacesTheLine) {
  OpenLoaded();
  ShowTab(*form, 2);
  form->FaceList->ClickLine(0);
  Click(*form, "cg mat");
  ASSERT_EQ(dialogs.Prompts.size(), 1);
  EXPECT_EQ(dialogs.Prompts[0], "Change Mat|Mat file:|70000");
  EXPECT_EQ(form->Document().FACE[0].Mat, 70000);
  dialogs.Inputs.push_back(QString("512"));
  Click(*form, "cg mat");
  EXPECT_EQ(form->Document().FACE[0].Mat, 512);
  // The line shows the whole record: the plane distance stays on it.
  EXPECT_EQ(Line(form->Document().FaceLines, 0), "[0 1 2], mat: 512, d=-4.200");
  EXPECT_EQ(Line(form->Document().MaterialLines, 2), "512");
  EXPECT_EQ(form->Document().FaceLines.Current(), 0);
  // A mistyped number is refused with the conversion error, as the other boxes refuse it.
  dialogs.Inputs.push_back(QString("12x"));
  Click(*form, "cg mat");
  EXPECT_EQ(form->Document().FACE[0].Mat, 512);
  EXPECT_EQ(dialogs.Errors.size(), 1);
}

TEST_F(WindowTest, CgAllMatSetsEveryFaceAndSaves) {
  OpenLoaded();
  dialogs.Inputs.push_back(QString("70000"));
  Click(*form, "Cg all mat");
  EXPECT_EQ(dialogs.Prompts, QStringList{"MAT file:|change maT|70000"});
  const auto face = ReadBytes(home.File("face.kvt"));
  ASSERT_EQ(face.size(), 56u);
  // Mat of face 1 at offset 28 + 8: 70000 = 0x00011170.
  EXPECT_EQ(face[36], 0x70);
  EXPECT_EQ(face[37], 0x11);
  EXPECT_EQ(face[38], 0x01);
  EXPECT_EQ(form->Document().MaterialLines.Count(), 1);
}

TEST_F(WindowTest, ResetQuestionAnsweredNoKeepsCoordinates) {
  OpenLoaded();
  dialogs.YesNo.push_back(false);
  Click(*form, "all 0");
  EXPECT_EQ(dialogs.Questions, QStringList{"Reset all texture coords?"});
  EXPECT_EQ(form->Document().FVRT[1].Tx, 1.0f);
  Click(*form, "all 0");
  EXPECT_EQ(form->Document().FVRT[1].Tx, 0.0f);
}

// ---- Script tab -------------------------------------------------------------------------

TEST_F(WindowTest, CompileWritesTheIffBesideTheChosenPathWithMessages) {
  OpenLoaded();
  form->Save();
  const std::string dir = home.File("out");
  std::filesystem::create_directory(dir);
  dialogs.FileNames.push_back(QString::fromStdString(dir + "/ship.iff"));
  Click(*form, "&compile");
  EXPECT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
  const std::string script = testsupport::ReadText(dir + "/ship.iff.txt");
  EXPECT_EQ(script.substr(0, 16), "IFF \"ship.iff\"\r\n");
  const auto iff = ReadBytes(dir + "/ship.iff");
  ASSERT_GE(iff.size(), 12u);
  EXPECT_EQ(std::string(iff.begin(), iff.begin() + 4), "FORM");
  EXPECT_EQ(std::string(iff.begin() + 8, iff.begin() + 12), "MESH");
  // FORM MESH holds five chunks: 4 + (8 + 60) + (8 + 48) + (8 + 96) + (8 + 56) + (8 + 4).
  EXPECT_EQ(iff.size(), 8u + 4 + 68 + 56 + 104 + 64 + 12);
  ASSERT_GT(form->CompilerMessages->count(), 0);
  EXPECT_TRUE(form->CompilerMessages->item(form->CompilerMessages->count() - 1)
                  ->text()
                  .startsWith("done. Compile time: "));
}

TEST_F(WindowTest, MessageWithLineNumberSelectsTheScriptLine) {
  Open();
  form->ScriptEdit->setPlainText("IFF \"x.iff\"\n{\nFOO bar\n}");
  dialogs.FileNames.push_back(QString::fromStdString(home.File("x.iff")));
  Click(*form, "&compile");
  int row = -1;
  for (int i = 0; i < form->CompilerMessages->count(); ++i)
    if (form->CompilerMessages->item(i)->text() ==
        "error: line 3, \"FOO\" - undeclared identifier.")
      row = i;
  ASSERT_GE(row, 0);
  form->CompilerMessages->setCurrentRow(row);
  EXPECT_EQ(form->ScriptEdit->textCursor().selectedText(), "FOO bar");
  EXPECT_EQ(form->ScriptEdit->textCursor().blockNumber(), 2);
}

// ---- make tree ---------------------------------------------------------------------------

TEST_F(WindowTest, MakeTreeWithMissingLibraryReportsLoadErrorAfterSaving) {
  OpenLoaded();
  form->EditX->setText("7");
  Click(*form, "add VERT...");
  form->BspLibraryPath = QString::fromStdString(home.File("libbsp.so"));
  dialogs.FileNames.push_back(QString::fromStdString(home.File("hull.iff")));
  Click(*form, "make &tree");
  // An error naming the file looked for and the loader's reason, not an information box.
  EXPECT_TRUE(dialogs.Messages.isEmpty()) << dialogs.Messages.join("|").toStdString();
  ASSERT_EQ(dialogs.Errors.size(), 1);
  EXPECT_EQ(dialogs.Errors[0], "Cannot load " + form->BspLibraryPath +
                                   ": cannot open shared object file: No such file or directory");
  EXPECT_EQ(ReadBytes(home.File("vert.kvt")).size(), 6u * 12);
}

TEST_F(WindowTest, MakeTreeWithFailingBuilderShowsItsCode) {
  OpenLoaded();
  form->BspLibraryPath = TEST_BSP_FAIL;
  dialogs.FileNames.push_back(QString::fromStdString(home.File("hull.iff")));
  Click(*form, "make &tree");
  EXPECT_EQ(dialogs.Messages, (QStringList{"Starvigil - TREE Builder - Version 0.2 by Quarrow",
                                           "generate_bsp_tree failed with error code: 3"}));
}

TEST_F(WindowTest, MakeTreeWithWorkingBuilderCompilesItsScript) {
  OpenLoaded();
  form->BspLibraryPath = TEST_BSP_OK;
  dialogs.FileNames.push_back(QString::fromStdString(home.File("hull.iff")));
  Click(*form, "make &tree");
  EXPECT_EQ(dialogs.Messages,
            (QStringList{"Starvigil - TREE Builder - Version 0.2 by Quarrow",
                         "iff compiler script created - will try to compile it...",
                         "iffc returned without exceptions"}));
  const auto iff = ReadBytes(home.File("tree.iff"));
  // FORM, size 16, TREE, DATA, size 4, LONG 1.
  ASSERT_EQ(iff.size(), 24u);
  EXPECT_EQ(iff[7], 16);
  EXPECT_EQ(iff[20], 1);
  EXPECT_TRUE(std::filesystem::exists(home.File("hull.iff.txt")));
}

// ---- tessavor FILE ------------------------------------------------------------------

TEST_F(WindowTest, OpenedModelFilesAreRippedOrImportedAndOthersRefused) {
  using namespace testsupport;
  using namespace iffbytes;
  // The sample's record files are exactly what a model's chunks hold: wrapped into a model
  // and removed from the home folder, opening the model must bring them back.
  TSampleMesh::Square().Write(home);
  Bytes chunks;
  for (const auto& c : kRipChunkTable) {
    chunks = Cat({chunks, Chunk(c.Id, ReadBytes(home.File(c.FileName)))});
    std::filesystem::remove(home.File(c.FileName));
  }
  WriteBytes(home.File("house.IFF"), Form("MESH", chunks));
  Open();
  ASSERT_EQ(form->Document().NumVert, 0);
  EXPECT_TRUE(form->OpenModelFile(QString::fromStdString(home.File("house.IFF"))));
  EXPECT_EQ(form->Document().NumVert, 5);
  EXPECT_EQ(form->Document().NumFace, 2);
  EXPECT_EQ(form->VertexList->model()->rowCount(), 5);

  // An unknown kind of file changes nothing and says which file it was.
  EXPECT_FALSE(form->OpenModelFile("/nowhere/box.notamodel"));
  ASSERT_EQ(dialogs.Errors.size(), 1);
  EXPECT_TRUE(dialogs.Errors[0].contains("/nowhere/box.notamodel"))
      << dialogs.Errors[0].toStdString();
  EXPECT_EQ(form->Document().NumVert, 5);

  // An ASC scene is imported with the material asked as "Import ASC" asks it.
  WriteBytes(home.File("tri.asc"),
             Text("Vertex list:\nVertex 0: X:0 Y:0 Z:0\nVertex 1: X:1 Y:0 Z:0\n"
                  "Vertex 2: X:0 Y:1 Z:0\nFace list:\nFace 0: A:0 B:1 C:2 AB:1 BC:1 CA:1\n"
                  "Smoothing: 1\n\n"));
  dialogs.Inputs.push_back(QStringLiteral("70001"));
  EXPECT_TRUE(form->OpenModelFile(QString::fromStdString(home.File("tri.asc"))));
  EXPECT_EQ(form->Document().NumVert, 3);
  EXPECT_EQ(form->Document().NumFace, 1);
  EXPECT_EQ(form->Document().FaceAt(0)->Mat, 70001);
  EXPECT_EQ(dialogs.Prompts.size(), 1);
  EXPECT_EQ(dialogs.Errors.size(), 1);
}
