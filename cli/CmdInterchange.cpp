// import, export, formats: meshes in and out of other tools through Assimp.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/QtPictureLibrary.h"
#include "interchange/ImportTextures.h"
#include "interchange/Interchange.h"
#include "mesh/MeshDocument.h"
#include "mesh/NumberText.h"
#include "util/Paths.h"

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
    "import MODEL [--mat N] [--fit] [--object NAME]... [--textures DIR] [--replace-textures] | "
    "import MODEL --list";

int ImportCmd(const std::vector<std::string>& args) {
  TImportOptions options;
  // The textures go where the editor's material folder is, unless --textures says otherwise.
  options.MaterialFolder = MaterialFolderSetting(HomeFile("model.ini"));
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
      {{"--mat",
        [](TImportOptions& o, const std::string& v) { o.FirstNewMat = ParseTypedInt(v); }}},
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
  const std::string path = ParsePathAndOptions<TExportOptions>(
      args, "export OUT [--format ID] [--textures DIR]",
      {{"--format", [](TExportOptions& o, const std::string& v) { o.FormatId = v; }},
       {"--textures",
        [](TExportOptions& o, const std::string& v) {
          o.MaterialFolder = v;
          if (!v.empty() && v.back() != '/') o.MaterialFolder += '/';
        }}},
      options);
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
  out += "Export (--format ID, or by extension):\n";
  for (const TFormatInfo& f : ExportFormats())
    out += "  " + f.Id + "  ." + f.Extension + "  " + f.Description + "\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}

const TCommandRegistrar kCommands[] = {
    TCommandRegistrar(
        {"import", kImportUsage,
         "replace the mesh with any model Assimp reads as planar convex faces (new material "
         "numbers from N, default 70000; --fit simplifies a model over the record arrays; "
         "--object imports only the named objects, --list shows them), then save and write the "
         "materials' textures into the material folder (MatPath, or DIR)",
         ImportCmd}),
    TCommandRegistrar(
        {"export", "export OUT [--format ID] [--textures DIR]",
         "write the mesh with its materials and textures (from DIR, default ./) in the format of "
         "OUT's extension or Assimp's format ID",
         ExportCmd}),
    TCommandRegistrar(
        {"formats", "formats", "list the formats import reads and export writes", FormatsCmd}),
};

}  // namespace
