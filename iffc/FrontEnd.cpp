// The script front end: runs, line reading, normalisation, the front-end dispatch table,
// line directives, TYPE/CONST declarations and their include files, macros and DATA lines.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "iffc/Compiler.h"
#include "iffc/CompilerState.h"
#include "util/Crc32.h"
#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/StrTools.h"

TMessageSink CompilerMessageHook;

namespace {

TMessageSink g_sink;
TLineReader g_lineReader;

// The text behind the first `skip` characters, trimmed ("$OUTPUT", "$CONST", "$TYPE").
std::string TextBehind(const std::string& line, size_t skip) {
  return TrimControl(line.size() > skip ? std::string_view(line).substr(skip) : std::string_view());
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
  explicit TTextLines(std::vector<uint8_t> data) : m_data(std::move(data)) {}
  // The next line (without its line end); `last` tells whether it was the last one.
  std::string_view Next(bool& last) {
    const char* p = reinterpret_cast<const char*>(m_data.data());
    const size_t n = m_data.size();
    const void* nl = m_pos < n ? std::memchr(p + m_pos, '\n', n - m_pos) : nullptr;
    const size_t end = nl ? static_cast<size_t>(static_cast<const char*>(nl) - p) : n;
    size_t stop = end;
    if (stop > m_pos && p[stop - 1] == '\r') --stop;
    const std::string_view line(p + std::min(m_pos, n), stop - std::min(m_pos, stop));
    m_pos = end + 1;
    last = m_pos >= n;
    return line;
  }

private:
  std::vector<uint8_t> m_data;
  size_t m_pos = 0;
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
  const uint32_t crc = StrCrc32(UpperCase(TrimControl(st.Tokens.Get(1))));
  const bool clear = st.Keyword == "WRITE.C";
  // Walk by index from the end: a macro line may define new macro lines (appended behind
  // the walk) and WRITE.C removes the line just run.
  for (size_t i = s.MacroList.size(); i-- > 0;) {
    if (i >= s.MacroList.size() || s.MacroList[i].NameCrc != crc) continue;
    const std::string text = s.MacroList[i].Text;
    const int defLine = s.MacroList[i].DefLine;
    s.Handled = false;
    const std::string line = NormalizeLine(s, text);
    const std::string keyword = UpperCase(GetToken(line, 0));
    if (IsBlankText(line)) s.Handled = true;
    CompileStatement(s, keyword, line);
    if (!s.Handled) ReportErrorAt(defLine, "\"" + keyword + "\" - undeclared identifier.");
    if (clear && i < s.MacroList.size()) s.MacroList.erase(s.MacroList.begin() + static_cast<ptrdiff_t>(i));
  }
  s.Handled = true;
}

// CLEAR NAME: forgets every line of the macro.
void HandleClear(TCompilerState& s, const TStatement& st) {
  const uint32_t crc = StrCrc32(UpperCase(TrimControl(st.Tokens.Get(1))));
  std::erase_if(s.MacroList, [crc](const TMacroLine& m) { return m.NameCrc == crc; });
  s.Handled = true;
}

// $OUTPUT TEXT
void HandleOutput(TCompilerState& s, const TStatement& st) {
  Report(TextBehind(st.Line, 7));
  s.Handled = true;
}

// $INCLUDE FILE: a declaration file from the program folder.
void HandleInclude(TCompilerState& s, const TStatement& st);

// $NO_IFF
void HandleNoIff(TCompilerState& s, const TStatement&) {
  ReportError(s, "$no_iff not yet implemented!");
  s.Handled = true;
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
  s.Handled = true;
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
  s.Handled = true;
}

// $CONST NAME = VALUE
void HandleConst(TCompilerState& s, const TStatement& st) {
  s.ConstList.push_back(SplitDeclaration(TextBehind(st.Line, 6)));
  s.Handled = true;
}

// $TYPE NAME = VALUE
void HandleType(TCompilerState& s, const TStatement& st) {
  s.TypeList.push_back(SplitDeclaration(TextBehind(st.Line, 5)));
  s.Handled = true;
}

void HandleGenCrcOn(TCompilerState& s, const TStatement&) {
  s.GenCrc = true;
  s.Handled = true;
}

void HandleGenCrcOff(TCompilerState& s, const TStatement&) {
  s.GenCrc = false;
  s.Handled = true;
}

// DATA [n] \ statement \ statement ... \\ argument1 ... argumentn
void HandleData(TCompilerState& s, const TStatement& st) {
  int32_t count = 0;
  ReadCountToken(s, st.Tokens.Get(1), count);
  if (count > kMaxDataArgs) {
    ReportError(s, "too many DATA arguments: " + std::to_string(count) + " (at most 32).");
    s.Handled = true;
    return;
  }
  std::string line = st.Line;
  const size_t args = line.find("\\\\");
  // Without "\\" the line has no arguments (a DATA line may consist of statements only).
  const std::string argText = args == std::string::npos ? std::string() : TrimControl(std::string_view(line).substr(args + 2));
  const TScriptTokens argTokens(argText);
  for (int32_t j = 1; j <= count; ++j) {
    s.DataArgs[static_cast<size_t>(j - 1)] = argTokens.Str(j - 1);
    if (IsBlankText(s.DataArgs[static_cast<size_t>(j - 1)])) {
      ReportError(s, "wrong number of elements. Expected: " + std::to_string(count));
      s.Handled = true;
      return;
    }
  }
  if (!IsBlankText(argTokens.Get(count))) {
    ReportHint(s, "wrong number of elements. Expected: " + std::to_string(count));
  }

  size_t pos = line.find('\\');
  if (pos == std::string::npos) return;
  std::string_view rest = std::string_view(line).substr(pos + 1);
  while ((pos = rest.find('\\')) != std::string_view::npos) {
    std::string stmt = TrimControl(rest.substr(0, pos));
    rest.remove_prefix(pos + 1);
    const std::string keyword = UpperCase(GetToken(stmt, 0));
    const size_t open = stmt.find('%');
    if (open != std::string::npos) {
      size_t close = stmt.find('%', open + 1);
      const size_t end = close == std::string::npos ? stmt.size() : close + 1;
      const std::string ref = stmt.substr(open, end - open);
      const std::string_view inner =
          std::string_view(ref).substr(1, ref.size() >= 2 && close != std::string::npos ? ref.size() - 2 : ref.size() - 1);
      int32_t k;
      if (!ParseScriptInteger(inner, k)) {
        throw EConvertError("'" + std::string(inner) + "' is not a valid integer value (line " +
                            std::to_string(s.LineNumber) + ", DATA argument reference \"" + ref + "\")");
      }
      if (k < 1 || k > kMaxDataArgs) {
        ReportError(s, "\"" + ref + "\" not a valid argument reference (1 to 32).");
        continue;
      }
      stmt.replace(open, end - open, s.DataArgs[static_cast<size_t>(k - 1)]);
    }
    if (!IsBlankText(stmt)) {
      s.Handled = false;
      CompileStatement(s, keyword, stmt);
      if (!s.Handled) ReportError(s, "\"" + keyword + "\" - undeclared identifier.");
    }
  }
}

// PROP NAME: a FORM of type PROP holding one chunk named NAME.
void HandleProp(TCompilerState& s, const TStatement& st) {
  if (s.InProp) ReportError(s, "PROP not allowed inside a PROP!");
  s.InProp = true;
  const std::string name = st.Tokens.Str(1);
  CompileStatement(s, "FORM", "FORM \"PROP\"");
  CompileStatement(s, "{", "{");
  CompileStatement(s, "CHUNK", "CHUNK \"" + name + "\"");
  s.Handled = true;
}

// "}" of a PROP: closes its chunk and its FORM.
void HandlePropClose(TCompilerState& s, const TStatement&) {
  CompileStatement(s, "}", "}");
  CompileStatement(s, "}", "}");
  s.InProp = false;
  s.Handled = true;
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
      s.TypeList.push_back(SplitDeclaration(line));
    } else if (mode == Mode::Const) {
      s.ConstList.push_back(SplitDeclaration(line));
    } else {
      Report("error: [" + fileName + "] line " + std::to_string(n) + ", \"" + line +
             "\" - expected CONST or TYPE.");
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
  s.Handled = true;
}

// Macro definition: «NAME: statement».
void DefineMacro(TCompilerState& s, const std::string& line) {
  const size_t colon = line.find(':');
  TMacroLine m;
  m.NameCrc = StrCrc32(UpperCase(TrimControl(std::string_view(line).substr(0, colon))));
  m.Text = TrimControl(std::string_view(line).substr(colon + 1));
  if (m.Text.size() > kMaxMacroText) m.Text.resize(kMaxMacroText);
  m.DefLine = s.LineNumber;
  s.MacroList.push_back(std::move(m));
  s.Handled = true;
}

void BuildTables(TCompilerState& s) {
  TDispatchTable& f = s.FrontEnd;
  f.Add("WRITE", HandleWrite);
  f.Add("WRITE.C", HandleWrite);
  f.Add("CLEAR", HandleClear);
  f.Add("$OUTPUT", HandleOutput);
  f.Add("$VAR", nullptr);
  f.Add("$INCLUDE", HandleInclude);
  f.Add("$CRC_OUT", nullptr);
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

// One script line through the front end.
void CompileLine(TCompilerState& s, std::string_view raw, std::string& line) {
  s.Handled = false;
  if (IsBlankText(raw)) {
    s.Handled = true;
    return;
  }
  NormalizeLineInto(s, raw, line);
  const TScriptTokens tokens(line);
  s.Keyword = UpperCase(tokens.Get(0));
  if (IsBlankText(line)) {
    s.Handled = true;
    return;
  }
  const TStatement st(line, s.Keyword, tokens);
  if (const TDispatchEntry* e = s.FrontEnd.Find(s.Keyword, s)) {
    e->Handler(s, st);
  } else {
    if (s.InProp && (s.Keyword == "FORM" || s.Keyword == "CHUNK")) {
      ReportError(s, s.Keyword + " not allowed inside a PROP!");
    }
    CompileStatement(s, st);
  }
  if (!s.Handled) ReportError(s, "\"" + s.Keyword + "\" - undeclared identifier.");
}

std::string RunScript(TCompilerState& s, const std::string& scriptName) {
  s.StartTime = std::chrono::steady_clock::now();
  s.EndOfInput = false;
  s.LineNumber = 0;
  s.ScriptName = scriptName;
  s.OutputName = DirectoryPart(scriptName);
  s.ProgramDir = ExeDirectory();
  BuildTables(s);
  FinishOutput(s);
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  s.SearchPath = WithTrailingSeparator(ec ? std::string(".") : cwd.string());

  const TLineReader reader = g_lineReader;
  std::unique_ptr<TTextLines> file;
  if (!reader) file = std::make_unique<TTextLines>(ReadWholeFile(MapFixedPath(scriptName), kMaxScriptFileBytes));

  std::string readerLine;
  std::string normalised;  // reused from line to line
  while (!s.EndOfInput) {
    std::string_view line;
    if (reader) {
      bool end = false;
      readerLine.clear();
      reader(readerLine, end);
      s.EndOfInput = end;
      line = readerLine;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    } else {
      line = file->Next(s.EndOfInput);
    }
    ++s.LineNumber;
    CompileLine(s, line, normalised);
  }

  // Only open braces are missing; a surplus of "}" was hinted where it stood.
  if (s.BraceDepth > 0) Report("hint: } missing.");
  TreEndCheck(s);
  Report("done. Compile time: " + FormatElapsed(std::chrono::steady_clock::now() - s.StartTime));
  EndFlowRun(s);
  if (s.OutputFile.IsOpen()) s.OutputFile.Close();
  return s.OutputName;
}

}  // namespace

// --- shared pieces ---

void Report(const std::string& text) { ReportMessage(text); }

void ReportErrorAt(int line, const std::string& text) {
  Report("error: line " + std::to_string(line) + ", " + text);
}

void ReportError(TCompilerState& s, const std::string& text) { ReportErrorAt(s.LineNumber, text); }

void ReportHint(TCompilerState& s, const std::string& text) {
  Report("hint: line " + std::to_string(s.LineNumber) + ", " + text);
}

const TNameValue* FindName(const std::deque<TNameValue>& list, std::string_view name) {
  for (const TNameValue& e : list) {
    if (SameTextIgnoreCase(e.Name, name)) return &e;
  }
  return nullptr;
}

std::string NormalizeLine(TCompilerState& s, std::string_view input) {
  std::string result;
  NormalizeLineInto(s, input, result);
  return result;
}

void NormalizeLineInto(TCompilerState& s, std::string_view input, std::string& result) {
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
  const std::string_view t0 = tokens.Get(0);
  const TNameValue* type = s.TypeList.empty() ? nullptr : FindName(s.TypeList, t0);
  result.append(type && !type->Value.empty() ? std::string_view(type->Value) : t0);
  for (int i = 1; i <= 255; ++i) {
    const std::string_view t = tokens.Get(i);
    if (t.empty()) break;
    result += ' ';
    if (t.find(' ') != std::string_view::npos) {
      result += '"';
      result.append(t);
      result += '"';
      continue;
    }
    const TNameValue* c = s.ConstList.empty() ? nullptr : FindName(s.ConstList, t);
    result.append(c && !c->Value.empty() ? std::string_view(c->Value) : t);
  }
}

void CompileStatement(TCompilerState& s, const TStatement& st) {
  if (st.Keyword.find(':') != std::string::npos) {
    DefineMacro(s, st.Line);
    return;
  }
  if (const TDispatchEntry* e = s.Statements.Find(st.Keyword, s)) e->Handler(s, st);
}

void CompileStatement(TCompilerState& s, const std::string& keyword, const std::string& line) {
  const TStatement st(line, keyword);
  CompileStatement(s, st);
}

void TDispatchTable::Add(std::string keyword, TStatementHandler handler, TStatementGuard guard) {
  m_entries.push_back({std::move(keyword), handler, guard});
  Reindex();
}

bool TDispatchTable::Register(std::string_view keyword, TStatementHandler handler, TStatementGuard guard) {
  for (TDispatchEntry& e : m_entries) {
    if (e.Keyword == keyword && e.Handler == nullptr) {
      e.Handler = handler;
      e.Guard = guard;
      Reindex();
      return true;
    }
  }
  return false;
}

void TDispatchTable::Reindex() {
  for (auto& bucket : m_index) bucket.clear();
  for (size_t i = 0; i < m_entries.size(); ++i) {
    const TDispatchEntry& e = m_entries[i];
    if (e.Handler && !e.Keyword.empty()) m_index[static_cast<unsigned char>(e.Keyword[0])].push_back(i);
  }
}

const TDispatchEntry* TDispatchTable::Find(std::string_view keyword, const TCompilerState& s) const {
  if (keyword.empty()) return nullptr;
  for (const size_t i : m_index[static_cast<unsigned char>(keyword[0])]) {
    const TDispatchEntry& e = m_entries[i];
    if (e.Keyword == keyword && (!e.Guard || e.Guard(s))) return &e;
  }
  return nullptr;
}

TCompilerState::TCompilerState() = default;
TCompilerState::~TCompilerState() = default;

// --- public entry points ---

void SetMessageSink(TMessageSink sink) { g_sink = std::move(sink); }

void SetLineReader(TLineReader reader) { g_lineReader = std::move(reader); }

void ReportMessage(const std::string& text) {
  if (g_sink) g_sink(text);
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
