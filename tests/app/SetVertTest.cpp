// "Set VERT": the x/y/z boxes show the vertex clicked, and the button moves it to the typed
// place as one undoable step, its faces' normals and D following.
#include <QLineEdit>
#include <QPushButton>
#include <QUndoStack>

#include "AppTestSupport.h"
#include "app/LineListModel.h"
#include "mesh/MeshCheck.h"
#include "mesh/Normals.h"

namespace {

class SetVert : public WindowTest {
protected:
  void Click(const char* caption) {
    QPushButton* b = form->Button(caption);
    ASSERT_NE(b, nullptr) << caption;
    b->click();
  }
  std::vector<std::string> DProblems() const {
    std::vector<std::string> lines;
    for (const std::string& line : CheckMesh(form->Document()).Others)
      if (line.find(": D is") != std::string::npos) lines.push_back(line);
    return lines;
  }
};

TEST_F(SetVert, TheBoxesShowTheClickedVertexExactly) {
  TSampleMesh mesh = TSampleMesh::Square();
  mesh.Verts[1] = {0.1f, -2.5f, 1e20f};
  OpenLoaded(mesh);
  form->VertexList->ClickLine(4);
  EXPECT_EQ(form->EditX->text(), "0");
  EXPECT_EQ(form->EditZ->text(), "15");
  form->VertexList->ClickLine(1);
  EXPECT_EQ(form->EditX->text(), "0.1");
  EXPECT_EQ(form->EditY->text(), "-2.5");
  EXPECT_EQ(form->EditZ->text(), "1e+20");
}

TEST_F(SetVert, MovesTheVertexAsOneStepWithItsFacesKeptTrue) {
  TSampleMesh mesh = TSampleMesh::Square();
  OpenLoaded(mesh);
  TMeshDocument& doc = form->Document();
  CalcVtnmRecords(doc);  // the sample's D are not its corners'; start from true ones
  form->UndoStack()->clear();
  ASSERT_TRUE(DProblems().empty());
  form->VertexList->ClickLine(2);
  form->EditZ->setText("5");
  Click("Set VERT");
  EXPECT_EQ(doc.VERT[2].x, 10.0f);
  EXPECT_EQ(doc.VERT[2].z, 5.0f);
  EXPECT_EQ(doc.VertexLines.Line(2), "10.000, 10.000, 5.000");
  EXPECT_TRUE(DProblems().empty()) << DProblems().front();
  EXPECT_EQ(form->UndoStack()->count(), 1);
  EXPECT_TRUE(form->windowTitle().endsWith(" *"));
  form->Undo();
  EXPECT_EQ(doc.VERT[2].z, 0.0f);
}

TEST_F(SetVert, WithoutAVertexOrWithABadNumberNothingMoves) {
  OpenLoaded();
  form->EditX->setText("3");
  Click("Set VERT");
  ASSERT_EQ(dialogs.Errors.size(), 1);
  EXPECT_TRUE(dialogs.Errors[0].contains("select the vertex")) << dialogs.Errors[0].toStdString();
  form->VertexList->ClickLine(0);
  form->EditY->setText("4x");
  Click("Set VERT");
  EXPECT_EQ(dialogs.Errors.size(), 2);
  EXPECT_EQ(form->Document().VERT[0].y, -10.0f);
  EXPECT_EQ(form->UndoStack()->count(), 0);
}

}  // namespace
