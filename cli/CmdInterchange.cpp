// import, export, formats: meshes in and out of other tools through Assimp.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/QtPictureLibrary.h"
#include "interchange/Interchange.h"
#include "mesh/MeshDocument.h"
#include "mesh/NumberText.h"
#include "util/Paths.h"

namespace {

// The value after an option, or a usage error naming the option.
const std::string& OptionValue(const std::vector<std::string>& args, size_t& i, const char* usage) {
  if (i + 1 >= args.size()) UsageError(std::string(args[i]) + " needs a value; expected: tessavor-cli " + usage);
  return args[++i];
}

int ImportCmd(const std::vector<std::string>& args) {
  const char* usage = "import MODEL [--mat N]";
  std::string path;
  TImportOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--mat") {
      options.FirstNewMat = ParseTypedInt(OptionValue(args, i, usage));
    } else if (path.empty()) {
      path = args[i];
    } else {
      UsageError(std::string("expected: tessavor-cli ") + usage);
    }
  }
  if (path.empty()) UsageError(std::string("expected: tessavor-cli ") + usage);
  TMeshDocument doc;
  doc.ShowData = false;
  const TImportReport report = ImportModel(doc, path, options);
  std::fputs(report.Text().c_str(), stdout);
  return 0;
}

int ExportCmd(const std::vector<std::string>& args) {
  const char* usage = "export OUT [--format ID] [--textures DIR]";
  std::string path;
  TExportOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--format") {
      options.FormatId = OptionValue(args, i, usage);
    } else if (args[i] == "--textures") {
      options.MaterialFolder = OptionValue(args, i, usage);
      if (!options.MaterialFolder.empty() && options.MaterialFolder.back() != '/') options.MaterialFolder += '/';
    } else if (path.empty()) {
      path = args[i];
    } else {
      UsageError(std::string("expected: tessavor-cli ") + usage);
    }
  }
  if (path.empty()) UsageError(std::string("expected: tessavor-cli ") + usage);
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
  for (const TFormatInfo& f : ImportFormats()) out += "  ." + f.Extension + "  " + f.Description + "\n";
  out += "Export (--format ID, or by extension):\n";
  for (const TFormatInfo& f : ExportFormats()) out += "  " + f.Id + "  ." + f.Extension + "  " + f.Description + "\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}

const TCommandRegistrar kCommands[] = {
    TCommandRegistrar({"import", "import MODEL [--mat N]",
                       "replace the mesh with any model Assimp reads (new material numbers from N, default "
                       "70000), then save",
                       ImportCmd}),
    TCommandRegistrar({"export", "export OUT [--format ID] [--textures DIR]",
                       "write the mesh with its materials and textures (from DIR, default ./) in the format of "
                       "OUT's extension or Assimp's format ID",
                       ExportCmd}),
    TCommandRegistrar({"formats", "formats", "list the formats import reads and export writes", FormatsCmd}),
};

}  // namespace
