#pragma once
// The IFF compiler: turns a line-oriented text script into a binary IFF file (or a TRE
// archive). Single pass: each line is one statement that writes its bytes at once; block
// sizes are patched in place when a block closes.
//
// Script errors never stop a run: they go to the message sink as «error: line N, ...» or
// «hint: line N, ...» and the run goes on to the end of the script, which reports
// "done. Compile time: mm:ss". Only these end a run with an exception: a script or output
// file that cannot be opened or written (EInOutError), a "$ORIGINAL_CRC" value or a DATA
// argument reference «%k%» that is no integer (EConvertError), and a statement that writes
// while no output is open (EInOutError). An output file left unfinished by an exception
// is removed; the previous file of that name stays.
//
// Paths in scripts: "\" and "/" both separate directories, and a leading "C:\" or "c:\"
// names the program's home folder (util/Paths.h). Scripts may end their lines with LF or
// CR LF. Include files ("$INCLUDE") are looked up in the program folder.
//
// Scripts as editors save them: a UTF-8 byte order mark at the start is skipped, CR LF,
// LF and a lone CR all end a line, and a tab outside double quotes counts as a blank.
//
// A message repeated word for word more than 100 times in a run is printed 100 times;
// the 101st comes once more at the end of the run with "(N more like this)" behind it.
//
// Limits: an output that would pass 2^31 - 1 bytes (the largest size the reader accepts),
// and with it every FORM and CHUNK inside, is an error at the line that would pass it;
// that output is not written and the previous file of its name stays.
//
// One run at a time: the sink, the line reader and the hook are module-wide.
//
// Reading: scripts and include files are opened without blocking and must be regular
// files of at most kMaxScriptFileBytes; FILE and FILE.Z data files must be regular files
// (FILE.Z, read whole to be packed, at most kMaxWholeFileBytes of util/FileIo.h).

#include <cstdint>
#include <functional>
#include <string>

constexpr uint64_t kMaxScriptFileBytes = 256ull << 20;

using TMessageSink = std::function<void(const std::string& text)>;

// A message with its kind and place, for hosts that show messages their own way (an
// editor's problem list, the GNU format of iffc). `Full` is the compiler's own wording,
// the text the message sink receives; `Text` is the part behind «error: line N, ».
enum class TMessageKind { Plain, Error, Hint, Note };
struct TCompilerMessage {
  TMessageKind Kind = TMessageKind::Plain;
  std::string File;  // the script, or the include file an error lies in; empty for none
  int Line = 0;      // 1-based; 0 when the message has no line
  std::string Text;
  std::string Full;
};
using TDiagnosticSink = std::function<void(const TCompilerMessage& message)>;
// Returns the next line in `line` and sets `end` together with the last line.
using TLineReader = std::function<void(std::string& line, bool& end)>;

// The host's display of compiler messages, used by ForwardMessage. Unset by default.
extern TMessageSink CompilerMessageHook;

// Installs ForwardMessage as the sink, removes any line reader, then runs CompileScript.
std::string CompileFile(const std::string& scriptName);

// Compiles the whole script (from the line reader when one is set, else from the file)
// and returns the path of the last output file, or the script's directory when no output
// was opened.
std::string CompileScript(const std::string& scriptName);

// Every message of the compiler goes to the sink; without one they are dropped.
void SetMessageSink(TMessageSink sink);
// With a reader set, lines come from it instead of the script file.
void SetLineReader(TLineReader reader);

// Every message also goes to this sink, with its kind and place. Kept across runs, like
// the message sink; unset by default.
void SetDiagnosticSink(TDiagnosticSink sink);

// «FILE:LINE: error: TEXT», «FILE:LINE: note: TEXT» (hints and continuation lines are
// notes), the form editors jump from; a plain message stays as it is.
std::string FormatGnuMessage(const TCompilerMessage& message);

// Passes a text to the sink, if any, as a plain message.
void ReportMessage(const std::string& text);
// Passes a text to CompilerMessageHook, if the host has set one.
void ForwardMessage(const std::string& text);
