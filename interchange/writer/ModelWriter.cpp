// tessavor-model-writer FOLDER: writes the export scene FOLDER/scene.tvexport with Assimp's
// writer of its format into FOLDER/files/, its current folder, and nothing anywhere else.
// The editor and tessavor-cli run it as a child process (util/Isolate.h) on a private
// folder, and move the files into place only when it succeeded: whatever a writer does
// (crash, a file written beside the current folder) ends here.
// Exit status: 0 when the files are written, 1 with a message on standard output, 2 for a
// wrong call or an output that could not be written.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "interchange/AiScene.h"
#include "util/FileIo.h"
#include "util/Isolate.h"

namespace {

// The scene of the largest mesh (64 corners per FVRT record, 32 bytes each) with its
// pictures stays far below this.
constexpr uint64_t kMaxRequestBytes = uint64_t{2} << 30;

int Write(const std::string& folder) {
  std::string message;
  try {
    const std::vector<uint8_t> bytes =
        ReadWholeFile(folder + "/" + kModelWriterRequest, kMaxRequestBytes);
    const TExportScene scene = DecodeExportScene(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const std::string files = folder + "/" + kModelWriterOutput;
    // Writers that ignore Assimp's file system (3MF) write where the process stands.
    if (chdir(files.c_str()) != 0)
      throw EInOutError("Cannot enter " + files + ": " + std::strerror(errno));
    WriteWithAssimp(scene);
    return kModelWriterDone;
  } catch (const Exception& e) {
    message = e.what();
  } catch (const std::bad_alloc&) {
    message = "the model writer ran out of memory";
  } catch (const std::exception& e) {
    message = e.what();
  }
  return WriteAllToFd(STDOUT_FILENO, message.data(), message.size()) ? kModelWriterMessage
                                                                     : kModelWriterUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: tessavor-model-writer FOLDER (run by the editor; see tessavor-cli export)\n",
               stderr);
    return kModelWriterUsage;
  }
  // _exit: nothing of Assimp's is left to tidy.
  _exit(Write(argv[1]));
}
