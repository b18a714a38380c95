#include "app/HelpPages.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

struct TTip {
  const char* Key;  // a push button's caption, else the widget's object name
  const char* Text;
};

// The captions are the system's own and stay terse; these say what each one does.
constexpr TTip kTips[] = {
    {"Load", "Read the record files of the home folder again (asks first about unsaved changes)"},
    {"Save", "Write the mesh into the record files of the home folder"},
    {"Rip mesh", "Take the mesh out of a model file (.iff) into the record files and load it"},
    {"Write back...", "Put the saved mesh into a copy of the model file it was ripped from"},
    {"Import ASC", "Read a scene in the ASC text format (starts at the usual test.asc)"},
    {"Output obj", "Write the mesh as a Wavefront OBJ file"},
    {"Import...", "Read a model in any format the importer knows, replacing the mesh"},
    {"Export...", "Write the mesh with its textures in another model format"},
    {"MeshViewer", "Show the model in 3D with its textures"},
    {"GL", "Show the tumbling OpenGL view of the model"},
    {"make &tree", "Build the model's collision tree and compile it into an IFF file"},
    {"ShowData", "List every record; off, only the corners' ty values are listed (faster)"},
    {"add VERT...", "Add a vertex at the x, y and z typed beside it"},
    {"Set VERT",
     "Move the selected vertex to the x, y and z typed beside it; the normals and plane "
     "distances of its faces follow"},
    {"add FVRT...", "Add a face corner on the selected vertex and normal"},
    {"del VT", "Forget all normals (the next normal added is number 0)"},
    {"Calc VTNM", "Work out all face and vertex normals and plane distances, then save"},
    {"CALC D", "Work out the faces' plane distances again, then save"},
    {"flip VTNM", "Turn every normal round (in memory)"},
    {"Scale!", "Scale the whole model by the percentage beside it, then save"},
    {"flipY", "Mirror the model in y, then save"},
    {"flipZ", "Mirror the model in z, then save"},
    {"Apply TexCord", "Give the selected corner the texture coordinates typed beside it"},
    {"add FACE", "Make a face of the selected corners, from the one clicked last onward"},
    {"all 0", "Set every corner's texture coordinates to 0, then save"},
    {"RandAll", "Give the corners a fixed pattern of texture coordinates, then save"},
    {"cg mat", "Give the selected face a material number"},
    {"Cg all mat", "Give every face one material number, then save"},
    {"&compile", "Compile the script into an IFF file (the record files as saved)"},
    {"EditX", "x of the vertex \"add VERT...\" adds"},
    {"EditY", "y of the vertex \"add VERT...\" adds"},
    {"EditZ", "z of the vertex \"add VERT...\" adds"},
    {"EditTx", "Texture coordinate tx for \"Apply TexCord\""},
    {"EditTy", "Texture coordinate ty for \"Apply TexCord\""},
    {"EditScale", "Percentage for \"Scale!\" (100 keeps the size)"},
    {"EditMatPath", "Material folder: where the .mat, .gct and .bmp textures are"},
    {"VertexList", "Vertices: x, y, z"},
    {"NormalList", "Normals: x, y, z"},
    {"CornerList", "Face corners: vertex, texture coordinates (select several for \"add FACE\")"},
    {"FaceList", "Faces: corners, material, plane distance"},
    {"MaterialList", "Materials in use; a click checks that the texture exists"},
    {"ScriptEdit", "The compiler script \"&compile\" saves beside the IFF file and compiles"},
    {"CompilerMessages", "The compiler's messages; click one to select its script line"},
    {"ListFaces", "Faces: click one to show its texture and corners"},
    {"ComboTexture", "The face's material number; Enter applies it"},
    {"TexturePicture", "The face's texture: click its corners in order to set them"},
};

const char* TipFor(const QString& key) {
  for (const TTip& t : kTips)
    if (key == QLatin1String(t.Key)) return t.Text;
  return nullptr;
}

}  // namespace

void SetToolTips(QWidget& root) {
  for (QWidget* w : root.findChildren<QWidget*>()) {
    const auto* button = qobject_cast<QPushButton*>(w);
    const char* tip = button ? TipFor(button->text()) : TipFor(w->objectName());
    if (tip) {
      w->setToolTip(QString::fromUtf8(tip));
    } else if (w->objectName().startsWith(QLatin1String("EditU")) ||
               w->objectName().startsWith(QLatin1String("EditV"))) {
      const QString n = w->objectName();
      w->setToolTip(QStringLiteral("Texture coordinate %1 of corner %2; Enter applies it")
                        .arg(n[4] == 'U' ? QStringLiteral("u (tx)") : QStringLiteral("v (ty)"))
                        .arg(n.mid(5)));
    }
  }
}

QString KeyboardAndMousePage() {
  return QStringLiteral(
      "<h3>Main window</h3>"
      "<table>"
      "<tr><td><b>Ctrl+L</b></td><td>Load: read the record files again</td></tr>"
      "<tr><td><b>Ctrl+S</b></td><td>Save</td></tr>"
      "<tr><td><b>Ctrl+O</b></td><td>Rip mesh: take the mesh out of an .iff model</td></tr>"
      "<tr><td><b>Ctrl+I</b></td><td>Import... a model of any format</td></tr>"
      "<tr><td><b>Ctrl+Z</b></td><td>Undo (ends a running spin first)</td></tr>"
      "<tr><td><b>Ctrl+Shift+Z</b>, <b>Ctrl+Y</b></td><td>Redo</td></tr>"
      "<tr><td><b>Ctrl+Q</b></td><td>Quit (asks first about unsaved changes)</td></tr>"
      "<tr><td><b>F1</b></td><td>This page</td></tr>"
      "<tr><td><b>Enter</b></td><td>in the x, y, z and tx, ty boxes: on to the next box; in "
      "the Texturing tab's material and U/V boxes: apply the value</td></tr>"
      "<tr><td><b>Arrows, Page Up/Down, Home, End</b></td><td>in a list: move the current "
      "line, as a click does</td></tr>"
      "<tr><td>Double click</td><td>on a vertex: add FVRT...</td></tr>"
      "<tr><td>Drop a file</td><td>on the window: rip or import it</td></tr>"
      "</table>"
      "<h3>Points and Faces windows</h3>"
      "<table>"
      "<tr><td>Left click</td><td>in Points: select the vertex under the mouse and add a "
      "corner on it</td></tr>"
      "<tr><td>Right drag</td><td>move the model's zero point</td></tr>"
      "</table>"
      "<h3>Tool window</h3>"
      "<table>"
      "<tr><td>X, Y, Z</td><td>spin the vertices about that axis until clicked again (one "
      "undo step)</td></tr>"
      "<tr><td>X+ X- Y+ Y- Z+ Z-</td><td>turn the vertices by 0.05 radians</td></tr>"
      "<tr><td>Button7</td><td>turn the vertices about z by 1.6 radians</td></tr>"
      "<tr><td>Spin box</td><td>zoom of the Points and Faces windows</td></tr>"
      "</table>"
      "<h3>Model viewer</h3>"
      "<table>"
      "<tr><td>Left or middle drag</td><td>orbit</td></tr>"
      "<tr><td>Right or Shift+middle drag</td><td>pan</td></tr>"
      "<tr><td>Wheel</td><td>zoom</td></tr>"
      "<tr><td><b>Home</b>, <b>Keypad .</b>, <b>F</b>, double click</td><td>frame the whole "
      "model</td></tr>"
      "<tr><td><b>Keypad 5</b></td><td>perspective on or off</td></tr>"
      "<tr><td><b>Keypad 1</b>, <b>3</b>, <b>7</b></td><td>front, right side, top view (with "
      "Ctrl: back, left side, bottom)</td></tr>"
      "<tr><td><b>Keypad 8</b>, <b>2</b>, <b>4</b>, <b>6</b></td><td>turn the model about x "
      "(8, 2) or y (4, 6), three times the step with Ctrl</td></tr>"
      "<tr><td><b>Shift+Keypad 4</b>, <b>6</b>, <b>Keypad 9</b></td><td>turn the model about "
      "the view axis</td></tr>"
      "<tr><td><b>Keypad 0</b></td><td>stop the spin and turn the model back to its starting "
      "rotation (&amp;Reset)</td></tr>"
      "<tr><td><b>Keypad +</b>, <b>Keypad -</b></td><td>zoom in, out</td></tr>"
      "<tr><td><b>A</b>, <b>S</b>, <b>W</b>, <b>Y</b>, <b>C</b>, <b>X</b></td><td>pan left, "
      "right, up, down, nearer, farther (three times as far with Ctrl)</td></tr>"
      "<tr><td>Right click</td><td>the menu: origin, wireframe, rotation, perspective, "
      "reset</td></tr>"
      "</table>"
      "<h3>GL viewer</h3>"
      "<table>"
      "<tr><td><b>+</b>, <b>-</b></td><td>zoom</td></tr>"
      "<tr><td><b>R</b></td><td>pause or go on tumbling</td></tr>"
      "</table>");
}

QString AboutPage() {
  return QStringLiteral(
      "<h3>Tessavor " TESSAVOR_VERSION
      "</h3>"
      "<p>An editor for the polygon meshes of Starvigil's models.</p>"
      "<p>Licence: MIT. Free to use, copy, change and pass on, with the copyright notice "
      "kept; it comes without warranty of any kind (the LICENSE file has the full text).</p>"
      "<p>Copyright (c) 2026 The Tessavor developers.</p>");
}

void ShowHelpPage(QWidget* parent, const QString& title, const QString& html) {
  auto* page = new QDialog(parent);
  page->setAttribute(Qt::WA_DeleteOnClose);
  page->setObjectName(QStringLiteral("HelpPage"));
  page->setWindowTitle(title);
  // Above the always-on-top tool windows, as the message boxes are.
  page->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  auto* layout = new QVBoxLayout(page);
  auto* text = new QTextBrowser(page);
  text->setHtml(html);
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, page);
  QObject::connect(buttons, &QDialogButtonBox::rejected, page, &QDialog::close);
  layout->addWidget(buttons);
  page->resize(520, 480);
  page->show();
}
