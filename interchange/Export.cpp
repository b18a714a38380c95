// Export: targets checked first, the files made (OBJ here, the rest in the model writer's
// child process), then put in place (see Interchange.h for the rules).
#include "interchange/Interchange.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "interchange/ExportScene.h"
#include "interchange/ObjWriter.h"
#include "util/FileIo.h"
#include "util/FileSet.h"
#include "util/Isolate.h"
#include "util/Paths.h"
#include "util/StrTools.h"

namespace {

namespace fs = std::filesystem;

// The most files one export makes beside the model (a model, its companions, a picture per
// material would be more, but pictures do not come from the writer), and the most bytes
// one of them may have.
constexpr size_t kMaxWriterFiles = 64;
constexpr uint64_t kMaxWriterFileBytes = uint64_t{2} << 30;

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string FormatName(const TExportFormat& format) {
  return std::string(format.Description) + " (" + format.Id + ")";
}

// The crash-safe writer's target rules, and one more for an export: a link to nothing is
// refused, since the file would appear somewhere the user did not look.
void CheckDestination(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0 && errno == ENOENT)
      throw EInOutError("Cannot create file \"" + QuotePathForMessage(path) +
                        "\": it is a link to nothing");
  }
  CheckOutputTarget(path);
}

struct TMadeFile {
  std::string Name;  // in the model's folder
  std::vector<uint8_t> Bytes;
};

// Runs Assimp's writer in the model writer's child process; the files it made.
std::vector<TMadeFile> WriteInChild(const TExportScene& scene, const TExportFormat& format,
                                    const std::string& path, const TExportOptions& options) {
  const auto cannot = [&](const std::string& why) {
    return EInterchange("Cannot export \"" + QuotePathForMessage(path) + "\" as " +
                        FormatName(format) + ": " + why + "; nothing was written");
  };
  const std::string writer = ProgramLibraryPath(kModelWriterProgram);
  if (writer.empty()) throw cannot("the program folder is unknown");
  if (::access(writer.c_str(), X_OK) != 0)
    throw cannot("cannot run the model writer " + writer + ": " + SystemErrorText(errno));

  const TPrivateTemp folder(TPrivateTemp::TKind::Folder, "export");
  const std::string request = EncodeExportScene(scene);
  WriteFileAtomic(folder.Path() + "/" + kModelWriterRequest, request.data(), request.size(),
                  TFileSync::Replace);
  const std::string files = folder.Path() + "/" + kModelWriterOutput;
  if (::mkdir(files.c_str(), 0700) != 0)
    throw EInOutError("Cannot create \"" + QuotePathForMessage(files) +
                      "\": " + SystemErrorText(errno));

  TIsolationLimits limits;
  limits.Seconds = options.TimeLimitSeconds;
  limits.Cancel = options.Cancel;
  limits.MaxOutputBytes = 64 * 1024;
  TIsolationResult result;
  try {
    result = RunIsolated({writer, folder.Path()}, limits);
  } catch (const EIsolation& e) {
    throw cannot(e.what());
  }
  switch (result.End) {
    case TIsolationEnd::Exited:
      break;
    case TIsolationEnd::Crashed:
      throw cannot("Assimp's writer crashed (" + std::string(strsignal(result.Signal)) + ")");
    case TIsolationEnd::TimedOut:
      throw cannot("Assimp's writer did not finish within " +
                   std::to_string(static_cast<int64_t>(limits.Seconds)) + " seconds");
    case TIsolationEnd::OutOfMemory:
      throw cannot("Assimp's writer needed more than " +
                   std::to_string(DefaultIsolationMemory() >> 20) + " MB of memory");
    case TIsolationEnd::OutputTooLarge:
      throw cannot("the model writer said more than a message");
    case TIsolationEnd::Cancelled:
      throw EInterchange("Export of \"" + QuotePathForMessage(path) +
                         "\" cancelled; nothing was written");
  }
  if (result.ExitCode == kModelWriterMessage && !result.Output.empty()) throw cannot(result.Output);
  if (result.ExitCode != kModelWriterDone)
    throw cannot("the model writer ended without a result (exit status " +
                 std::to_string(result.ExitCode) + ")");

  std::vector<TMadeFile> made;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(files, ec)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file(ec) || entry.is_symlink(ec))
      throw cannot("the writer made \"" + QuoteForMessage(name) + "\", which is not a plain file");
    if (made.size() >= kMaxWriterFiles)
      throw cannot("the writer made more than " + std::to_string(kMaxWriterFiles) + " files");
    made.push_back({name, ReadWholeFile(entry.path().string(), kMaxWriterFileBytes)});
  }
  if (ec) throw cannot("cannot list the writer's files: " + ec.message());
  if (std::none_of(made.begin(), made.end(),
                   [&](const TMadeFile& f) { return f.Name == scene.FileName; }))
    throw cannot("Assimp's writer wrote no \"" + QuotePathForMessage(scene.FileName) + "\"");
  return made;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

std::vector<TFormatInfo> ExportFormats() {
  std::vector<TFormatInfo> formats;
  for (const TExportFormat& f : ExportFormatTable()) {
    if (!f.WriteOnly) formats.push_back({f.Id, f.Extension, f.Description});
  }
  return formats;
}

std::vector<std::pair<TFormatInfo, std::string>> WriteOnlyExportFormats() {
  std::vector<std::pair<TFormatInfo, std::string>> formats;
  for (const TExportFormat& f : ExportFormatTable()) {
    if (f.WriteOnly) formats.push_back({{f.Id, f.Extension, f.Description}, f.WriteOnly});
  }
  return formats;
}

std::string ExportFormatForFile(const std::string& fileName) {
  const std::string name = BaseName(fileName);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  const std::string ext = Lower(name.substr(dot + 1));
  // The first entry of an extension is the one taken: the table lists OBJ with its
  // library before objnomtl, text FBX being the only FBX, and so on.
  for (const TExportFormat& f : ExportFormatTable()) {
    if (ext == f.Extension) return f.Id;
  }
  return {};
}

TExportReport ExportModel(const TMeshDocument& doc, const std::string& path,
                          const TExportOptions& options) {
  TExportReport report;
  report.FormatId = options.FormatId.empty() ? ExportFormatForFile(path) : options.FormatId;
  if (report.FormatId.empty()) {
    throw EInterchange("Cannot export \"" + QuotePathForMessage(path) +
                       "\": no format for its extension (choose one with --format; tessavor-cli "
                       "formats lists them)");
  }
  const TExportFormat* format = FindExportFormat(report.FormatId);
  if (!format) {
    if (const char* why = RefusedExportFormat(report.FormatId))
      throw EInterchange("Cannot export \"" + QuotePathForMessage(path) + "\" as " +
                         QuoteForMessage(report.FormatId) + ": " + why);
    throw EInterchange("Cannot export \"" + QuotePathForMessage(path) + "\": unknown format id \"" +
                       QuoteForMessage(report.FormatId) + "\" (tessavor-cli formats lists them)");
  }
  const std::string name = BaseName(path);
  if (name.empty() || name == "." || name == "..")
    throw EInterchange("Cannot export \"" + QuotePathForMessage(path) + "\": no file name");
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const auto target = [&folder](const std::string& file) { return folder + file; };

  // Refused before any work: the model's own path, then every picture's.
  CheckDestination(path);
  TExportScene scene = BuildExportScene(doc, *format, options, report);
  scene.FileName = name;
  if (scene.Meshes.empty())
    throw EInterchange("Cannot export \"" + QuotePathForMessage(path) +
                       "\": the mesh has no faces to write");
  for (const TExportPicture& p : scene.Beside) CheckDestination(target(p.FileName));

  std::vector<TMadeFile> made;
  const std::string id = format->Id;
  if (id == "obj" || id == "objnomtl") {
    const bool library = id == "obj";
    made.push_back({name, Bytes(ObjModelText(scene, name, library))});
    if (library) made.push_back({ObjLibraryName(name), Bytes(ObjLibraryText(scene))});
  } else {
    made = WriteInChild(scene, *format, path, options);
  }
  // The companions' destinations too, before anything is put in place.
  for (const TMadeFile& f : made) {
    if (f.Name != name) CheckDestination(target(f.Name));
  }

  // Every file is made beside its target before any is put in place, so that a full disk
  // changes nothing; then pictures and companions first, the model last: whoever sees the
  // new model finds what it refers to.
  std::vector<std::unique_ptr<TAtomicFileWriter>> writers;
  const auto stage = [&](const std::string& file, const std::vector<uint8_t>& bytes) {
    writers.push_back(std::make_unique<TAtomicFileWriter>(target(file), TFileSync::Replace));
    writers.back()->Write(bytes.data(), bytes.size());
  };
  for (const TExportPicture& p : scene.Beside) stage(p.FileName, p.Png);
  for (const TMadeFile& f : made) {
    if (f.Name != name) stage(f.Name, f.Bytes);
  }
  for (const TMadeFile& f : made) {
    if (f.Name == name) stage(f.Name, f.Bytes);
  }
  std::vector<TAtomicFileWriter*> order;
  for (const auto& w : writers) order.push_back(w.get());
  CommitTogether(order);
  report.Files.push_back(path);
  for (const TMadeFile& f : made) {
    if (f.Name != name) report.Files.push_back(target(f.Name));
  }
  for (const TExportPicture& p : scene.Beside) report.Files.push_back(target(p.FileName));
  return report;
}
