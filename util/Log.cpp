#include "util/Log.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/Platform.h"
#include "util/StrTools.h"

bool LogEnabled = false;

namespace {

// The diagnostic log is one file for the whole process (named by the environment at start);
// the viewers that write to it may run on several threads, hence the lock.
std::FILE* g_logFile = nullptr;
std::string g_logPath;
std::mutex g_logMutex;

void WriteRaw(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), g_logFile) != text.size() ||
      std::fflush(g_logFile) != 0) {
    throw EInOutError("Cannot write log file \"" + QuotePathForMessage(g_logPath) + "\"");
  }
}

}  // namespace

void OpenLog(const std::string& path) {
  std::lock_guard lock(g_logMutex);
  if (g_logFile) std::fclose(g_logFile);
  g_logFile = std::fopen(path.c_str(), "ab");
  if (!g_logFile) {
    LogEnabled = false;
    throw EInOutError("Cannot open log file \"" + QuotePathForMessage(path) + "\"");
  }
  g_logPath = path;
  LogEnabled = true;
}

bool InitLogFromEnvironment() {
  const char* name = std::getenv("TESSAVOR_LOG");
  if (!name || !*name) return LogEnabled;
  std::string path = name;
  if (path[0] != '/') path = HomeFile(path);
  OpenLog(path);
  return LogEnabled;
}

void LogLine(const std::string& text) {
  if (!LogEnabled) return;
  std::lock_guard lock(g_logMutex);
  if (!g_logFile) return;
  WriteRaw(text + "\r\n");
}

void CloseLog() {
  if (!LogEnabled) return;
  std::lock_guard lock(g_logMutex);
  LogEnabled = false;
  if (!g_logFile) return;
  char timeText[16] = "";
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  platform::LocalTime(now, local);
  std::strftime(timeText, sizeof timeText, "%H:%M:%S", &local);
  WriteRaw("\r\n");
  WriteRaw(std::string("File closed: ") + timeText + "\r\n");
  WriteRaw(std::string(56, '*') + "\r\n");
  const bool ok = std::fclose(g_logFile) == 0;
  g_logFile = nullptr;
  if (!ok) throw EInOutError("Cannot close log file \"" + QuotePathForMessage(g_logPath) + "\"");
}
