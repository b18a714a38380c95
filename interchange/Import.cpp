// Import through Assimp (see Interchange.h for the rules).
#include "interchange/Interchange.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "interchange/GameReady.h"
#include "interchange/ImportTextures.h"
#include "interchange/SceneData.h"
#include "mesh/RecordFiles.h"
#include "util/FileIo.h"
#include "util/Isolate.h"
#include "util/Paths.h"
#include "util/StrTools.h"

namespace {

// Assimp 5.2's PLY reader loops for ever on a header that never ends: a PLY file (it
// starts with "ply") must have "end_header" within its first kPlyHeaderScan bytes.
constexpr size_t kPlyHeaderScan = 1 << 20;

void CheckPlyHeader(std::string_view head, const std::string& name) {
  if (head.substr(0, 3) != "ply") return;
  // As the reader takes it: a word of its own, not "end_header" inside another word.
  const std::string_view scan = head.substr(0, kPlyHeaderScan);
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  bool found = false;
  size_t at = scan.find("end_header");
  for (; at != std::string_view::npos; at = scan.find("end_header", at + 1)) {
    const size_t after = at + 10;
    found = (at == 0 || blank(scan[at - 1])) && (after >= scan.size() || blank(scan[after]));
    if (found) break;
  }
  if (!found) {
    throw CannotImport(name, "a PLY header without \"end_header\"");
  }
  // The same reader frees memory it does not own on a header holding NUL or other control
  // bytes: a header is text, so such a file is refused before it gets there.
  for (const char c : scan.substr(0, at)) {
    if (static_cast<unsigned char>(c) < 0x20 && !blank(c)) {
      throw CannotImport(name, "a PLY header holding control bytes");
    }
  }
}

std::string Megabytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

std::string MemoryLimitText(uint64_t limit, bool fromFileSize) {
  return "the model reader needed more than its memory limit of " + Megabytes(limit) +
         (fromFileSize ? " (1 GiB and 64 times the file's size, at most 4 GiB)" : "");
}

TGatheredScene ReadIsolated(const std::string& fileName, uint64_t fileSize,
                            const TImportOptions& options) {
  const std::string reader = ProgramLibraryPath(kModelReaderProgram);
  if (reader.empty()) throw CannotImport(fileName, "the program folder is unknown");
  if (access(reader.c_str(), X_OK) != 0)
    throw CannotImport(fileName,
                       "cannot run the model reader " + reader + ": " + std::strerror(errno));
  TIsolationLimits limits;
  limits.Seconds = options.TimeLimitSeconds;
  const bool fromFileSize = options.MemoryLimitBytes == 0;
  limits.MemoryBytes = fromFileSize ? ImportMemoryLimit(fileSize) : options.MemoryLimitBytes;
  limits.Cancel = options.Cancel;
  limits.MaxOutputBytes = kMaxSceneBytes;
  std::vector<std::string> args{reader, fileName};
  if (options.Up != TUpAxis::Auto)
    args.insert(args.begin() + 1, options.Up == TUpAxis::Z ? kModelReaderZUp : kModelReaderYUp);
  TIsolationResult result;
  try {
    result = RunIsolated(args, limits);
  } catch (const EIsolation& e) {
    throw CannotImport(fileName, e.what());
  }
  switch (result.End) {
    case TIsolationEnd::Exited:
      break;
    case TIsolationEnd::Crashed:
      throw CannotImport(fileName, "the model reader crashed on it (" +
                                       std::string(strsignal(result.Signal)) +
                                       "); the file is damaged or holds something it cannot read");
    case TIsolationEnd::TimedOut:
      throw CannotImport(fileName, "the model reader did not finish within its time limit of " +
                                       std::to_string(static_cast<int64_t>(limits.Seconds)) +
                                       " seconds");
    case TIsolationEnd::OutOfMemory:
      throw CannotImport(fileName, MemoryLimitText(limits.MemoryBytes, fromFileSize));
    case TIsolationEnd::OutputTooLarge:
      throw CannotImport(fileName, "the model reader gave more than a scene can hold");
    case TIsolationEnd::Cancelled:
      throw EInterchange("Import of \"" + QuotePathForMessage(fileName) + "\" cancelled");
  }
  if (result.ExitCode == kModelReaderOutOfMemory)
    throw CannotImport(fileName, MemoryLimitText(limits.MemoryBytes, fromFileSize));
  if (result.ExitCode == kModelReaderMessage && !result.Output.empty() &&
      result.Output.size() <= 64 * 1024)
    throw EInterchange(result.Output);
  if (result.ExitCode != kModelReaderScene)
    throw CannotImport(fileName, "the model reader ended without a result (exit status " +
                                     std::to_string(result.ExitCode) + ")");
  return DecodeScene(result.Output, fileName);
}

// The checks on the file, then the reader in its child process.
TGatheredScene ReadScene(const std::string& path, const TImportOptions& options) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw CannotImport(path, ec ? ec.message() : "not a regular file");
  }
  uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) size = 0;
  if (size > kMaxModelFileSize) {
    throw CannotImport(path, std::to_string(size) + " bytes, more than the " +
                                 std::to_string(kMaxModelFileSize) + " a model file may have");
  }
  {
    std::ifstream file(path, std::ios::binary);
    std::string head(kPlyHeaderScan, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.gcount()));
    CheckPlyHeader(head, path);
  }
  return ReadIsolated(path, static_cast<uint64_t>(size), options);
}

}  // namespace

bool ParseUpAxis(const std::string& text, TUpAxis& axis) {
  if (text == "auto")
    axis = TUpAxis::Auto;
  else if (text == "y")
    axis = TUpAxis::Y;
  else if (text == "z")
    axis = TUpAxis::Z;
  else
    return false;
  return true;
}

uint64_t ImportMemoryLimit(uint64_t fileSize) {
  constexpr uint64_t kBase = uint64_t{1} << 30, kMost = uint64_t{4} << 30;
  return fileSize >= (kMost - kBase) / 64 ? kMost : kBase + 64 * fileSize;
}

TImportedMesh ReadModel(const std::string& path, const TImportOptions& options,
                        TImportReport& report) {
  report = TImportReport{};
  report.FileName = path;
  TGatheredScene scene = ReadScene(path, options);
  // The objects asked for, numbers that compute as no finite number refused, game-ready
  // faces, --fit, then the record arrays' capacity (interchange/GameReady.h).
  PrepareScene(scene, options, report);
  TImportedMesh mesh = BuildImportedMesh(scene, options, report);
  // The pictures of the numbered materials, written after the commit (ImportTextures.h).
  AttachTextures(mesh, scene, report, path);
  return mesh;
}

std::string ListModelObjects(const std::string& path, const TImportOptions& options,
                             std::vector<std::string>* names) {
  const std::vector<TModelObject> objects = ImportedObjects(ReadScene(path, options));
  for (const TModelObject& o : objects) {
    if (names) names->push_back(o.Name);
  }
  return ObjectListText(objects);
}

void CommitImport(TMeshDocument& doc, const TImportedMesh& mesh) {
  // The five record files are replaced as one set through the journal, as Save does, and
  // then loaded as after "Rip mesh": a write that fails (a full disk) or a run killed half
  // way leaves the old set whole, and the document in memory as it was.
  const auto item = [](const char* name, const auto& records) {
    return TFileSetItem{HomeFile(name), records.data(), records.size() * sizeof(records[0])};
  };
  try {
    WriteRecordFiles({item(kVertFile, mesh.Verts),
                      item(kVtnmFile, mesh.Vtnms),
                      item(kFvrtFile, mesh.Fvrts),
                      item(kFaceFile, mesh.Faces),
                      {HomeFile(kRadiFile), &mesh.Radius, sizeof mesh.Radius}});
  } catch (const EInOutError& e) {
    throw EInOutError(std::string("The import was not saved, the mesh is as it was: ") + e.what());
  }
  doc.LoadRecordFiles();
}

TImportReport ImportModel(TMeshDocument& doc, const std::string& path,
                          const TImportOptions& options) {
  TImportReport report;
  const TImportedMesh mesh = ReadModel(path, options, report);
  MakeTextureFolder(mesh, options);
  CommitImport(doc, mesh);
  WriteImportTextures(mesh, options, report);
  return report;
}

std::string TImportReport::Text() const {
  std::string text = "Imported " + QuotePathForMessage(FileName) + ": VERT " +
                     std::to_string(NumVert) + ", VTNM " + std::to_string(NumVtnm) + ", FVRT " +
                     std::to_string(NumFvrt) + ", FACE " + std::to_string(NumFace) + " from " +
                     std::to_string(Meshes) + " mesh(es)\n";
  if (SkippedPoints > 0 || SkippedLines > 0) {
    text += "Left out: " + std::to_string(SkippedPoints) + " points, " +
            std::to_string(SkippedLines) + " lines\n";
  }
  if (NormalsComputed) text += "Normals computed as \"Calc VTNM\" does (the file lacks some)\n";
  for (const std::string& note : Notes) text += note + "\n";
  text += "Materials:\n";
  for (const auto& [name, mat] : Materials) {
    text += "  " + (name.empty() ? std::string("(unnamed)") : QuoteForMessage(name)) + " -> " +
            std::to_string(mat) + "\n";
  }
  return text;
}
