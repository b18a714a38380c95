// A double click in the vertex list adds a corner exactly as the "add FVRT..." button does:
// the clicked vertex, the normal line that moved with it, texture (0, 0).
#include <QListView>
#include <QTest>

#include "AppTestSupport.h"
#include "app/LineListModel.h"

namespace {

void DoubleClickLine(QListView* list, int row) {
  const QRect r = list->visualRect(list->model()->index(row, 0));
  ASSERT_TRUE(r.isValid()) << "line " << row << " is not laid out";
  // What a user's double click delivers: a press and release, then the double-click event
  // (QTest's widget double click alone sends only the last).
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
  QApplication::processEvents();
}

}  // namespace

TEST_F(WindowTest, DoubleClickOnAVertexAddsACornerForIt) {
  OpenLoaded();
  TMeshDocument& d = form->Document();
  ASSERT_EQ(d.NumFvrt, 6);
  DoubleClickLine(form->VertexList, 2);
  ASSERT_EQ(d.NumFvrt, 7);
  EXPECT_EQ(d.FVRT[6].Vert, 2);
  EXPECT_EQ(d.FVRT[6].Vtnm, 2);
  EXPECT_EQ(d.FVRT[6].Tx, 0.0f);
  EXPECT_EQ(d.FVRT[6].Ty, 0.0f);
  EXPECT_EQ(d.CornerLines.Count(), 7);
  EXPECT_EQ(d.VertexLines.Current(), 2);
  EXPECT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
}

TEST_F(WindowTest, DoubleClickOnAVertexWithoutNormalStoresMinusOne) {
  // The sample has four normals for five vertices: line 4 of the vertex list has no
  // normal line to move with it.
  OpenLoaded();
  TMeshDocument& d = form->Document();
  DoubleClickLine(form->VertexList, 4);
  ASSERT_EQ(d.NumFvrt, 7);
  EXPECT_EQ(d.FVRT[6].Vert, 4);
  EXPECT_EQ(d.FVRT[6].Vtnm, -1);
}

TEST_F(WindowTest, EachDoubleClickAddsOneCorner) {
  OpenLoaded();
  TMeshDocument& d = form->Document();
  DoubleClickLine(form->VertexList, 0);
  DoubleClickLine(form->VertexList, 1);
  ASSERT_EQ(d.NumFvrt, 8);
  EXPECT_EQ(d.FVRT[6].Vert, 0);
  EXPECT_EQ(d.FVRT[7].Vert, 1);
  EXPECT_EQ(d.FVRT[7].Vtnm, 1);
}
