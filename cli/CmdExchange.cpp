// mesh-to-json, mesh-from-json: the exchange with the Blender add-on
// (interchange/ModelExchange.h).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/QtPictureLibrary.h"
#include "interchange/ModelExchange.h"
#include "mesh/NumberText.h"
#include "util/FileIo.h"

namespace {

// The largest model file the IFF reader accepts.
constexpr uint64_t kMaxModelBytes = 0x7FFFFFFF;

int MeshToJsonCmd(const std::vector<std::string>& args) {
  if (args.size() != 2) UsageError("expected: tessavor-cli mesh-to-json MODEL OUT");
  const std::vector<uint8_t> model = ReadWholeFile(args[0], kMaxModelBytes);
  const std::string text = ModelMeshJson(model, args[0]);
  WriteFileAtomic(args[1], text.data(), text.size());
  return 0;
}

// The game-ready import's refusals, worded for the export that ran it: nothing was written,
// and "Fit" is the Blender export's name for --fit.
std::string ForExport(std::string message) {
  const auto replace = [&](const std::string& from, const std::string& to) {
    const size_t at = message.find(from);
    if (at != std::string::npos) message.replace(at, from.size(), to);
  };
  replace("nothing was imported", "nothing was written");
  replace("--fit simplifies", "--fit (\"Fit\" in Blender's export) simplifies");
  return message;
}

constexpr const char* kFromJsonUsage =
    "mesh-from-json JSON OUT [--mat N] [--fit] [--textures DIR] [--replace-textures]";

int MeshFromJsonCmd(const std::vector<std::string>& args) {
  const std::string expected = std::string("expected: tessavor-cli ") + kFromJsonUsage;
  TImportOptions options;
  std::vector<std::string> paths;
  bool textures = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--fit") {
      options.Fit = true;
    } else if (args[i] == "--replace-textures") {
      options.ReplaceTextures = true;
    } else if (args[i] == "--mat" || args[i] == "--textures") {
      if (i + 1 >= args.size()) UsageError(args[i] + " needs a value; " + expected);
      if (args[i] == "--mat") {
        options.FirstNewMat = ParseTypedInt(args[++i]);
      } else {
        options.MaterialFolder = args[++i];
        if (!options.MaterialFolder.empty() && options.MaterialFolder.back() != '/')
          options.MaterialFolder += '/';
        textures = true;
      }
    } else {
      paths.push_back(args[i]);
    }
  }
  if (paths.size() != 2) UsageError(expected);
  if (!textures) options.MaterialFolder = EditorMaterialFolder();
  options.LoadForeignPicture = LoadWithQt;

  const std::vector<uint8_t> text = ReadWholeFile(paths[0], kMaxExchangeBytes);
  const TEditedMesh mesh = ParseEditedMesh(
      std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), paths[0]);
  std::vector<uint8_t> source;
  if (!mesh.Source.empty()) source = ReadWholeFile(mesh.Source, kMaxModelBytes);
  const std::string folder = std::filesystem::path(paths[0]).parent_path().string();
  TEditedModel made;
  try {
    made = BuildEditedModel(mesh, source, folder, options);
  } catch (const EInterchange& e) {
    throw EModelExchange(ForExport(e.what()));
  }
  // The model first, whole or not at all; the pictures after it, as the import writes them.
  WriteFileAtomic(paths[1], made.Bytes.data(), made.Bytes.size());
  WriteImportTextures(made.Mesh, options, made.Report);

  const TImportReport& r = made.Report;
  std::string out = "Wrote " + paths[1] + " (" + std::to_string(made.Bytes.size()) +
                    " bytes): VERT " + std::to_string(r.NumVert) + ", VTNM " +
                    std::to_string(r.NumVtnm) + ", FVRT " + std::to_string(r.NumFvrt) + ", FACE " +
                    std::to_string(r.NumFace) + "\n";
  if (mesh.Source.empty()) {
    out += "A new model: " + std::to_string(made.NewFaces) + " game-ready faces\n";
  } else if (made.KeptStructure) {
    out += "The records of " + mesh.Source + " kept; " + std::to_string(made.MovedVerts) +
           " vertices moved\n";
  } else {
    out += "Into a copy of " + mesh.Source + ": " + std::to_string(made.MovedVerts) +
           " vertices moved, " + std::to_string(made.NewFaces) + " new polygons made game-ready, " +
           std::to_string(made.DroppedFaces) + " faces of the source gone\n";
  }
  for (const std::string& note : r.Notes) out += note + "\n";
  out += "Materials:\n";
  for (const auto& [name, mat] : r.Materials)
    out += "  \"" + name + "\" -> " + std::to_string(mat) + "\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}

const TCommandRegistrar kCommands[] = {
    TCommandRegistrar({"mesh-to-json", "mesh-to-json MODEL OUT",
                       "write the records of MODEL's mesh as JSON (the Blender add-on's import)",
                       MeshToJsonCmd, false}),
    TCommandRegistrar(
        {"mesh-from-json", kFromJsonUsage,
         "make a model from an edited mesh in JSON (the Blender add-on's export): into a copy "
         "of its source model with only what changed, new polygons game-ready; the pictures "
         "into the material folder (MatPath, or DIR)",
         MeshFromJsonCmd, false}),
};

}  // namespace
