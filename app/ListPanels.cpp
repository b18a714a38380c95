// The main window's list panels: the tabs "VERT/VTNM", "FVRT" and "FACE" with the five lists
// (vertices, normals, corners, faces, materials), their edit boxes and buttons, and what a
// click on a list line or on one of these buttons does.

#include "app/MainWindow.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <charconv>

#include "app/LineListModel.h"
#include "app/MainWindowShared.h"
#include "app/MeshToolActions.h"
#include "mesh/Geometry.h"
#include "mesh/Materials.h"
#include "mesh/NumberText.h"
#include "util/Paths.h"
#include "viewers/Dialogs.h"
#include "viewers/FacesWindow.h"
#include "viewers/PointsWindow.h"

using namespace mainwindow;

namespace {

// Enter in an edit box moves the focus on, as Tab would.
void EnterMovesFocus(QLineEdit* edit) {
  QObject::connect(edit, &QLineEdit::returnPressed, edit, [edit] {
    if (QWidget* w = edit->nextInFocusChain()) {
      // Skip controls that take no keyboard focus (labels, disabled boxes).
      while (w != edit && (!(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() ||
                           !w->isVisibleTo(edit->window())))
        w = w->nextInFocusChain();
      w->setFocus(Qt::TabFocusReason);
    }
  });
}

// The shortest text that reads back to the same float ("0.1", "-2.5", "1e+20").
QString ShortestText(float v) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
  return QString::fromLatin1(buffer, end - buffer);
}

QLineEdit* MakeEdit(QWidget* parent, const QString& name, const QString& text) {
  auto* e = new QLineEdit(text, parent);
  e->setObjectName(name);
  return e;
}

}  // namespace
QWidget* TMainWindow::BuildVertTab() {
  auto* tab = new QWidget;
  auto* grid = new QGridLayout(tab);
  VertexList = new TListBox(m_document.VertexLines, false, QStringLiteral("VertexList"), tab);
  NormalList = new TListBox(m_document.NormalLines, false, QStringLiteral("NormalList"), tab);
  grid->addWidget(VertexList, 0, 0);
  grid->addWidget(NormalList, 0, 1);
  connect(VertexList, &TListBox::lineClicked, this,
          [this] { RunAction([this] { OnVertexListClick(); }); });
  connect(NormalList, &TListBox::lineClicked, this,
          [this] { RunAction([this] { OnNormalListClick(); }); });
  connect(VertexList, &QListView::doubleClicked, this,
          [this] { RunEdit(QStringLiteral("add FVRT"), [this] { AddFvrtClick(); }); });

  auto* vert = new QGroupBox(QStringLiteral("VERT"), tab);
  auto* vl = new QGridLayout(vert);
  EditX = MakeEdit(vert, QStringLiteral("EditX"), QStringLiteral("0"));
  EditY = MakeEdit(vert, QStringLiteral("EditY"), QStringLiteral("0"));
  EditZ = MakeEdit(vert, QStringLiteral("EditZ"), QStringLiteral("0"));
  vl->addWidget(EditX, 0, 0);
  vl->addWidget(EditY, 0, 1);
  vl->addWidget(EditZ, 0, 2);
  vl->addWidget(AddButton(vert, QStringLiteral("add VERT..."), &TMainWindow::AddVertClick), 0, 3);
  vl->addWidget(AddButton(vert, QStringLiteral("Set VERT"), &TMainWindow::SetVertClick), 0, 4);
  LabelSize = new QLabel(vert);
  LabelSize->setObjectName(QStringLiteral("LabelSize"));
  vl->addWidget(LabelSize, 1, 0, 1, 5);
  for (QLineEdit* e : {EditX, EditY, EditZ}) EnterMovesFocus(e);

  auto* vtnm = new QGroupBox(QStringLiteral("VTNM"), tab);
  auto* nl = new QHBoxLayout(vtnm);
  nl->addWidget(AddButton(vtnm, QStringLiteral("add FVRT..."), &TMainWindow::AddFvrtClick));
  nl->addWidget(AddButton(vtnm, QStringLiteral("del VT"), [this] { DelVtAction(*this); }));
  nl->addWidget(AddButton(vtnm, QStringLiteral("Calc VTNM"), [this] { CalcVtnmAction(*this); }));
  nl->addWidget(AddButton(vtnm, QStringLiteral("CALC D"), [this] { CalcDAction(*this); }));
  nl->addWidget(AddButton(vtnm, QStringLiteral("flip VTNM"), [this] { FlipVtnmAction(*this); }));

  auto* scale = new QGroupBox(QStringLiteral("Scale Model"), tab);
  auto* sl = new QHBoxLayout(scale);
  EditScale = MakeEdit(scale, QStringLiteral("EditScale"), QStringLiteral("100"));
  sl->addWidget(EditScale);
  sl->addWidget(AddButton(scale, QStringLiteral("Scale!"), [this] { ScaleAction(*this); }));
  sl->addWidget(AddButton(scale, QStringLiteral("flipY"), [this] { FlipAction(*this, 1); }));
  sl->addWidget(AddButton(scale, QStringLiteral("flipZ"), [this] { FlipAction(*this, 2); }));
  LabelRadius = new QLabel(scale);
  LabelRadius->setObjectName(QStringLiteral("LabelRadius"));
  sl->addWidget(LabelRadius);

  grid->addWidget(vert, 1, 0, 1, 2);
  grid->addWidget(vtnm, 2, 0, 1, 2);
  grid->addWidget(scale, 3, 0, 1, 2);
  return tab;
}

QWidget* TMainWindow::BuildFvrtTab() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  CornerList = new TListBox(m_document.CornerLines, true, QStringLiteral("CornerList"), tab);
  layout->addWidget(CornerList);
  connect(CornerList, &TListBox::lineClicked, this,
          [this] { RunAction([this] { OnCornerListClick(); }); });

  auto* group = new QGroupBox(QStringLiteral("FVRT"), tab);
  auto* gl = new QGridLayout(group);
  EditTx = MakeEdit(group, QStringLiteral("EditTx"), QString());
  EditTy = MakeEdit(group, QStringLiteral("EditTy"), QString());
  EnterMovesFocus(EditTx);
  EnterMovesFocus(EditTy);
  gl->addWidget(EditTx, 0, 0);
  gl->addWidget(EditTy, 0, 1);
  gl->addWidget(AddButton(group, QStringLiteral("Apply TexCord"), &TMainWindow::ApplyTexCordClick),
                0, 2);
  gl->addWidget(AddButton(group, QStringLiteral("add FACE"), &TMainWindow::AddFaceClick), 1, 0);
  gl->addWidget(AddButton(group, QStringLiteral("all 0"), &TMainWindow::ResetTexCoordsClick), 1, 1);
  gl->addWidget(AddButton(group, QStringLiteral("RandAll"), &TMainWindow::RandAllClick), 1, 2);
  layout->addWidget(group);
  return tab;
}

QWidget* TMainWindow::BuildFaceTab() {
  auto* tab = new QWidget;
  auto* grid = new QGridLayout(tab);
  FaceList = new TListBox(m_document.FaceLines, false, QStringLiteral("FaceList"), tab);
  MaterialList = new TListBox(m_document.MaterialLines, false, QStringLiteral("MaterialList"), tab);
  grid->addWidget(FaceList, 0, 0);
  grid->addWidget(MaterialList, 0, 1);
  grid->setColumnStretch(0, 3);
  grid->setColumnStretch(1, 1);
  connect(FaceList, &TListBox::lineClicked, this,
          [this] { RunAction([this] { OnFaceListClick(); }); });
  connect(MaterialList, &TListBox::lineClicked, this,
          [this] { RunAction([this] { OnMaterialListClick(); }); });

  auto* group = new QGroupBox(QStringLiteral("FACE"), tab);
  auto* gl = new QHBoxLayout(group);
  EditMatPath = MakeEdit(group, QStringLiteral("EditMatPath"), QStringLiteral("./"));
  gl->addWidget(EditMatPath);
  gl->addWidget(AddButton(group, QStringLiteral("cg mat"), &TMainWindow::CgMatClick));
  gl->addWidget(AddButton(group, QStringLiteral("Cg all mat"), &TMainWindow::CgAllMatClick));
  grid->addWidget(group, 1, 0, 1, 2);
  return tab;
}

void TMainWindow::OnVertexListClick() {
  // The vertex and normal lists move together; a shorter normal list has no line there.
  const int v = m_document.VertexLines.Current();
  m_document.NormalLines.SetCurrent(v < m_document.NormalLines.Count() ? v : -1);
  // The boxes show the vertex exactly (shortest text that reads back to the same float), so
  // that "Set VERT" after changing one of them moves it along that axis only.
  if (const TPoint3* p = m_document.VertAt(v)) {
    EditX->setText(ShortestText(p->x));
    EditY->setText(ShortestText(p->y));
    EditZ->setText(ShortestText(p->z));
  }
  m_points->update();
  OnNormalListClick();
}

void TMainWindow::OnNormalListClick() {
  SetCaption(kTabVert, QStringLiteral("VERT/VTNM: %1/%2")
                           .arg(m_document.VertexLines.Current())
                           .arg(m_document.NormalLines.Current()));
}

void TMainWindow::OnCornerListClick() {
  const int i = m_document.CornerLines.Current();
  if (const TFvrtRecord* r = m_document.FvrtAt(i)) {
    EditTx->setText(Q(FormatRounded(r->Tx, 5)));
    EditTy->setText(Q(FormatRounded(r->Ty, 5)));
  }
  SetCaption(kTabFvrt, QStringLiteral("FVRT: %1").arg(i));
}

void TMainWindow::OnFaceListClick() {
  const int f = m_document.FaceLines.Current();
  m_faces->update();
  SetCaption(kTabFace, QStringLiteral("Face: %1").arg(f));
  if (const TFaceRecord* face = m_document.FaceAt(f))
    m_document.CornerLines.SetCurrent(face->FirstFvrt);
}

void TMainWindow::OnMaterialListClick() {
  const int row = m_document.MaterialLines.Current();
  if (row < 0) return;
  const QString path =
      MatPath() + Q(PadMaterialText(m_document.MaterialLines.Line(row))) + QStringLiteral(".bmp");
  if (!QFileInfo::exists(Q(MapFixedPath(Std(path)))))
    Dialogs().ShowMessage(this, path + QStringLiteral(" not found!"));
}

void TMainWindow::AddVertClick() {
  // All three numbers are parsed before anything is added.
  const float x = static_cast<float>(ParseTypedFloat(Std(EditX->text())));
  const float y = static_cast<float>(ParseTypedFloat(Std(EditY->text())));
  const float z = static_cast<float>(ParseTypedFloat(Std(EditZ->text())));
  AddVertWithNormal(m_document, x, y, z);
}

void TMainWindow::SetVertClick() {
  const int v = m_document.VertexLines.Current();
  if (!m_document.VertAt(v)) throw EMeshDocument("Set VERT: select the vertex to move first");
  const float x = static_cast<float>(ParseTypedFloat(Std(EditX->text())));
  const float y = static_cast<float>(ParseTypedFloat(Std(EditY->text())));
  const float z = static_cast<float>(ParseTypedFloat(Std(EditZ->text())));
  SetVertex(m_document, v, {x, y, z});
  RepaintViews();
}

void TMainWindow::AddFvrtClick() { AddFvrtFromCurrentLines(m_document); }

void TMainWindow::AddFaceClick() {
  if (!AddFaceFromSelection(m_document)) Dialogs().ShowMessage(this, Q(kSelectThreeFvrtsMessage));
}

void TMainWindow::ApplyTexCordClick() {
  const int i = m_document.CornerLines.Current();
  TFvrtRecord* r = m_document.FvrtAt(i);
  if (!r) return;  // no current corner: nothing to apply
  const float tx = static_cast<float>(ParseTypedFloat(Std(EditTx->text())));
  const float ty = static_cast<float>(ParseTypedFloat(Std(EditTy->text())));
  r->Tx = tx;
  r->Ty = ty;
  m_document.CornerLines.ReplaceLine(i, TMeshDocument::FvrtLineText(*r, true));
  // Walking down: the next corner becomes current, the selection stays.
  m_document.CornerLines.SetCurrent(i + 1);
  CornerList->setFocus();
  m_viewers.MeshViewerDrawScene();
}

void TMainWindow::CgMatClick() {
  const int f = m_document.FaceLines.Current();
  TFaceRecord* face = m_document.FaceAt(f);
  if (!face) return;
  const auto answer = Dialogs().InputBox(this, QStringLiteral("Change Mat"),
                                         QStringLiteral("Mat file:"), QString::number(face->Mat));
  if (!answer) return;
  // A mistyped number is refused with the conversion error, as the other boxes do.
  face->Mat = ParseTypedInt(Std(*answer));
  m_document.FaceLines.ReplaceLine(f, TMeshDocument::FaceLineText(*face));
  m_document.AddMaterialLine(face->Mat);
  m_document.FaceLines.SetCurrent(f);
  FaceList->setFocus();
}

void TMainWindow::CgAllMatClick() {
  const auto answer =
      Dialogs().InputBox(this, QStringLiteral("MAT file:"), QStringLiteral("change maT"),
                         QString::number(kDefaultMaterial));
  if (!answer) return;  // Cancel changes nothing
  SetAllMaterialsAction(*this, ParseTypedInt(Std(*answer)));
}

void TMainWindow::ResetTexCoordsClick() {
  if (!Dialogs().AskYesNo(this, Q(kResetTexCoordsQuestion))) return;
  ResetTexCoordsAction(*this);
}

void TMainWindow::RandAllClick() {
  if (!Dialogs().AskYesNo(this, Q(kRandomizeTexCoordsQuestion))) return;
  RandAllAction(*this);
}
