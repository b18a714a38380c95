// Child-process isolation (see Isolate.h), the Windows side: CreateProcessW in a job object
// that kills the child when the job's handle closes (the parent's end, however it comes),
// its standard output through a pipe, standard input NUL, standard error the parent's.
// The same limits as on POSIX, checked every 50 ms: time, the child's working set (the
// resident size), the output, the cancel flag.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// psapi.h after windows.h: K32GetProcessMemoryInfo.
#include <psapi.h>

#include <chrono>
#include <string>

#include "util/Isolate.h"
#include "util/Platform.h"

namespace {

constexpr DWORD kPollMs = 50;

std::wstring Widen(const std::string& s) {
  const std::filesystem::path p = platform::ToPath(s);
  return p.wstring();
}

// One argument quoted as the C runtime splits command lines: backslashes are literal except
// before a double quote, where they and the quote are escaped.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"')
      line.append(backslashes * 2 + 1, L'\\');
    else
      line.append(backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

struct THandle {
  HANDLE H = nullptr;
  ~THandle() {
    if (H != nullptr && H != INVALID_HANDLE_VALUE) ::CloseHandle(H);
  }
};

[[noreturn]] void CannotStart(const std::string& why) {
  throw EIsolation("Cannot start a child process: " + why);
}

}  // namespace

uint64_t DefaultIsolationMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return uint64_t{4} << 30;
  return status.ullTotalPhys / 4 * 3;
}

bool WriteAllToFd(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const int64_t n = platform::WriteSome(fd, p, size);
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

TIsolationResult RunIsolated(const std::vector<std::string>& argv, const TIsolationLimits& limits) {
  if (argv.empty() || !platform::IsAbsolutePath(argv[0]))
    CannotStart("\"" + (argv.empty() ? std::string() : argv[0]) + "\" is not an absolute path");
  std::wstring line;
  for (const std::string& a : argv) {
    if (!line.empty()) line += L' ';
    AppendQuoted(line, Widen(a));
  }
  const uint64_t memory = limits.MemoryBytes ? limits.MemoryBytes : DefaultIsolationMemory();

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  THandle readEnd, writeEnd, nul, job;
  if (!::CreatePipe(&readEnd.H, &writeEnd.H, &inherit, 0))
    CannotStart("no pipe (error " + std::to_string(::GetLastError()) + ")");
  ::SetHandleInformation(readEnd.H, HANDLE_FLAG_INHERIT, 0);
  nul.H = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                        OPEN_EXISTING, 0, nullptr);
  job.H = ::CreateJobObjectW(nullptr, nullptr);
  if (job.H == nullptr)
    CannotStart("no job object (error " + std::to_string(::GetLastError()) + ")");
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION jobLimits{};
  jobLimits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(job.H, JobObjectExtendedLimitInformation, &jobLimits, sizeof jobLimits);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul.H;
  startup.hStdOutput = writeEnd.H;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  const std::wstring program = Widen(argv[0]);
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
    // As on POSIX: a program that cannot be run ends with status 127.
    TIsolationResult missing;
    missing.ExitCode = 127;
    return missing;
  }
  THandle child, thread;
  child.H = process.hProcess;
  thread.H = process.hThread;
  ::AssignProcessToJobObject(job.H, child.H);
  ::ResumeThread(thread.H);
  ::CloseHandle(writeEnd.H);  // the child's copy is the only writer left
  writeEnd.H = nullptr;
  // Whatever way this function is left, no child stays behind.
  struct TKill {
    HANDLE Process;
    bool Done = false;
    ~TKill() {
      if (!Done) {
        ::TerminateProcess(Process, 1);
        ::WaitForSingleObject(Process, INFINITE);
      }
    }
  } kill{child.H};

  TIsolationResult result;
  const auto start = std::chrono::steady_clock::now();
  const auto overLimit = [&]() -> bool {
    const auto now = std::chrono::steady_clock::now();
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (limits.Cancel && limits.Cancel->load()) {
      result.End = TIsolationEnd::Cancelled;
    } else if (std::chrono::duration<double>(now - start).count() > limits.Seconds) {
      result.End = TIsolationEnd::TimedOut;
    } else if (::K32GetProcessMemoryInfo(child.H, &counters, sizeof counters) &&
               counters.WorkingSetSize > memory) {
      result.End = TIsolationEnd::OutOfMemory;
    } else {
      return false;
    }
    return true;
  };
  char buffer[1 << 16];
  for (bool open = true; open;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(readEnd.H, nullptr, 0, nullptr, &available, nullptr)) {
      open = false;  // the child's end is closed: it has ended
    } else if (available > 0) {
      DWORD got = 0;
      if (!::ReadFile(readEnd.H, buffer, sizeof buffer, &got, nullptr)) {
        open = false;
      } else {
        if (result.Output.size() + got > limits.MaxOutputBytes) {
          result.End = TIsolationEnd::OutputTooLarge;
          return result;
        }
        result.Output.append(buffer, got);
      }
      continue;
    } else if (::WaitForSingleObject(child.H, kPollMs) == WAIT_OBJECT_0) {
      // Ended: what it wrote last is still in the pipe, read on the next rounds.
      DWORD rest = 0;
      if (!::PeekNamedPipe(readEnd.H, nullptr, 0, nullptr, &rest, nullptr) || rest == 0)
        open = false;
    }
    if (open && overLimit()) return result;
  }
  while (::WaitForSingleObject(child.H, kPollMs) != WAIT_OBJECT_0) {
    if (overLimit()) return result;
  }
  kill.Done = true;
  DWORD code = 0;
  ::GetExitCodeProcess(child.H, &code);
  // Exceptions (access violation 0xC0000005, ...) end a process with their NTSTATUS.
  if (code >= 0xC0000000u) {
    result.End = TIsolationEnd::Crashed;
    result.Signal = static_cast<int>(code);
  } else {
    result.ExitCode = static_cast<int>(code);
  }
  return result;
}

#endif  // _WIN32
