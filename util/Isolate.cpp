// Child-process isolation (see Isolate.h), the POSIX side; IsolateWindows.cpp is the other.
#ifndef _WIN32
#include "util/Isolate.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define TESSAVOR_HUGE_ADDRESS_SPACE 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TESSAVOR_HUGE_ADDRESS_SPACE 1
#endif

namespace {

constexpr int kPollMs = 50;

uint64_t ResidentBytes(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(pid));
  FILE* file = std::fopen(path, "r");
  if (!file) return 0;
  unsigned long long size = 0, resident = 0;
  const int got = std::fscanf(file, "%llu %llu", &size, &resident);
  std::fclose(file);
  if (got != 2) return 0;
  return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// Runs in the child between fork and exec: system calls only, nothing that allocates or
// takes a lock, since another thread of the parent may have held any lock at the fork.
[[noreturn]] void ExecChild(char* const* argv, int out, pid_t parent, uint64_t memory) {
  // The child must not outlive an editor that crashed or was killed while it ran.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(126);
#ifndef TESSAVOR_HUGE_ADDRESS_SPACE
  // Room above the memory limit for what an address space holds besides the heap (mapped
  // libraries, thread stacks): the resident-size watch is the limit, this only a backstop.
  // Sanitizers reserve terabytes of address space, so there the watch stands alone.
  constexpr uint64_t kAddressSpaceRoom = uint64_t{1} << 30;
  const rlimit limit{memory + kAddressSpaceRoom, memory + kAddressSpaceRoom};
  setrlimit(RLIMIT_AS, &limit);
#else
  (void)memory;
#endif
  // Output first: the pipe may sit on descriptor 0 in a parent without standard input.
  // dup2 onto itself would keep O_CLOEXEC (a parent without standard output).
  if (out == STDOUT_FILENO ? fcntl(out, F_SETFD, 0) < 0 : dup2(out, STDOUT_FILENO) < 0) _exit(127);
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (in < 0 || dup2(in, STDIN_FILENO) < 0) _exit(127);
  // Descriptors the parent opened without O_CLOEXEC are not the program's business.
  close_range(STDERR_FILENO + 1, ~0U, 0);
  execv(argv[0], argv);
  _exit(127);
}

void KillAndReap(pid_t pid) {
  kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
}

}  // namespace

uint64_t DefaultIsolationMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return uint64_t{4} << 30;
  return static_cast<uint64_t>(pages) / 4 * 3 * static_cast<uint64_t>(pageSize);
}

bool WriteAllToFd(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

TIsolationResult RunIsolated(const std::vector<std::string>& argv, const TIsolationLimits& limits) {
  if (argv.empty() || argv[0].empty() || argv[0][0] != '/')
    throw EIsolation("Cannot start a child process: \"" + (argv.empty() ? "" : argv[0]) +
                     "\" is not an absolute path");
  // Everything the child needs is made here: after the fork it may not allocate.
  std::vector<std::string> args = argv;
  std::vector<char*> pointers;
  pointers.reserve(args.size() + 1);
  for (std::string& a : args) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  const uint64_t memory = limits.MemoryBytes ? limits.MemoryBytes : DefaultIsolationMemory();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    throw EIsolation(std::string("Cannot start a child process: ") + std::strerror(errno));
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    const int error = errno;
    close(fds[0]);
    close(fds[1]);
    throw EIsolation(std::string("Cannot start a child process: ") + std::strerror(error));
  }
  if (pid == 0) ExecChild(pointers.data(), fds[1], parent, memory);
  close(fds[1]);
  // Whatever way this function is left, no child stays behind and no descriptor leaks.
  struct TChild {
    pid_t Pid;
    int In;
    bool Reaped = false;
    ~TChild() {
      if (In >= 0) close(In);
      if (!Reaped) KillAndReap(Pid);
    }
  } child{pid, fds[0]};

  TIsolationResult result;
  const auto start = std::chrono::steady_clock::now();
  // Limits are checked at most every kPollMs, however fast the output flows.
  auto nextCheck = start;
  const auto overLimit = [&]() -> bool {
    const auto now = std::chrono::steady_clock::now();
    if (now < nextCheck) return false;
    nextCheck = now + std::chrono::milliseconds(kPollMs);
    if (limits.Cancel && limits.Cancel->load()) {
      result.End = TIsolationEnd::Cancelled;
    } else if (std::chrono::duration<double>(now - start).count() > limits.Seconds) {
      result.End = TIsolationEnd::TimedOut;
    } else if (ResidentBytes(pid) > memory) {
      result.End = TIsolationEnd::OutOfMemory;
    } else {
      return false;
    }
    return true;
  };
  char buffer[1 << 16];
  for (bool open = true; open;) {
    pollfd p{child.In, POLLIN, 0};
    if (poll(&p, 1, kPollMs) > 0) {
      const ssize_t n = read(child.In, buffer, sizeof buffer);
      if (n > 0) {
        if (result.Output.size() + static_cast<size_t>(n) > limits.MaxOutputBytes) {
          result.End = TIsolationEnd::OutputTooLarge;
          return result;
        }
        result.Output.append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        open = false;  // the child closed its end: it has ended or is about to
      }
    }
    if (overLimit()) return result;
  }
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) {
      child.Reaped = true;
      throw EIsolation("Lost the child process");
    }
    if (overLimit()) return result;
    usleep(1000);
  }
  child.Reaped = true;
  if (WIFSIGNALED(status)) {
    result.End = TIsolationEnd::Crashed;
    result.Signal = WTERMSIG(status);
  } else {
    result.ExitCode = WEXITSTATUS(status);
  }
  return result;
}

#endif  // !_WIN32
