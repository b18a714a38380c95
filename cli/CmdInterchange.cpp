// import, export, formats: meshes in and out of other tools through Assimp.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/QtPictureLibrary.h"
#include "interchange/Interchange.h"
#include "mesh/MeshDocument.h"
#include "mesh/NumberText.h"
#include "util/IniValue.h"
#include "util/Paths.h"

std::string EditorMaterialFolder() {
  const auto folder = IniFileValue(HomeFile("model.ini"), "qorvex", "MatPath");
  return folder && !folder->empty() ? *folder : std::string("./");
}

namespace {

// An option that takes a value, and what it does with it to the command's options.
template <class TOptions>
struct TValueOption {
  const char* Name;
  void (*Apply)(TOptions& options, const std::string& value);
};

// The one argument loop of import and export: a single path and the command's options, each
// with its value; anything else is a usage error that shows `usage`.
template <class TOptions>
std::string ParsePathAndOptions(const std::vector<std::string>& args, const char* usage,
                                std::initializer_list<TValueOption<TOptions>> table,
                                TOptions& options) {
  const std::string expected = std::string("expected: tessavor-cli ") + usage;
  std::string path;
  for (size_t i = 0; i < args.size(); ++i) {
    const auto option =
        std::find_if(table.begin(), table.end(), [&](const auto& o) { return args[i] == o.Name; });
    if (option != table.end()) {
      if (i + 1 >= args.size()) UsageError(args[i] + " needs a value; " + expected);
      option->Apply(options, args[++i]);
    } else if (path.empty()) {
      path = args[i];
    } else {
      UsageError(expected);
    }
  }
  if (path.empty()) UsageError(expected);
  return path;
}

constexpr const char* kImportUsage =
    "import MODEL [--mat N] [--up auto|y|z] [--fit] [--object NAME]... [--textures DIR] "
    "[--replace-textures] | import MODEL --list [--up auto|y|z]";

int ImportCmd(const std::vector<std::string>& args) {
  TImportOptions options;
  // The textures go where the editor's material folder is, unless --textures says otherwise.
  options.MaterialFolder = EditorMaterialFolder();
  bool list = false;
  std::vector<std::string> rest;
  const std::string expected = std::string("expected: tessavor-cli ") + kImportUsage;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--fit") {
      options.Fit = true;
    } else if (args[i] == "--list") {
      list = true;
    } else if (args[i] == "--replace-textures") {
      options.ReplaceTextures = true;
    } else if (args[i] == "--object" || args[i] == "--textures") {
      if (i + 1 >= args.size()) UsageError(args[i] + " needs a value; " + expected);
      if (args[i] == "--object") {
        options.Objects.push_back(args[++i]);
      } else {
        options.MaterialFolder = args[++i];
        if (!options.MaterialFolder.empty() && options.MaterialFolder.back() != '/')
          options.MaterialFolder += '/';
      }
    } else {
      rest.push_back(args[i]);
    }
  }
  const std::string path = ParsePathAndOptions<TImportOptions>(
      rest, kImportUsage,
      {{"--mat", [](TImportOptions& o, const std::string& v) { o.FirstNewMat = ParseTypedInt(v); }},
       {"--up",
        [](TImportOptions& o, const std::string& v) {
          if (!ParseUpAxis(v, o.Up)) UsageError("--up takes auto, y or z, not \"" + v + "\"");
        }}},
      options);
  if (list) {
    std::fputs(ListModelObjects(path, options).c_str(), stdout);
    return 0;
  }
  options.LoadForeignPicture = LoadWithQt;
  TMeshDocument doc;
  doc.ShowData = false;
  const TImportReport report = ImportModel(doc, path, options);
  std::fputs(report.Text().c_str(), stdout);
  return 0;
}

int ExportCmd(const std::vector<std::string>& args) {
  TExportOptions options;
  options.MaterialFolder.clear();
  const std::string path = ParsePathAndOptions<TExportOptions>(
      args, "export OUT [--format ID] [--textures DIR] [--up y|z]",
      {{"--format", [](TExportOptions& o, const std::string& v) { o.FormatId = v; }},
       {"--textures",
        [](TExportOptions& o, const std::string& v) {
          o.MaterialFolder = v;
          if (!v.empty() && v.back() != '/') o.MaterialFolder += '/';
        }},
       {"--up",
        [](TExportOptions& o, const std::string& v) {
          if (v != "y" && v != "z") UsageError("--up takes y or z, not \"" + v + "\"");
          o.ZUp = v == "z";
        }}},
      options);
  // As in the editor, the material folder is taken as a plain prefix of the file names.
  if (options.MaterialFolder.empty()) options.MaterialFolder = EditorMaterialFolder();
  options.LoadForeignPicture = LoadWithQt;
  TMeshDocument doc;
  doc.ShowData = false;
  doc.LoadRecordFiles();
  const TExportReport report = ExportModel(doc, path, options);
  std::fputs(report.Text().c_str(), stdout);
  return 0;
}

int FormatsCmd(const std::vector<std::string>& args) {
  if (!args.empty()) UsageError("expected: tessavor-cli formats");
  std::string out = "Import (by extension):\n";
  for (const TFormatInfo& f : ImportFormats())
    out += "  ." + f.Extension + "  " + f.Description + "\n";
  out += "Export (--format ID, or by extension; each reads back):\n";
  for (const TFormatInfo& f : ExportFormats())
    out += "  " + f.Id + "  ." + f.Extension + "  " + f.Description + "\n";
  out += "Export, write-only (--format ID; nothing here reads them back):\n";
  for (const auto& [f, why] : WriteOnlyExportFormats())
    out += "  " + f.Id + "  ." + f.Extension + "  " + f.Description + ": " + why + "\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}

const TCommandRegistrar kCommands[] = {
    TCommandRegistrar(
        {"import", kImportUsage,
         "replace the mesh with any model Assimp reads as planar convex faces (new material "
         "numbers from N, default 70000; --up z for a file whose up axis is z, y for y, default "
         "auto: z for .blend, an FBX file's own axis, else y; --fit "
         "simplifies a model over the record arrays; --object imports only the named objects, "
         "--list shows them), then save and write the materials' textures into the material "
         "folder (MatPath, or DIR)",
         ImportCmd}),
    TCommandRegistrar(
        {"export", "export OUT [--format ID] [--textures DIR] [--up y|z]",
         "write the mesh with its materials and textures (from DIR, default the editor's "
         "material folder) in the format of OUT's extension or Assimp's format ID, Y or Z up "
         "(default y)",
         ExportCmd, true, true}),
    TCommandRegistrar({"formats", "formats", "list the formats import reads and export writes",
                       FormatsCmd, false}),
};

}  // namespace
