#pragma once
// Runs one of the build's programs (from TESSAVOR_BIN_DIR) as a user would: arguments go
// straight to the program, no shell between, so paths with spaces or quotes need no
// quoting. Standard output and standard error are captured apart (or together, in the
// order written, with mergeErr) along with the exit status.

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace testsupport {

struct TProgramResult {
  int status = -1;  // exit status; -1 when the program could not start or was killed
  std::string out;  // standard output (and standard error too with mergeErr)
  std::string err;  // standard error, empty with mergeErr
};

// How to run: built with chained calls, e.g. TRunOptions().In(dir).Merged().
struct TRunOptions {
  std::string cwd;                         // working folder; empty keeps the test's
  std::map<std::string, std::string> env;  // variables set (or replaced) for the child
  std::vector<std::string> unsetEnv;       // variables removed for the child
  bool mergeErr = false;                   // standard error into the same stream as output

  TRunOptions& In(const std::string& folder) {
    cwd = folder;
    return *this;
  }
  TRunOptions& Set(const std::string& name, const std::string& value) {
    env[name] = value;
    return *this;
  }
  TRunOptions& Unset(const std::string& name) {
    unsetEnv.push_back(name);
    return *this;
  }
  TRunOptions& Merged() {
    mergeErr = true;
    return *this;
  }
};

inline std::string ProgramPath(const std::string& name) {
  return std::string(TESSAVOR_BIN_DIR) + "/" + name;
}

inline bool ProgramBuilt(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(ProgramPath(name), ec);
}

namespace detail {

// The parent's environment with the options' changes; strings outlive the spawn call.
inline std::vector<std::string> ChildEnvironment(const TRunOptions& o) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    const std::string entry = *e;
    const std::string key = entry.substr(0, entry.find('='));
    bool drop = o.env.count(key) > 0;
    for (const std::string& u : o.unsetEnv) drop = drop || u == key;
    if (!drop) env.push_back(entry);
  }
  for (const auto& [k, v] : o.env) env.push_back(k + "=" + v);
  return env;
}

}  // namespace detail

// Runs the program at `path` (an absolute path) with `args`.
inline TProgramResult RunPath(const std::string& path, const std::vector<std::string>& args,
                              const TRunOptions& options = {}) {
  TProgramResult r;
  int outPipe[2];
  int errPipe[2] = {-1, -1};
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return r;
  if (!options.mergeErr && ::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return r;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, options.mergeErr ? outPipe[1] : errPipe[1], 2);
  if (!options.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());

  std::vector<std::string> argStore{path};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore = detail::ChildEnvironment(options);
  std::vector<char*> envp;
  for (std::string& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  const int spawned =
      ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  if (errPipe[1] >= 0) ::close(errPipe[1]);

  // Both streams are drained together so that a child filling one pipe never blocks.
  struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.out, &r.err};
  int open = errPipe[0] >= 0 ? 2 : 1;
  char buf[4096];
  while (spawned == 0 && open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;  // poll ignores negative descriptors
        --open;
      }
    }
  }
  ::close(outPipe[0]);
  if (errPipe[0] >= 0) ::close(errPipe[0]);
  if (spawned != 0) return r;
  int st = 0;
  while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {}
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// Runs the build's program `name` (e.g. "tessavor-cli") with `args`.
inline TProgramResult RunProgram(const std::string& name, const std::vector<std::string>& args,
                                 const TRunOptions& options = {}) {
  return RunPath(ProgramPath(name), args, options);
}

}  // namespace testsupport
