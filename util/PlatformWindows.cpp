// The Windows side of util/Platform.h. Files are opened with CreateFileW, sharing read,
// write and delete (so that a file can be renamed over or removed while a reader has it
// open, as on POSIX), and handed out as C runtime descriptors.
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/Platform.h"

// shellapi.h after windows.h: CommandLineToArgvW.
#include <shellapi.h>

namespace platform {

namespace {

std::wstring Widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Narrow(const wchar_t* w, size_t size) {
  if (size == 0) return std::string();
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(size), s.data(), n, nullptr, nullptr);
  return s;
}

std::string Narrow(const std::wstring& w) { return Narrow(w.data(), w.size()); }

// The system's error code as the errno value whose text says the same.
int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_LOCK_VIOLATION:
      return EAGAIN;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return ENOSYS;
    case ERROR_CANT_RESOLVE_FILENAME:
      return ELOOP;
    default:
      return EIO;
  }
}

void SetErrno() { errno = ErrnoOf(::GetLastError()); }

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int Open(const std::string& path, DWORD access, DWORD disposition, DWORD flags, int crtFlags) {
  // FILE_FLAG_BACKUP_SEMANTICS: a folder opens too, so that it is refused by kind with the
  // same message as on POSIX rather than with "access denied".
  const HANDLE h =
      ::CreateFileW(Widen(path).c_str(), access, kShareAll, nullptr, disposition,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SetErrno();
    return -1;
  }
  const int fd =
      ::_open_osfhandle(reinterpret_cast<intptr_t>(h), crtFlags | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    ::CloseHandle(h);
    errno = EMFILE;
  }
  return fd;
}

int StatHandle(HANDLE h, TFileStatus& status) {
  status = TFileStatus{};
  switch (::GetFileType(h)) {
    case FILE_TYPE_CHAR:
      status.Kind = TFileKind::CharDevice;
      return 0;
    case FILE_TYPE_PIPE:
      status.Kind = TFileKind::Fifo;
      return 0;
    case FILE_TYPE_DISK:
      break;
    default:
      status.Kind = TFileKind::Other;
      return 0;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info)) {
    SetErrno();
    return -1;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    status.Kind = TFileKind::Folder;
  } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    status.Kind = TFileKind::Link;
  } else {
    status.Kind = TFileKind::Regular;
  }
  status.Size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  status.Mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
  return 0;
}

// One byte far beyond any file's end: the lock marks the file without making its data
// unreadable for others (Windows locks are mandatory for the range they cover).
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

int TryLock(int fd, bool shared) {
  OVERLAPPED ov{};
  ov.OffsetHigh = kLockOffsetHigh;
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK);
  if (::LockFileEx(HandleOf(fd), flags, 0, 1, 0, &ov)) return 0;
  SetErrno();
  return -1;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension, name devices in
// every folder.
bool IsDosDeviceName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  name = name.substr(0, name.find('.'));
  while (!name.empty() && (name.back() == ' ' || name.back() == ':')) name.pop_back();
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL") return true;
  return name.size() == 4 && (name.rfind("COM", 0) == 0 || name.rfind("LPT", 0) == 0) &&
         name[3] >= '1' && name[3] <= '9';
}

bool IsDriveRoot(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

}  // namespace

int OpenRead(const std::string& path) {
  return Open(path, GENERIC_READ, OPEN_EXISTING, 0, _O_RDONLY);
}

int OpenReadWrite(const std::string& path, bool create) {
  return Open(path, GENERIC_READ | GENERIC_WRITE, create ? CREATE_ALWAYS : OPEN_EXISTING, 0,
              _O_RDWR);
}

int CreateNewFile(const std::string& path, unsigned) {
  return Open(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT,
              _O_RDWR);
}

int OpenLockFile(const std::string& path) {
  return Open(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT,
              _O_RDWR);
}

int Close(int fd) { return ::_close(fd); }

int Duplicate(int fd) { return ::_dup(fd); }

int64_t ReadSome(int fd, void* buffer, size_t size) {
  DWORD got = 0;
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!::ReadFile(HandleOf(fd), buffer, want, &got, nullptr)) {
    if (::GetLastError() == ERROR_BROKEN_PIPE || ::GetLastError() == ERROR_HANDLE_EOF) return 0;
    SetErrno();
    return -1;
  }
  return got;
}

int64_t ReadAt(int fd, void* buffer, size_t size, uint64_t offset) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!::ReadFile(HandleOf(fd), buffer, want, &got, &ov)) {
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    SetErrno();
    return -1;
  }
  return got;
}

int64_t WriteSome(int fd, const void* data, size_t size) {
  DWORD put = 0;
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!::WriteFile(HandleOf(fd), data, want, &put, nullptr)) {
    SetErrno();
    return -1;
  }
  return put;
}

int64_t WriteAt(int fd, const void* data, size_t size, uint64_t offset) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD put = 0;
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!::WriteFile(HandleOf(fd), data, want, &put, &ov)) {
    SetErrno();
    return -1;
  }
  return put;
}

int SyncFile(int fd) {
  if (::FlushFileBuffers(HandleOf(fd))) return 0;
  SetErrno();
  return -1;
}

void SyncFolder(const std::string&) {}

int StatFd(int fd, TFileStatus& status) { return StatHandle(HandleOf(fd), status); }

int StatPath(const std::string& path, TFileStatus& status, bool followLinks) {
  const HANDLE h = ::CreateFileW(
      Widen(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if (IsDosDeviceName(path)) {
      status = TFileStatus{};
      status.Kind = TFileKind::CharDevice;
      return 0;
    }
    if (ErrnoOf(code) == ENOENT) {
      status = TFileStatus{};
      return 0;
    }
    errno = ErrnoOf(code);
    return -1;
  }
  const int rc = StatHandle(h, status);
  ::CloseHandle(h);
  return rc;
}

// A reparse point (symbolic link or junction) is resolved by the system to its final
// target in one step, which the caller then finds to be no link.
bool ReadLink(const std::string& path, std::string& target) {
  TFileStatus status;
  if (StatPath(path, status, false) != 0 || status.Kind != TFileKind::Link) return false;
  const HANDLE h = ::CreateFileW(Widen(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  }
  ::CloseHandle(h);
  if (n == 0 || n >= buf.size()) return false;
  buf.resize(n);
  if (buf.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    buf = L"\\\\" + buf.substr(8);
  } else if (buf.rfind(L"\\\\?\\", 0) == 0) {
    buf = buf.substr(4);
  }
  target = Narrow(buf);
  return true;
}

int SetMode(int fd, unsigned mode) {
  FILE_BASIC_INFO info{};
  const HANDLE h = HandleOf(fd);
  if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info)) {
    SetErrno();
    return -1;
  }
  if (mode & 0200) {
    info.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  } else {
    info.FileAttributes |= FILE_ATTRIBUTE_READONLY;
  }
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!::SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info)) {
    SetErrno();
    return -1;
  }
  return 0;
}

bool CanWrite(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    SetErrno();
    return false;
  }
  // A folder's read-only attribute only marks it for the shell: files can be made in it.
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    errno = EACCES;
    return false;
  }
  return true;
}

int RenameOver(const std::string& from, const std::string& to) {
  if (::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  SetErrno();
  return -1;
}

int RemoveFile(const std::string& path) {
  if (::DeleteFileW(Widen(path).c_str())) return 0;
  SetErrno();
  return -1;
}

int HardLink(const std::string& existing, const std::string& newName) {
  if (::CreateHardLinkW(Widen(newName).c_str(), Widen(existing).c_str(), nullptr)) return 0;
  SetErrno();
  return -1;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::string pattern = folder;
  if (pattern.empty() || !IsSeparator(pattern.back())) pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAW data{};
  const HANDLE find = ::FindFirstFileW(Widen(pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = Narrow(std::wstring(data.cFileName));
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return names;
}

int TryLockFile(int fd) { return TryLock(fd, false); }

int TryLockForProcess(int fd, bool shared) { return TryLock(fd, shared); }

long LockHolder(int, bool) { return -1; }

bool SameFile(int fd, const std::string& path) {
  BY_HANDLE_FILE_INFORMATION held{};
  if (!::GetFileInformationByHandle(HandleOf(fd), &held)) return false;
  const HANDLE h =
      ::CreateFileW(Widen(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION named{};
  const bool ok = ::GetFileInformationByHandle(h, &named) != 0;
  ::CloseHandle(h);
  return ok && held.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         held.nFileIndexHigh == named.nFileIndexHigh && held.nFileIndexLow == named.nFileIndexLow;
}

bool OwnedByCurrentUser(int) { return true; }

std::string TempFolder() {
  wchar_t buffer[MAX_PATH + 2] = {};
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH + 1) return ".";
  std::string folder = Narrow(buffer, n);
  while (folder.size() > 3 && IsSeparator(folder.back())) folder.pop_back();
  return folder;
}

int MakePrivateFolder(const std::string& path) {
  if (::CreateDirectoryW(Widen(path).c_str(), nullptr)) return 0;
  SetErrno();
  return -1;
}

int OpenFolder(const std::string& path) {
  return Open(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, _O_RDONLY);
}

long ProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

void LocalTime(std::time_t t, std::tm& local) { ::localtime_s(&local, &t); }

long CurrentThreadId() { return static_cast<long>(::GetCurrentThreadId()); }

void SetThreadNice(long threadId, int nice) {
  const HANDLE thread = ::OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(threadId));
  if (thread == nullptr) return;
  int priority = THREAD_PRIORITY_NORMAL;
  if (nice >= 19) {
    priority = THREAD_PRIORITY_IDLE;
  } else if (nice >= 10) {
    priority = THREAD_PRIORITY_LOWEST;
  } else if (nice > 0) {
    priority = THREAD_PRIORITY_BELOW_NORMAL;
  } else if (nice <= -20) {
    priority = THREAD_PRIORITY_TIME_CRITICAL;
  } else if (nice <= -10) {
    priority = THREAD_PRIORITY_HIGHEST;
  } else if (nice < 0) {
    priority = THREAD_PRIORITY_ABOVE_NORMAL;
  }
  ::SetThreadPriority(thread, priority);
  ::CloseHandle(thread);
}

std::string ExecutablePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return "";
    if (n < buf.size()) {
      buf.resize(n);
      return Narrow(buf);
    }
    buf.resize(buf.size() * 2);
  }
}

std::string DefaultHomeFolder() {
  if (const std::string appData = Environment("APPDATA"); !appData.empty())
    return appData + "\\Tessavor";
  if (const std::string profile = Environment("USERPROFILE"); !profile.empty())
    return profile + "\\AppData\\Roaming\\Tessavor";
  return ".\\tessavor-home";
}

std::string Environment(const char* name) {
  const wchar_t* value = ::_wgetenv(Widen(name).c_str());
  return value ? Narrow(std::wstring(value)) : std::string();
}

std::string SharedLibraryName(const std::string& stem) { return stem + ".dll"; }

void* OpenLibrary(const std::string& path, std::string& error) {
  // The library's own dependencies are looked up beside it, not in the current folder.
  const HMODULE module =
      ::LoadLibraryExW(Widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    const DWORD code = ::GetLastError();
    wchar_t* text = nullptr;
    ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    error = text ? Narrow(std::wstring(text)) : "error " + std::to_string(code);
    if (text) ::LocalFree(text);
    while (!error.empty() && (error.back() == '\n' || error.back() == '\r' || error.back() == ' '))
      error.pop_back();
    error = path + ": " + error;
  }
  return module;
}

void* FindSymbol(void* library, const char* name) {
  const FARPROC proc = ::GetProcAddress(static_cast<HMODULE>(library), name);
  void* address = nullptr;
  static_assert(sizeof address == sizeof proc);
  std::memcpy(&address, &proc, sizeof address);
  return address;
}

void CloseLibrary(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

std::vector<std::string> StartProgram(int argc, char** argv) {
  ::_setmode(::_fileno(stdin), _O_BINARY);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  for (int i = 0; i < count; ++i) args.push_back(Narrow(std::wstring(wide[i])));
  ::LocalFree(wide);
  return args;
}

bool IsAbsolutePath(const std::string& path) {
  if (IsDriveRoot(path)) return path.size() >= 3 && IsSeparator(path[2]);
  return !path.empty() && IsSeparator(path[0]);
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace platform

#endif  // _WIN32
