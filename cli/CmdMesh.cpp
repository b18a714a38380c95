// The mesh document's commands: info, lists and the editing buttons that need no window.
// Each editing command loads the home folder's record files, changes the document and ends
// with Save, as the editor's buttons do. Typed numbers are parsed before anything changes.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "mesh/AscImport.h"
#include "mesh/Geometry.h"
#include "mesh/Materials.h"
#include "mesh/MeshCheck.h"
#include "mesh/MeshDocument.h"
#include "mesh/Normals.h"
#include "mesh/NumberText.h"
#include "mesh/ObjExport.h"
#include "util/Exception.h"
#include "util/Paths.h"
#include "util/StrTools.h"

namespace {

void ExpectArgs(const std::vector<std::string>& args, size_t n, const char* usage) {
  if (args.size() != n) UsageError(std::string("expected: tessavor-cli ") + usage);
}

// Loads the record files; a home folder without any of them is said plainly, and a single
// missing file is Load's own error naming it.
void LoadHome(TMeshDocument& doc) {
  bool any = false;
  for (const char* name : {kVertFile, kVtnmFile, kFvrtFile, kFaceFile}) {
    std::error_code ec;
    any = any || std::filesystem::exists(HomeFile(name), ec);
  }
  if (!any) {
    throw EInOutError("The home folder " + QuotePathForMessage(HomeFolder()) +
                      " has no record files yet (vert.kvt, vtnm.kvt, fvrt.kvt, face.kvt): rip a "
                      "model (tessavor-cli rip MODEL) or import an ASC scene first");
  }
  doc.LoadRecordFiles();
}

void PrintCounts(const TMeshDocument& doc) {
  std::printf("VERT %d, VTNM %d, FVRT %d, FACE %d\n", doc.NumVert, doc.NumVtnm, doc.NumFvrt,
              doc.NumFace);
}

int Info(const std::vector<std::string>& args) {
  ExpectArgs(args, 0, "info");
  TMeshDocument doc;
  doc.ShowData = false;  // the lines are not shown here; this keeps the memory small
  LoadHome(doc);
  std::printf("Home folder: %s\n", QuotePathForMessage(HomeFolder()).c_str());
  PrintCounts(doc);
  std::printf("Size: %s\n%s\n", doc.SizeLabel().c_str(), doc.RadiusLabel().c_str());
  return 0;
}

int Lists(const std::vector<std::string>& args) {
  if (args.size() > 1 || (args.size() == 1 && args[0] != "--hide-data")) {
    UsageError("expected: tessavor-cli lists [--hide-data]");
  }
  TMeshDocument doc;
  doc.ShowData = args.empty();
  LoadHome(doc);
  std::string out;
  const TListLines* lists[] = {&doc.VertexLines, &doc.NormalLines, &doc.CornerLines, &doc.FaceLines,
                               &doc.MaterialLines};
  for (int i = 0; i < 5; ++i) {
    out += "[ListBox" + std::to_string(i + 1) + "]\n";
    for (const std::string& line : lists[i]->Lines()) {
      out += line;
      out += '\n';
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

// A command that loads, runs `op` (which saves and reloads) and prints the counts.
template <class TOp>
int Edit(const std::vector<std::string>& args, const char* usage, TOp op) {
  ExpectArgs(args, 0, usage);
  TMeshDocument doc;
  doc.ShowData = false;
  LoadHome(doc);
  op(doc);
  PrintCounts(doc);
  return 0;
}

int CalcVtnmCmd(const std::vector<std::string>& args) {
  return Edit(args, "calc-vtnm", [](TMeshDocument& d) { CalcVtnm(d); });
}
int CalcDCmd(const std::vector<std::string>& args) {
  return Edit(args, "calc-d", [](TMeshDocument& d) { CalcD(d); });
}
int FlipYCmd(const std::vector<std::string>& args) {
  return Edit(args, "flip-y", [](TMeshDocument& d) { FlipY(d); });
}
int FlipZCmd(const std::vector<std::string>& args) {
  return Edit(args, "flip-z", [](TMeshDocument& d) { FlipZ(d); });
}
int FlipVtnmCmd(const std::vector<std::string>& args) {
  // The button keeps the change in memory until the next Save; here the Save follows.
  return Edit(args, "flip-vtnm", [](TMeshDocument& d) {
    FlipVtnm(d);
    d.SaveRecordFiles();
  });
}
int All0Cmd(const std::vector<std::string>& args) {
  return Edit(args, "all0", [](TMeshDocument& d) { ResetTexCoords(d); });
}
int RandAllCmd(const std::vector<std::string>& args) {
  return Edit(args, "randall", [](TMeshDocument& d) { RandAllTexCoords(d); });
}

int ScaleCmd(const std::vector<std::string>& args) {
  ExpectArgs(args, 1, "scale PERCENT");
  const float percent = static_cast<float>(ParseTypedFloat(args[0]));
  return Edit({}, "scale PERCENT", [percent](TMeshDocument& d) { ScaleModel(d, percent); });
}

int SetMatCmd(const std::vector<std::string>& args) {
  ExpectArgs(args, 1, "set-mat MAT");
  const int32_t mat = ParseTypedInt(args[0]);
  return Edit({}, "set-mat MAT", [mat](TMeshDocument& d) { SetAllMaterials(d, mat); });
}

int ImportAscCmd(const std::vector<std::string>& args) {
  std::string path;
  int32_t mat = kDefaultMaterial;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--mat") {
      if (i + 1 >= args.size()) UsageError("import-asc: --mat needs a material number");
      mat = ParseTypedInt(args[++i]);
    } else if (path.empty()) {
      path = args[i];
    } else {
      UsageError("expected: tessavor-cli import-asc [FILE] [--mat N]");
    }
  }
  if (path.empty()) path = DefaultAscPath();
  TMeshDocument doc;
  doc.ShowData = false;
  ImportAsc(doc, path, mat);
  doc.SaveRecordFiles();
  std::printf("Imported %s into %s\n", QuotePathForMessage(path).c_str(),
              QuotePathForMessage(HomeFolder()).c_str());
  PrintCounts(doc);
  return 0;
}

int ExportObjCmd(const std::vector<std::string>& args) {
  ExpectArgs(args, 1, "export-obj OUT");
  TMeshDocument doc;
  doc.ShowData = false;
  LoadHome(doc);
  ExportObj(doc, args[0]);
  std::printf("Wrote %s: ", QuotePathForMessage(args[0]).c_str());
  PrintCounts(doc);
  return 0;
}

int Check(const std::vector<std::string>& args) {
  ExpectArgs(args, 0, "check");
  // A damaged file stops the Load, so it is all that can be told.
  if (const std::vector<std::string> damaged = DamagedRecordFiles(); !damaged.empty()) {
    for (const std::string& line : damaged) std::printf("%s\n", line.c_str());
    std::printf("%zu problems found: the record files cannot be loaded as they are\n",
                damaged.size());
    return 1;
  }
  TMeshDocument doc;
  doc.ShowData = false;
  LoadHome(doc);
  const TMeshProblems problems = CheckMesh(doc);
  std::string out;
  for (const auto* lines : {&problems.Indices, &problems.Others}) {
    for (const std::string& line : *lines) out += line + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  const size_t count = problems.Indices.size() + problems.Others.size();
  if (count == 0)
    std::printf("No problems found: ");
  else
    std::printf("%zu problems found: ", count);
  PrintCounts(doc);
  return count == 0 ? 0 : 1;
}

const TCommandRegistrar kCommands[] = {
    TCommandRegistrar(
        {"check", "check",
         "validate the record files: one line per problem with its record number; exit 1 "
         "when there is any",
         Check, true, true}),
    TCommandRegistrar({"info", "info", "counts, size label and radius label of the record files",
                       Info, true, true}),
    TCommandRegistrar({"lists", "lists [--hide-data]",
                       "the five list boxes' lines; --hide-data as with \"Show Data\" unchecked",
                       Lists, true, true}),
    TCommandRegistrar({"calc-vtnm", "calc-vtnm",
                       "recompute face and vertex normals and plane distances", CalcVtnmCmd}),
    TCommandRegistrar({"calc-d", "calc-d", "recompute the faces' plane distances", CalcDCmd}),
    TCommandRegistrar({"scale", "scale PERCENT",
                       "scale every vertex, and the radius, by PERCENT / 100", ScaleCmd}),
    TCommandRegistrar({"flip-y", "flip-y", "mirror every vertex in y", FlipYCmd}),
    TCommandRegistrar({"flip-z", "flip-z", "mirror every vertex in z", FlipZCmd}),
    TCommandRegistrar({"flip-vtnm", "flip-vtnm", "reverse every normal", FlipVtnmCmd}),
    TCommandRegistrar({"all0", "all0", "set every texture coordinate to 0", All0Cmd}),
    TCommandRegistrar({"randall", "randall",
                       "the fixed texture coordinate pattern per three corners", RandAllCmd}),
    TCommandRegistrar({"set-mat", "set-mat MAT", "give every face the material MAT", SetMatCmd}),
    TCommandRegistrar({"import-asc", "import-asc [FILE] [--mat N]",
                       "replace the mesh with an ASC scene (default: test.asc in the home folder, "
                       "material 70000), then save",
                       ImportAscCmd}),
    TCommandRegistrar({"export-obj", "export-obj OUT", "write the mesh as a WaveFront OBJ file",
                       ExportObjCmd, true, true}),
};

}  // namespace
