// The script front end: runs, line reading, normalisation, the front-end dispatch table,
// line directives, TYPE/CONST declarations and their include files, macros and DATA lines.

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unordered_map>

#include "iffc/BlockCompiler.h"
#include "iffc/Compiler.h"
#include "util/Crc32.h"
#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/StrTools.h"

TMessageSink CompilerMessageHook;

namespace {

TMessageSink g_sink;
TDiagnosticSink g_diagnosticSink;
TLineReader g_lineReader;
// The run in progress, for the place of run-level messages; nullptr between runs.
TCompilerState* g_run = nullptr;

// Word-for-word repeats of a message within a run: the first kLimit are shown, the rest
// counted and summed up once at the end. Only a hash of each text is kept, so a run with
// millions of different messages costs 16 bytes for each.
class TRepeatLimit {
public:
  static constexpr int kLimit = 100;

  void Reset() {
    m_counts.clear();
    m_held.clear();
  }
  // False when the message is to be held back.
  bool Pass(const TCompilerMessage& m) {
    int& n = m_counts[std::hash<std::string>()(m.Full)];
    ++n;
    if (n <= kLimit) return true;
    if (n == kLimit + 1) {
      m_held.push_back({m, 0});
    } else {
      for (THeld& h : m_held) {
        if (h.Message.Full == m.Full) ++h.More;
      }
    }
    return false;
  }
  // The held messages, each once, with the count of the repeats behind it.
  std::vector<TCompilerMessage> TakeSummary() {
    std::vector<TCompilerMessage> r;
    for (THeld& h : m_held) {
      if (h.More > 0) {
        const std::string more = " (" + std::to_string(h.More) + " more like this)";
        h.Message.Full += more;
        h.Message.Text += more;
      }
      r.push_back(std::move(h.Message));
    }
    Reset();
    return r;
  }

private:
  struct THeld {
    TCompilerMessage Message;
    int64_t More;
  };
  std::unordered_map<size_t, int> m_counts;
  std::vector<THeld> m_held;
};

TRepeatLimit g_repeats;

void Deliver(const TCompilerMessage& m) {
  if (g_sink) g_sink(m.Full);
  if (g_diagnosticSink) g_diagnosticSink(m);
}

void Emit(const TCompilerMessage& m) {
  if (g_run && !g_repeats.Pass(m)) return;
  Deliver(m);
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// The text behind the first `skip` characters, trimmed ("$OUTPUT", "$CONST", "$TYPE").
std::string TextBehind(std::string_view line, size_t skip) {
  return TrimControl(line.size() > skip ? line.substr(skip) : std::string_view());
}

// «name=value» split at the first "=", both sides trimmed.
TNameValue SplitDeclaration(std::string_view text) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos) return {TrimControl(text), std::string()};
  return {TrimControl(text.substr(0, eq)), TrimControl(text.substr(eq + 1))};
}

bool ExistsAsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// The lines of a text file, one after the other: LF or CR LF, a last line without line
// end counts, an empty file is one empty line.
class TTextLines {
public:
  // A UTF-8 byte order mark, which some editors put in front of a text, is no part of it.
  explicit TTextLines(std::vector<uint8_t> data) : m_data(std::move(data)) {
    if (m_data.size() >= 3 && m_data[0] == 0xEF && m_data[1] == 0xBB && m_data[2] == 0xBF)
      m_pos = 3;
    // Most scripts end their lines with LF alone: one look at the whole text spares them
    // the search for a CR in every line.
    m_hasCr = std::memchr(m_data.data(), '\r', m_data.size()) != nullptr;
  }
  // The next line (without its line end: LF, CR LF or a lone CR); `last` tells whether it
  // was the last one.
  std::string_view Next(bool& last) {
    const char* p = reinterpret_cast<const char*>(m_data.data());
    const size_t n = m_data.size();
    const size_t from = std::min(m_pos, n);
    const void* nl = std::memchr(p + from, '\n', n - from);
    size_t end = nl ? static_cast<size_t>(static_cast<const char*>(nl) - p) : n;
    if (m_hasCr) {
      if (const void* cr = std::memchr(p + from, '\r', end - from))
        end = static_cast<size_t>(static_cast<const char*>(cr) - p);
    }
    const std::string_view line(p + from, end - from);
    m_pos = end + (end + 1 < n && p[end] == '\r' && p[end + 1] == '\n' ? 2 : 1);
    last = m_pos >= n;
    return line;
  }

private:
  std::vector<uint8_t> m_data;
  size_t m_pos = 0;
  bool m_hasCr = false;
};

std::string FormatElapsed(std::chrono::steady_clock::duration d) {
  const long long total = std::chrono::duration_cast<std::chrono::seconds>(d).count();
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld", (total / 60) % 60, total % 60);
  return buf;
}

// Steps 2 to 4 of the normalisation: a comma followed (after any further commas) by a
// space goes and the space stays, any other comma becomes a space, parentheses go.
void CleanPunctuation(std::string_view line, std::string& cleaned) {
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ',') {
      size_t j = i;
      while (j < line.size() && line[j] == ',') ++j;
      if (j < line.size() && line[j] == ' ') {
        i = j - 1;
        continue;
      }
      cleaned.append(j - i, ' ');
      i = j - 1;
    } else if (c != '(' && c != ')') {
      cleaned += c;
    }
  }
}

std::string_view TrimmedView(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

// --- front-end handlers ---

// WRITE NAME / WRITE.C NAME: runs the macro's lines, newest first.
void HandleWrite(TCompilerState& s, const TStatement& st) {
  const uint32_t crc = NameCrc(s, UpperCase(TrimControl(st.Tokens.Get(1))));
  const bool clear = st.Keyword == "WRITE.C";
  // Walk by index from the end: a macro line may define new macro lines (appended behind
  // the walk) and WRITE.C removes the line just run.
  for (size_t i = s.MacroList.size(); i-- > 0;) {
    if (i >= s.MacroList.size() || s.MacroList[i].NameCrc != crc) continue;
    const std::string text = s.MacroList[i].Text;
    const int defLine = s.MacroList[i].DefLine;
    const std::string line = NormalizeLine(s, text);
    const std::string keyword = UpperCase(GetToken(line, 0));
    if (!IsBlankText(line) && !CompileStatement(s, keyword, line)) {
      ReportErrorAt(defLine, "\"" + keyword + "\" - undeclared identifier.");
    }
    if (clear && i < s.MacroList.size())
      s.MacroList.erase(s.MacroList.begin() + static_cast<ptrdiff_t>(i));
  }
}

// CLEAR NAME: forgets every line of the macro.
void HandleClear(TCompilerState& s, const TStatement& st) {
  const uint32_t crc = NameCrc(s, UpperCase(TrimControl(st.Tokens.Get(1))));
  std::erase_if(s.MacroList, [crc](const TMacroLine& m) { return m.NameCrc == crc; });
}

// $OUTPUT TEXT
void HandleOutput(TCompilerState&, const TStatement& st) { ReportPlain(TextBehind(st.Line, 7)); }

// $INCLUDE FILE: a declaration file from the program folder.
void HandleInclude(TCompilerState& s, const TStatement& st);

// $NO_IFF
void HandleNoIff(TCompilerState& s, const TStatement&) {
  ReportError(s, "$no_iff not yet implemented!");
}

// $PATH DIR
void HandlePath(TCompilerState& s, const TStatement& st) {
  const std::string dir = st.Tokens.Str(1);
  if (dir.empty()) {
    // No directory given: keep the search path rather than inventing the root folder.
    ReportError(s, "$PATH expects a directory.");
  } else {
    s.SearchPath = WithTrailingSeparator(dir);
    Report("path set to: " + s.SearchPath);
  }
}

// $ORIGINAL_CRC VALUE
void HandleOriginalCrc(TCompilerState& s, const TStatement& st) {
  int32_t v;
  const std::string text = st.Tokens.Str(1);
  if (!ParseScriptInteger(text, v)) {
    throw EConvertError("'" + text + "' is not a valid integer value (line " +
                        std::to_string(s.LineNumber) + ", $ORIGINAL_CRC)");
  }
  s.ExpectedCrc = static_cast<uint32_t>(v);
}

// $CONST NAME = VALUE
void HandleConst(TCompilerState& s, const TStatement& st) {
  s.ConstList.PushBack(SplitDeclaration(TextBehind(st.Line, 6)));
}

// $TYPE NAME = VALUE
void HandleType(TCompilerState& s, const TStatement& st) {
  s.TypeList.PushBack(SplitDeclaration(TextBehind(st.Line, 5)));
}

void HandleGenCrcOn(TCompilerState& s, const TStatement&) { s.GenCrc = true; }

void HandleGenCrcOff(TCompilerState& s, const TStatement&) { s.GenCrc = false; }

// The count and the arguments of a DATA line (its text behind "\\") into DataArgs. False,
// the error reported, when the line goes no further.
bool ReadDataArgs(TCompilerState& s, const TStatement& st) {
  int32_t count = 0;
  ReadCountToken(s, st.Tokens.Get(1), count);
  if (count > kMaxDataArgs) {
    ReportError(s, "too many DATA arguments: " + std::to_string(count) + " (at most 32).");
    return false;
  }
  const size_t args = st.Line.find("\\\\");
  // Without "\\" the line has no arguments (a DATA line may consist of statements only).
  const std::string argText =
      args == std::string_view::npos ? std::string() : TrimControl(st.Line.substr(args + 2));
  const TScriptTokens argTokens(argText);
  for (int32_t j = 1; j <= count; ++j) {
    std::string& arg = s.DataArgs[static_cast<size_t>(j - 1)];
    arg = argTokens.Str(j - 1);
    if (IsBlankText(arg)) {
      ReportError(s, "wrong number of elements. Expected: " + std::to_string(count));
      return false;
    }
  }
  if (!IsBlankText(argTokens.Get(count))) {
    ReportHint(s, "wrong number of elements. Expected: " + std::to_string(count));
  }
  return true;
}

// The first argument reference «%k%» of a DATA statement replaced by its argument. False,
// reported, when k lies outside 1..32 (the statement is skipped); a k that is no integer
// ends the run.
bool ReplaceArgumentReference(TCompilerState& s, std::string& stmt) {
  const size_t open = stmt.find('%');
  if (open == std::string::npos) return true;
  const size_t close = stmt.find('%', open + 1);
  const size_t end = close == std::string::npos ? stmt.size() : close + 1;
  const std::string ref = stmt.substr(open, end - open);
  const std::string_view inner = std::string_view(ref).substr(
      1, ref.size() >= 2 && close != std::string::npos ? ref.size() - 2 : ref.size() - 1);
  int32_t k;
  if (!ParseScriptInteger(inner, k)) {
    throw EConvertError("'" + std::string(inner) + "' is not a valid integer value (line " +
                        std::to_string(s.LineNumber) + ", DATA argument reference \"" + ref +
                        "\")");
  }
  if (k < 1 || k > kMaxDataArgs) {
    ReportError(s, "\"" + ref + "\" not a valid argument reference (1 to 32).");
    return false;
  }
  stmt.replace(open, end - open, s.DataArgs[static_cast<size_t>(k - 1)]);
  return true;
}

// DATA [n] \ statement \ statement ... \\ argument1 ... argumentn: each statement between
// backslashes runs with its argument put in. The line counts as handled when the last
// statement that ran was (none ran: not handled).
bool HandleData(TCompilerState& s, const TStatement& st) {
  if (!ReadDataArgs(s, st)) return true;
  bool handled = false;
  size_t pos = st.Line.find('\\');
  if (pos == std::string_view::npos) return handled;
  std::string_view rest = st.Line.substr(pos + 1);
  while ((pos = rest.find('\\')) != std::string_view::npos) {
    std::string stmt = TrimControl(rest.substr(0, pos));
    rest.remove_prefix(pos + 1);
    const std::string keyword = UpperCase(GetToken(stmt, 0));
    if (!ReplaceArgumentReference(s, stmt) || IsBlankText(stmt)) continue;
    handled = CompileStatement(s, keyword, stmt);
    if (!handled) ReportError(s, "\"" + keyword + "\" - undeclared identifier.");
  }
  return handled;
}

// PROP NAME: a FORM of type PROP holding one chunk named NAME.
void HandleProp(TCompilerState& s, const TStatement& st) {
  if (s.InProp) ReportError(s, "PROP not allowed inside a PROP!");
  s.InProp = true;
  const std::string name = st.Tokens.Str(1);
  CompileStatement(s, "FORM", "FORM \"PROP\"");
  CompileStatement(s, "{", "{");
  CompileStatement(s, "CHUNK", "CHUNK \"" + name + "\"");
}

// "}" of a PROP: closes its chunk and its FORM.
void HandlePropClose(TCompilerState& s, const TStatement&) {
  CompileStatement(s, "}", "}");
  CompileStatement(s, "}", "}");
  s.InProp = false;
}

bool InProp(const TCompilerState& s) { return s.InProp; }

void LoadDeclarations(TCompilerState& s, const std::string& fileName) {
  TTextLines lines(ReadWholeFile(MapFixedPath(fileName), kMaxScriptFileBytes));
  enum class Mode { None, Type, Const } mode = Mode::None;
  int n = 0;
  for (bool last = false; !last;) {
    ++n;
    std::string_view text = lines.Next(last);
    const size_t comment = text.find("//");
    if (comment != std::string_view::npos) text = text.substr(0, comment);
    const std::string line = TrimControl(text);
    if (line.empty()) continue;
    const std::string upper = UpperCase(line);
    if (upper == "TYPE") {
      mode = Mode::Type;
    } else if (upper == "CONST") {
      mode = Mode::Const;
    } else if (mode == Mode::Type) {
      s.TypeList.PushBack(SplitDeclaration(line));
    } else if (mode == Mode::Const) {
      s.ConstList.PushBack(SplitDeclaration(line));
    } else {
      TCompilerMessage m;
      m.Kind = TMessageKind::Error;
      m.File = fileName;
      m.Line = n;
      m.Text = "\"" + line + "\" - expected CONST or TYPE.";
      m.Full = "error: [" + fileName + "] line " + std::to_string(n) + ", " + m.Text;
      Emit(m);
    }
  }
}

void HandleInclude(TCompilerState& s, const TStatement& st) {
  const std::string path = s.ProgramDir + st.Tokens.Str(1);
  if (ExistsAsFile(MapFixedPath(path))) {
    LoadDeclarations(s, path);
  } else {
    ReportError(s, "include file not found: " + path);
  }
}

// Macro definition: «NAME: statement».
void DefineMacro(TCompilerState& s, std::string_view line) {
  const size_t colon = line.find(':');
  TMacroLine m;
  m.NameCrc = NameCrc(s, UpperCase(TrimControl(line.substr(0, colon))));
  m.Text = TrimControl(line.substr(colon + 1));
  if (m.Text.size() > kMaxMacroText) m.Text.resize(kMaxMacroText);
  m.DefLine = s.LineNumber;
  s.MacroList.push_back(std::move(m));
}

void BuildTables(TCompilerState& s) {
  TDispatchTable& f = s.FrontEnd;
  f.Add("WRITE", HandleWrite);
  f.Add("WRITE.C", HandleWrite);
  f.Add("CLEAR", HandleClear);
  f.Add("$OUTPUT", HandleOutput);
  f.Reserve("$VAR");
  f.Add("$INCLUDE", HandleInclude);
  f.Reserve("$CRC_OUT");
  f.Add("$NO_IFF", HandleNoIff);
  f.Add("$PATH", HandlePath);
  f.Add("$ORIGINAL_CRC", HandleOriginalCrc);
  f.Add("$CONST", HandleConst);
  f.Add("$TYPE", HandleType);
  f.Add("$GEN_CRC+", HandleGenCrcOn);
  f.Add("$GEN_CRC-", HandleGenCrcOff);
  f.Add("DATA", HandleData);
  f.Add("PROP", HandleProp);
  f.Add("}", HandlePropClose, InProp);
  RegisterBlockStatements(s.Statements);
  RegisterFlowStatements(s.FrontEnd, s.Statements);
}

// Characters that make a line more than words separated by single blanks: control
// characters and the blank itself (checked for doubles), the punctuation normalisation
// changes, quotes, and "/" (checked for "//").
constexpr std::array<bool, 256> kSpecial = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c <= 32; ++c) t[static_cast<size_t>(c)] = true;
  for (const char c : {',', '(', ')', '"', '/'}) t[static_cast<unsigned char>(c)] = true;
  return t;
}();

// The common line, words separated by single blanks and nothing to normalise or replace,
// normalises to itself: one pass finds its words, which point into `input`. False when the
// line needs the full rule (`out` is then to be filled anew).
bool SplitPlainLine(const TCompilerState& s, std::string_view input, TScriptTokens& out) {
  const size_t n = input.size();
  if (n == 0 || n > UINT32_MAX || static_cast<unsigned char>(input[0]) <= 32 ||
      static_cast<unsigned char>(input[n - 1]) <= 32) {
    return false;
  }
  out.Clear();
  const char* p = input.data();
  const char* const end = p + n;
  const char* start = p;
  for (;;) {
    while (p != end && !kSpecial[static_cast<unsigned char>(*p)]) ++p;
    if (p == end) break;
    if (*p == ' ') {
      if (p[1] == ' ') return false;  // the last character is no blank: p[1] exists
      out.Append(std::string_view(start, static_cast<size_t>(p - start)));
      start = ++p;
    } else if (*p == '/' && (p + 1 == end || p[1] != '/')) {
      ++p;
    } else {
      return false;
    }
  }
  out.Append(std::string_view(start, static_cast<size_t>(end - start)));
  if (out.Count() > 256) return false;
  if (!s.TypeList.Empty()) {
    const TNameValue* t = s.TypeList.Find(out.Get(0));
    if (t && !t->Value.empty()) return false;
  }
  if (!s.ConstList.Empty()) {
    for (size_t k = 1; k < out.Count(); ++k) {
      const TNameValue* c = s.ConstList.Find(out.Get(static_cast<int64_t>(k)));
      if (c && !c->Value.empty()) return false;
    }
  }
  return true;
}

// The upper-cased first token: the token itself when it has no lower-case letter (the
// usual keyword), else its upper-cased copy in `scratch`.
std::string_view UpperKeyword(std::string_view token, std::string& scratch) {
  for (const char c : token) {
    if (c >= 'a' && c <= 'z') {
      scratch = UpperCase(token);
      return scratch;
    }
  }
  return token;
}

// One script line through the front end.
void CompileLine(TCompilerState& s, std::string_view raw) {
  s.Handled = false;
  if (IsBlankText(raw)) {
    s.Handled = true;
    return;
  }
  TScriptTokens& tokens = s.LineTokens;
  std::string_view line = raw;
  // The usual line normalises to itself: its words are split where they lie, nothing is
  // copied.
  if (!SplitPlainLine(s, raw, tokens)) {
    std::string_view text = raw;
    if (raw.find('\t') != std::string_view::npos) {
      // A tab separates words as a blank does; inside double quotes it is text.
      s.TabScratch.assign(raw);
      bool quoted = false;
      for (char& c : s.TabScratch) {
        if (c == '"') quoted = !quoted;
        if (c == '\t' && !quoted) c = ' ';
      }
      text = s.TabScratch;
    }
    NormalizeLineInto(s, text, s.LineText, &tokens);
    line = s.LineText;
  }
  s.Keyword = UpperKeyword(tokens.Get(0), s.KeywordText);
  if (IsBlankText(line)) {
    s.Handled = true;
    return;
  }
  const TStatement st{line, s.Keyword, tokens};
  if (const TDispatchEntry* e = s.FrontEnd.Find(s.Keyword, s)) {
    RunHandler(*e, s, st);
  } else {
    if (s.InProp && (s.Keyword == "FORM" || s.Keyword == "CHUNK")) {
      ReportError(s, std::string(s.Keyword) + " not allowed inside a PROP!");
    }
    CompileStatement(s, st);
  }
  if (!s.Handled) ReportError(s, "\"" + std::string(s.Keyword) + "\" - undeclared identifier.");
}

std::string RunScript(TCompilerState& s, const std::string& scriptName) {
  s.StartTime = std::chrono::steady_clock::now();
  s.EndOfInput = false;
  s.LineNumber = 0;
  s.ScriptName = scriptName;
  s.OutputName = DirectoryPart(scriptName);
  s.ProgramDir = ExeDirectory();
  g_run = &s;
  g_repeats.Reset();
  struct TRunGuard {
    ~TRunGuard() { g_run = nullptr; }
  } runGuard;
  BuildTables(s);
  FinishOutput(s);
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  s.SearchPath = WithTrailingSeparator(ec ? std::string(".") : cwd.string());

  const TLineReader reader = g_lineReader;
  std::unique_ptr<TTextLines> file;
  if (!reader)
    file =
        std::make_unique<TTextLines>(ReadWholeFile(MapFixedPath(scriptName), kMaxScriptFileBytes));

  std::string readerLine;
  while (!s.EndOfInput) {
    std::string_view line;
    if (reader) {
      bool end = false;
      readerLine.clear();
      reader(readerLine, end);
      s.EndOfInput = end;
      line = readerLine;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (s.LineNumber == 0 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    } else {
      line = file->Next(s.EndOfInput);
    }
    ++s.LineNumber;
    CompileLine(s, line);
  }

  // Only open braces are missing; a surplus of "}" was hinted where it stood.
  if (s.BraceDepth > 0) Report("hint: } missing.");
  TreEndCheck(s);
  for (const TCompilerMessage& m : g_repeats.TakeSummary()) Deliver(m);
  Report("done. Compile time: " + FormatElapsed(std::chrono::steady_clock::now() - s.StartTime));
  EndFlowRun(s);
  if (s.OutputTooLarge) s.OutputFile.Discard();
  if (s.OutputFile.IsOpen()) s.OutputFile.Close();
  return s.OutputName;
}

}  // namespace

// --- shared pieces ---

void Report(const std::string& text) {
  TCompilerMessage m;
  m.Full = text;
  m.Text = text;
  if (g_run) {
    m.File = g_run->ScriptName;
    m.Line = g_run->LineNumber;
  }
  if (StartsWith(text, "hint: ")) {
    // A hint of the whole run ("} missing." at the end, the checksum comparison): it
    // belongs to the line the run has reached.
    m.Kind = TMessageKind::Hint;
    m.Text = text.substr(6);
  } else if (StartsWith(text, "While formatting your harddrive")) {
    m.Kind = TMessageKind::Error;
    for (char& c : m.Text) {
      if (c == '\n' || c == '\r') c = ' ';
    }
  } else if (StartsWith(text, "      ") && text.find_first_not_of(' ') != std::string::npos &&
             text[text.find_first_not_of(' ')] == '"') {
    m.Kind = TMessageKind::Note;  // the statement quoted under a parameter message
    m.Text = TrimControl(text);
  } else {
    m.File.clear();
    m.Line = 0;
  }
  Emit(m);
}

void ReportPlain(const std::string& text) {
  TCompilerMessage m;
  m.Full = m.Text = text;
  Emit(m);
}

namespace {

void ReportAt(TMessageKind kind, const char* word, int line, const std::string& text) {
  TCompilerMessage m;
  m.Kind = kind;
  if (g_run) m.File = g_run->ScriptName;
  m.Line = line;
  m.Text = text;
  m.Full = std::string(word) + ": line " + std::to_string(line) + ", " + text;
  Emit(m);
}

}  // namespace

void ReportErrorAt(int line, const std::string& text) {
  ReportAt(TMessageKind::Error, "error", line, text);
}

void ReportError(TCompilerState& s, const std::string& text) { ReportErrorAt(s.LineNumber, text); }

void ReportHint(TCompilerState& s, const std::string& text) {
  ReportAt(TMessageKind::Hint, "hint", s.LineNumber, text);
}

uint32_t NameCrc(TCompilerState& s, std::string_view name) {
  if (name.size() > 255) {
    ReportHint(s, "name of " + std::to_string(name.size()) +
                      " characters is cut to its first 255 for its checksum (\"" +
                      std::string(name.substr(0, 20)) + "...\").");
  }
  return StrCrc32(name);
}

size_t TNameList::THash::operator()(std::string_view s) const {
  // FNV-1a over the upper-cased bytes, so that names differing in case meet.
  uint64_t h = 1469598103934665603ull;
  for (char c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
  }
  return static_cast<size_t>(h);
}

bool TNameList::TEqual::operator()(std::string_view a, std::string_view b) const {
  return SameTextIgnoreCase(a, b);
}

void TNameList::Note(std::string_view name) {
  if (!name.empty())
    m_shapes[UpperByte(name[0])] |= uint64_t{1} << std::min<size_t>(name.size(), 63);
}

void TNameList::PushBack(TNameValue entry) {
  Note(entry.Name);
  m_entries.push_back(std::move(entry));
  const TNameValue& e = m_entries.back();
  auto it = m_index.find(std::string_view(e.Name));
  if (it == m_index.end()) it = m_index.emplace(e.Name, TBucket{}).first;
  it->second.Backs.push_back(&e);
}

void TNameList::PushFront(TNameValue entry) {
  Note(entry.Name);
  m_entries.push_front(std::move(entry));
  ++m_fronts;
  const TNameValue& e = m_entries.front();
  auto it = m_index.find(std::string_view(e.Name));
  if (it == m_index.end()) it = m_index.emplace(e.Name, TBucket{}).first;
  it->second.Fronts.push_back(&e);
}

void TNameList::PopFront(size_t count) {
  for (; count > 0 && !m_entries.empty(); --count) {
    const TNameValue& e = m_entries.front();
    const auto it = m_index.find(std::string_view(e.Name));
    if (it != m_index.end()) {
      TBucket& b = it->second;
      if (m_fronts > 0) {
        --m_fronts;
        if (!b.Fronts.empty()) b.Fronts.pop_back();
      } else {
        ++b.BackStart;
      }
      if (b.Fronts.empty() && b.BackStart >= b.Backs.size()) m_index.erase(it);
    }
    m_entries.pop_front();
  }
}

const TNameValue* TNameList::FindIndexed(std::string_view name) const {
  // An empty name can be declared ("$CONST = 5"); the filter of Find lets it through.
  const auto it = m_index.find(name);
  if (it == m_index.end()) return nullptr;
  const TBucket& b = it->second;
  if (!b.Fronts.empty()) return b.Fronts.back();
  return b.BackStart < b.Backs.size() ? b.Backs[b.BackStart] : nullptr;
}

std::string NormalizeLine(TCompilerState& s, std::string_view input) {
  std::string result;
  NormalizeLineInto(s, input, result);
  return result;
}

namespace {

// A piece of the normalised line that splitting would give back as exactly one token.
bool WholeToken(std::string_view t) {
  return !t.empty() && t.front() != '"' && static_cast<unsigned char>(t.front()) > 32 &&
         static_cast<unsigned char>(t.back()) > 32 && t.find(' ') == std::string_view::npos;
}

}  // namespace

void NormalizeLineInto(TCompilerState& s, std::string_view input, std::string& result,
                       TScriptTokens* out) {
  if (out && SplitPlainLine(s, input, *out)) {
    result.assign(input);
    out->Split(result);
    return;
  }
  // One pass finds the comment and whether there is punctuation to clean.
  size_t cut = input.size();
  bool punctuation = false;
  for (size_t i = 0; i < input.size(); ++i) {
    const char c = input[i];
    if (c == '/' && i + 1 < input.size() && input[i + 1] == '/') {
      cut = i;
      break;
    }
    punctuation |= c == ',' || c == '(' || c == ')';
  }
  const std::string_view line = input.substr(0, cut);
  std::string cleaned;
  std::string_view source = line;
  if (punctuation) {
    cleaned.reserve(line.size());
    CleanPunctuation(line, cleaned);
    source = cleaned;
  }
  const std::string_view trimmed = TrimmedView(source);
  const TScriptTokens tokens(trimmed);

  result.clear();
  // Where each token of the result lies, as long as every piece is one whole token;
  // otherwise the result is split again at the end.
  auto& spans = s.TokenSpans;
  spans.clear();
  bool whole = true;
  auto piece = [&](std::string_view p) {
    whole = whole && WholeToken(p);
    if (whole)
      spans.emplace_back(static_cast<uint32_t>(result.size()), static_cast<uint32_t>(p.size()));
    result.append(p);
  };
  const std::string_view t0 = tokens.Get(0);
  const TNameValue* type = s.TypeList.Empty() ? nullptr : s.TypeList.Find(t0);
  if (!t0.empty()) piece(type && !type->Value.empty() ? std::string_view(type->Value) : t0);
  for (int i = 1; i <= 255; ++i) {
    const std::string_view t = tokens.Get(i);
    if (t.empty()) break;
    result += ' ';
    if (t.find(' ') != std::string_view::npos) {
      result += '"';
      // A quoted piece without quotes inside splits back into exactly its text.
      whole = whole && t.find('"') == std::string_view::npos;
      if (whole)
        spans.emplace_back(static_cast<uint32_t>(result.size()), static_cast<uint32_t>(t.size()));
      result.append(t);
      result += '"';
      continue;
    }
    const TNameValue* c = s.ConstList.Empty() ? nullptr : s.ConstList.Find(t);
    piece(c && !c->Value.empty() ? std::string_view(c->Value) : t);
  }
  if (!out) return;
  if (!whole || result.size() > UINT32_MAX) {
    out->Split(result);
    return;
  }
  out->Clear();
  for (const auto& [at, len] : spans) out->Append(std::string_view(result).substr(at, len));
}

bool CompileStatement(TCompilerState& s, const TStatement& st) {
  // No keyword of the table holds a ":", so looking it up first decides as testing for the
  // macro definition first would.
  if (const TDispatchEntry* e = s.Statements.Find(st.Keyword, s)) return RunHandler(*e, s, st);
  s.Handled = st.Keyword.find(':') != std::string_view::npos;
  if (s.Handled) DefineMacro(s, st.Line);
  return s.Handled;
}

bool CompileStatement(TCompilerState& s, std::string_view keyword, std::string_view line) {
  const TScriptTokens tokens(line);
  return CompileStatement(s, TStatement{line, keyword, tokens});
}

bool RunHandler(const TDispatchEntry& e, TCompilerState& s, const TStatement& st) {
  if (e.Decider) {
    s.Handled = e.Decider(s, st);
  } else {
    e.Handler(s, st);
    s.Handled = true;
  }
  return s.Handled;
}

void TDispatchTable::Insert(TDispatchEntry entry) {
  // A keyword with ":" would be taken for a macro definition before it reached the table.
  assert(entry.Keyword.find(':') == std::string::npos);
  m_entries.push_back(std::move(entry));
  Reindex();
}

void TDispatchTable::Add(std::string keyword, TStatementHandler handler, TStatementGuard guard) {
  Insert({std::move(keyword), handler, nullptr, guard});
}

void TDispatchTable::Add(std::string keyword, TDecidingHandler handler, TStatementGuard guard) {
  Insert({std::move(keyword), nullptr, handler, guard});
}

void TDispatchTable::Reserve(std::string keyword) {
  Insert({std::move(keyword), nullptr, nullptr, nullptr});
}

bool TDispatchTable::Fill(std::string_view keyword, TStatementHandler handler,
                          TDecidingHandler decider, TStatementGuard guard) {
  for (TDispatchEntry& e : m_entries) {
    if (e.Keyword == keyword && !e.HasHandler()) {
      e.Handler = handler;
      e.Decider = decider;
      e.Guard = guard;
      Reindex();
      return true;
    }
  }
  return false;
}

bool TDispatchTable::Register(std::string_view keyword, TStatementHandler handler,
                              TStatementGuard guard) {
  return Fill(keyword, handler, nullptr, guard);
}

bool TDispatchTable::Register(std::string_view keyword, TDecidingHandler handler,
                              TStatementGuard guard) {
  return Fill(keyword, nullptr, handler, guard);
}

uint64_t TDispatchTable::Head(std::string_view keyword) {
  uint64_t h = 0;
  const size_t n = std::min<size_t>(keyword.size(), 8);
  for (size_t i = 0; i < n; ++i) h |= uint64_t{static_cast<unsigned char>(keyword[i])} << (8 * i);
  return h;
}

void TDispatchTable::Reindex() {
  for (auto& bucket : m_index) bucket.clear();
  for (size_t i = 0; i < m_entries.size(); ++i) {
    const TDispatchEntry& e = m_entries[i];
    if (e.HasHandler() && !e.Keyword.empty()) {
      m_index[static_cast<unsigned char>(e.Keyword[0])].push_back(
          {Head(e.Keyword), e.Keyword.size(), i});
    }
  }
}

const TDispatchEntry* TDispatchTable::Find(std::string_view keyword,
                                           const TCompilerState& s) const {
  if (keyword.empty()) return nullptr;
  const auto& bucket = m_index[static_cast<unsigned char>(keyword[0])];
  if (bucket.empty()) return nullptr;
  const uint64_t head = Head(keyword);
  for (const TIndexed& x : bucket) {
    if (x.Size != keyword.size() || x.Head != head) continue;
    const TDispatchEntry& e = m_entries[x.Entry];
    if (keyword.size() > 8 &&
        std::memcmp(e.Keyword.data() + 8, keyword.data() + 8, keyword.size() - 8) != 0)
      continue;
    if (!e.Guard || e.Guard(s)) return &e;
  }
  return nullptr;
}

TCompilerState::TCompilerState() = default;
TCompilerState::~TCompilerState() = default;

// --- public entry points ---

void SetMessageSink(TMessageSink sink) { g_sink = std::move(sink); }

void SetDiagnosticSink(TDiagnosticSink sink) { g_diagnosticSink = std::move(sink); }

std::string FormatGnuMessage(const TCompilerMessage& m) {
  if (m.Kind == TMessageKind::Plain) return m.Full;
  std::string r = m.File.empty() ? std::string("iffc") : m.File;
  if (m.Line > 0) r += ":" + std::to_string(m.Line);
  r += m.Kind == TMessageKind::Error ? ": error: " : ": note: ";
  return r + m.Text;
}

void SetLineReader(TLineReader reader) { g_lineReader = std::move(reader); }

void ReportMessage(const std::string& text) {
  TCompilerMessage m;
  m.Full = m.Text = text;
  Deliver(m);
}

void ForwardMessage(const std::string& text) {
  if (CompilerMessageHook) CompilerMessageHook(text);
}

std::string CompileFile(const std::string& scriptName) {
  SetMessageSink(ForwardMessage);
  SetLineReader(nullptr);
  return CompileScript(scriptName);
}

std::string CompileScript(const std::string& scriptName) {
  // The state is big (two slot tables); it lives on the heap for the run.
  auto state = std::make_unique<TCompilerState>();
  return RunScript(*state, scriptName);
}
