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

// Passes a text to the sink, if any.
void ReportMessage(const std::string& text);
// Passes a text to CompilerMessageHook, if the host has set one.
void ForwardMessage(const std::string& text);
