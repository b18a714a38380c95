// A Save killed at random moments leaves the record files whole: after every SIGKILL the
// next Load finds the complete old mesh or the complete new one, never new vertices beside
// old faces. Runs the real program, alternating between two ASC scenes of different sizes.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "mesh/MeshDocument.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"
#include "util/HomeLock.h"

namespace {

std::string AscScene(int vertices) {
  std::string s = "Named object: \"Box\"\nVertex list:\n";
  for (int i = 0; i < vertices; ++i) {
    s += "Vertex " + std::to_string(i) + ":  X:" + std::to_string(i) + ".5  Y:-2  Z:0.25\n";
  }
  s += "Face list:\n";
  for (int i = 0; i + 2 < vertices; i += 3) {
    s += "Face " + std::to_string(i / 3) + ":  A:" + std::to_string(i) +
         " B:" + std::to_string(i + 1) + " C:" + std::to_string(i + 2) +
         " AB:1 BC:1 CA:1\nSmoothing:  1\n";
  }
  return s + "\n";
}

// Starts tessavor-cli import-asc FILE; returns its pid.
pid_t StartImport(const std::string& file) {
  const std::string program = testsupport::ProgramPath("tessavor-cli");
  std::vector<std::string> args{program, "import-asc", file};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

TEST(RecordSet, ASaveKilledAtRandomMomentsLeavesAWholeSetOldOrNew) {
  if (!testsupport::ProgramBuilt("tessavor-cli")) GTEST_SKIP() << "tessavor-cli not built";
  // Memory-backed when the machine has it: the kills test atomicity, not the disk, and a
  // flush there costs nothing, so the 60 runs take a few seconds.
  const char* oldTmp = std::getenv("TMPDIR");
  const std::string keptTmp = oldTmp ? oldTmp : "";
  std::error_code ec;
  if (std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0)
    setenv("TMPDIR", "/dev/shm", 1);
  testsupport::TempDir home;
  if (oldTmp)
    setenv("TMPDIR", keptTmp.c_str(), 1);
  else
    unsetenv("TMPDIR");
  const int sizes[2] = {3000, 1800};
  const std::string scenes[2] = {home.File("a.asc"), home.File("b.asc")};
  for (int k = 0; k < 2; ++k) testsupport::WriteText(scenes[k], AscScene(sizes[k]));

  // One run undisturbed gives the time a save takes here.
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = StartImport(scenes[0]);
  ASSERT_GT(pid, 0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);

  std::mt19937 random(12345);
  std::uniform_int_distribution<int64_t> delay(0, runTime.count() * 6 / 5);
  int killed = 0;
  for (int i = 0; i < 60; ++i) {
    pid = StartImport(scenes[(i + 1) % 2]);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    if (::kill(pid, SIGKILL) == 0) ++killed;
    ::waitpid(pid, &status, 0);

    TMeshDocument doc;
    doc.ShowData = false;
    doc.LoadRecordFiles();
    const bool isA =
        doc.NumVert == sizes[0] && doc.NumFvrt == sizes[0] && doc.NumFace == sizes[0] / 3;
    const bool isB =
        doc.NumVert == sizes[1] && doc.NumFvrt == sizes[1] && doc.NumFace == sizes[1] / 3;
    ASSERT_TRUE((isA || isB) && doc.NumVtnm == doc.NumVert)
        << "kill " << i << ": VERT " << doc.NumVert << ", VTNM " << doc.NumVtnm << ", FVRT "
        << doc.NumFvrt << ", FACE " << doc.NumFace;
  }
  EXPECT_GE(killed, 50);

  // The next complete save leaves nothing of the killed runs behind.
  pid = StartImport(scenes[0]);
  ::waitpid(pid, &status, 0);
  for (const auto& entry : std::filesystem::directory_iterator(home.Path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.ends_with(".kvt") || name.ends_with(".asc") || name == kHomeLockFile) << name;
  }
}

}  // namespace
