#pragma once
// The model viewer's diagnostic log. Off when the program starts. It is switched on by the
// environment variable TESSAVOR_LOG naming the log file (a relative name is taken in the
// home folder): InitLogFromEnvironment() opens that file for appending and sets LogEnabled.
// Lines end with CR LF and carry no timestamps of their own.

#include <string>

extern bool LogEnabled;

// Opens `path` for appending and turns logging on. Raises EInOutError if it cannot.
void OpenLog(const std::string& path);

// Turns logging on when TESSAVOR_LOG is set; returns whether logging is on.
bool InitLogFromEnvironment();

// Writes text and CR LF when logging is on; does nothing otherwise.
void LogLine(const std::string& text);

// When logging is on: an empty line, "File closed: " with the time of day, a line of 56
// asterisks; closes the file and turns logging off. Does nothing otherwise.
void CloseLog();
