#pragma once
// The state of one compiler run and the pieces every statement handler uses.
//
// One TCompilerState lives from the start of CompileScript to its end and is passed by
// reference to every handler; declarations and macros never carry over between runs. The
// only module-wide state is the message and diagnostic sinks, the line reader and the host
// hook (iffc/Compiler.h), and the flag stack of the flow statements (iffc/Functions.h).
//
// Statements reach their handlers through two tables of {keyword, handler, guard}
// entries, kept in the order in which the language recognises keywords: the front-end
// table (line directives, macros, DATA, PROP) and the statement table (CompileStatement,
// which also runs macro lines and DATA segments). The first entry whose keyword matches,
// whose handler is set and whose guard (when there is one) holds decides the line. Entries
// of the flow statements ("$VAR", "$CRC_OUT", "$FUNC_BEGIN", "$FUNC_END", "$IF", "$ELSE",
// the conditional braces, "TRE", "BLOCK", "TREFILE") are in the tables from the start
// with no handler; RegisterFlowStatements fills them. An entry without a handler is
// skipped, so until then those keywords are undeclared identifiers.

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "iffc/CrcList.h"
#include "iffc/OutputWriter.h"
#include "iffc/ScriptText.h"

struct TCompilerState;

// A statement as a handler sees it: the normalised line, its upper-cased first token and
// all its tokens (Tokens.Get(k) is GetToken(Line, k)). Views into the caller's text, valid
// for the handler's call.
struct TStatement {
  std::string_view Line;
  std::string_view Keyword;
  const TScriptTokens& Tokens;
};

// A handler recognises every statement it is given: the dispatcher marks the statement
// handled once it ran (RunHandler).
using TStatementHandler = void (*)(TCompilerState& s, const TStatement& st);
// A handler that may find the statement is none of its own (a stray "}", a DATA line
// whose statements were not recognised): it answers whether it recognised it.
using TDecidingHandler = bool (*)(TCompilerState& s, const TStatement& st);
using TStatementGuard = bool (*)(const TCompilerState& s);

struct TDispatchEntry {
  std::string Keyword;                  // upper case, never holding ":" (a macro definition)
  TStatementHandler Handler = nullptr;  // at most one of the two; none: skipped
  TDecidingHandler Decider = nullptr;
  TStatementGuard Guard = nullptr;  // none: always applies

  bool HasHandler() const { return Handler != nullptr || Decider != nullptr; }
};

// Runs the entry's handler on `st` and sets s.Handled: true after a plain handler, the
// answer of a deciding one. Returns s.Handled.
bool RunHandler(const TDispatchEntry& e, TCompilerState& s, const TStatement& st);

class TDispatchTable {
public:
  void Add(std::string keyword, TStatementHandler handler, TStatementGuard guard = nullptr);
  void Add(std::string keyword, TDecidingHandler handler, TStatementGuard guard = nullptr);
  // An entry without a handler, keeping the keyword's place for Register.
  void Reserve(std::string keyword);
  // Fills the first entry with this keyword that has no handler yet (the flow statements
  // register this way, so their place in the order stays the table's). Returns false when
  // there is no such entry.
  bool Register(std::string_view keyword, TStatementHandler handler,
                TStatementGuard guard = nullptr);
  bool Register(std::string_view keyword, TDecidingHandler handler,
                TStatementGuard guard = nullptr);
  // The entry that decides `keyword` in state `s`, or nullptr.
  const TDispatchEntry* Find(std::string_view keyword, const TCompilerState& s) const;
  const std::vector<TDispatchEntry>& Entries() const { return m_entries; }

private:
  // An entry with a handler as the look-up sees it: the keyword's length and its first
  // eight bytes decide most comparisons without touching the keyword itself.
  struct TIndexed {
    uint64_t Head = 0;
    size_t Size = 0;
    size_t Entry = 0;
  };
  static uint64_t Head(std::string_view keyword);
  void Insert(TDispatchEntry entry);
  bool Fill(std::string_view keyword, TStatementHandler handler, TDecidingHandler decider,
            TStatementGuard guard);
  void Reindex();

  std::vector<TDispatchEntry> m_entries;
  // By first character of the keyword, the entries that have a handler, in table order.
  std::array<std::vector<TIndexed>, 256> m_index;
};

// A declaration of TypeList or ConstList: «name=value».
struct TNameValue {
  std::string Name;
  std::string Value;
};

// TypeList and ConstList: names looked up case-insensitively, the first entry in list
// order winning. Entries are appended (declarations) or put at the front ("$VAR",
// "$FUNC_BEGIN"), and only those at the front are removed again (PopFront, newest first).
// Every token of every line is looked up here, so a look-up is one hash probe whatever
// the number of declarations (include files declare thousands).
class TNameList {
public:
  void PushBack(TNameValue entry);
  void PushFront(TNameValue entry);
  // Removes the first `count` entries (or all there are).
  void PopFront(size_t count);
  // The winning entry for `name`, or nullptr. Most tokens (numbers among names) are ruled
  // out here by their first character and length, without hashing.
  const TNameValue* Find(std::string_view name) const {
    if (m_entries.empty()) return nullptr;
    if (!name.empty()) {
      const size_t len = name.size() < 63 ? name.size() : 63;
      if ((m_shapes[UpperByte(name[0])] >> len & 1) == 0) return nullptr;
    }
    return FindIndexed(name);
  }
  bool Empty() const { return m_entries.empty(); }
  size_t Size() const { return m_entries.size(); }
  const TNameValue& operator[](size_t i) const { return m_entries[i]; }

private:
  struct THash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const;
  };
  struct TEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  // The entries of one name: those put at the front (the newest wins) and the appended
  // ones in order, of which the first not yet removed counts.
  struct TBucket {
    std::vector<const TNameValue*> Fronts;
    std::vector<const TNameValue*> Backs;
    size_t BackStart = 0;
  };

  static unsigned char UpperByte(char c) {
    return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  void Note(std::string_view name);
  const TNameValue* FindIndexed(std::string_view name) const;

  std::deque<TNameValue> m_entries;  // references stay valid on push and pop at the ends
  // For each upper-cased first character, the name lengths (63 for longer) seen.
  std::array<uint64_t, 256> m_shapes{};
  size_t m_fronts = 0;  // entries at the front put there by PushFront
  std::unordered_map<std::string, TBucket, THash, TEqual> m_index;
};

// A stored macro line.
struct TMacroLine {
  uint32_t NameCrc = 0;  // StrCrc32 of the upper-cased name
  std::string Text;      // normalised statement, at most 255 characters
  int DefLine = 0;       // line of the definition
};

// FORM slot: the 12-byte header ("FORM", size, form type) and where it lies. The size is
// native while the FORM is open and written big-endian when it closes.
struct TFormSlot {
  std::array<char, 4> Type{};
  uint32_t Size = 4;
  int64_t HeaderPos = 0;
  int Parent = -1;
};

// CHUNK slot: the 8-byte header (id, size) and where it lies.
struct TChunkSlot {
  std::array<char, 4> Id{};
  uint32_t Size = 0;
  int64_t HeaderPos = 0;
};

// A name declared by TREFILE with its checksum.
struct TTreName {
  std::string Name;
  uint32_t Crc = 0;
  bool HasBlock = false;  // a BLOCK of this name was compiled
};

constexpr int kSlotCount = 2049;  // FORM nesting levels; chunks between FORM closes
constexpr int kMaxDataArgs = 32;
constexpr size_t kMaxMacroText = 255;
constexpr size_t kMaxCString = 255;

struct TCompilerState {
  // --- front end ---
  int LineNumber = 0;
  // The upper-cased first token of the line being compiled; it lies in the line's text or
  // in KeywordText and is valid while the line is compiled.
  std::string_view Keyword;
  std::string KeywordText;
  // The line's statement was recognised: set by RunHandler and CompileStatement, read by
  // the front end (and WRITE, DATA) to report an undeclared identifier.
  bool Handled = false;
  bool EndOfInput = false;
  // Looked up by name, case-insensitively, first entry wins. Declarations are appended;
  // "$VAR" and "$FUNC_BEGIN" insert at the front, shadowing older names.
  TNameList TypeList;
  TNameList ConstList;
  std::vector<TMacroLine> MacroList;
  std::string SearchPath;  // ends with a separator
  std::string ProgramDir;  // ends with a separator
  std::string OutputName;
  bool GenCrc = false;
  uint32_t ExpectedCrc = 0;  // 0: no comparison
  bool InProp = false;
  std::array<std::string, kMaxDataArgs> DataArgs;  // DataArgs[k - 1] is «%k%»
  std::chrono::steady_clock::time_point StartTime;

  // --- block compiler ---
  TOutputWriter OutputFile;
  int BraceDepth = 0;
  int64_t DataSize = 0;
  bool InChunk = false;
  int FormTop = -1;
  int CurrentForm = -1;
  int FormOverflow = 0;  // FORMs refused beyond the slot table, still waiting for "}"
  std::array<TFormSlot, kSlotCount> FormSlots;
  int ChunkTop = -1;
  std::array<TChunkSlot, kSlotCount> ChunkSlots;
  uint8_t ByteValue = 0;
  float FloatValue = 0.0f;
  // The output would pass the largest size the reader accepts: nothing more is written
  // and FinishOutput drops the file instead of putting it in place.
  bool OutputTooLarge = false;

  // --- functions, conditionals, TRE, CRC lists ---
  // Owned by the flow statements (iffc/Functions.cpp, iffc/Tre.cpp, iffc/CrcList.cpp),
  // which may add fields here. The block compiler reads InTre, InBlock and FuncSizePos.
  bool InIf = false;
  int64_t FuncSizePos = -1;  // -1: no script function open
  int VarCount = 0;
  bool InTre = false;
  bool InBlock = false;
  std::string BlockName;
  int32_t BlockSize = -1;
  std::vector<TTreName> TreNames;
  int TreDeclCount = 0;
  std::array<uint8_t, 272> TreEntry{};
  int FlagDepth = 0;       // FlagStack saves not yet restored since the output began
  int64_t BlockStart = 0;  // file position of the open BLOCK's first byte
  TCrcList CrcList;
  // Upper-cased TREFILE name -> its first index in TreNames: archives hold thousands of
  // entries, and each BLOCK looks its name up.
  std::unordered_map<std::string, int> TreNameIndex;
  // --- end of the flow statements' fields ---

  TDispatchTable FrontEnd;
  TDispatchTable Statements;
  std::string ScriptName;
  // Where each token of the normalised line lies in it (reused from line to line).
  std::vector<std::pair<uint32_t, uint32_t>> TokenSpans;
  // The line being compiled when normalising changed it, and its tokens (reused from
  // line to line).
  std::string LineText;
  TScriptTokens LineTokens;
  std::string TabScratch;

  TCompilerState();
  ~TCompilerState();
  TCompilerState(const TCompilerState&) = delete;
  TCompilerState& operator=(const TCompilerState&) = delete;
};

// --- messages ---
// «error: line N, TEXT» and «hint: line N, TEXT» with N = s.LineNumber (or `line`).
void ReportError(TCompilerState& s, const std::string& text);
void ReportHint(TCompilerState& s, const std::string& text);
void ReportErrorAt(int line, const std::string& text);
// A message in the compiler's own wording; its kind comes from its form («hint: ...»,
// «error: [FILE] line N, ...», the harddrive text, a quoted continuation line), anything
// else is plain.
void Report(const std::string& text);
// A message that is plain whatever it says ("$OUTPUT").
void ReportPlain(const std::string& text);

// StrCrc32 of a name as the language computes it (the first 255 characters); a longer
// name gets «hint: line N, ...» that it was cut.
uint32_t NameCrc(TCompilerState& s, std::string_view name);

// Front-end pieces other statements reuse.
std::string NormalizeLine(TCompilerState& s, std::string_view line);
// With `tokens`, also the tokens of the result (as TScriptTokens(result) would give them,
// pointing into `result`), without splitting the line a second time.
void NormalizeLineInto(TCompilerState& s, std::string_view line, std::string& result,
                       TScriptTokens* tokens = nullptr);

// Runs one statement through the statement table (macro definitions included). Sets
// s.Handled and returns it: false when nothing recognises the statement.
bool CompileStatement(TCompilerState& s, std::string_view keyword, std::string_view line);
bool CompileStatement(TCompilerState& s, const TStatement& st);

// --- hooks of the flow statements ---
// Defined by the flow statements' own files (iffc/Functions.cpp, iffc/Tre.cpp,
// iffc/CrcList.cpp).
//
// Fills the handlers of "$VAR", "$CRC_OUT" (front end), "$FUNC_BEGIN", "$FUNC_END", "$IF",
// "$ELSE", "{" and "}" of a conditional, "TRE", "BLOCK", "TREFILE" (statements) with
// TDispatchTable::Register.
void RegisterFlowStatements(TDispatchTable& frontEnd, TDispatchTable& statements);
// FinishOutput's part for the flow state: the end check of a finished archive, then no
// TREFILE names, TreDeclCount 0, no TRE or BLOCK open, no function open and VarCount 0,
// no conditional open, CRC list closed.
void ResetFlowState(TCompilerState& s);
// Brace rules 2 and 3: "}" while a BLOCK / a TRE is open.
void CloseBlock(TCompilerState& s);
void CloseTre(TCompilerState& s);
// Called for each CRC32 element before its checksum is written.
void WriteCrcListLine(TCompilerState& s, std::string_view text);
// End of a run: the TRE end check, then (after "done.") closing the CRC list.
void TreEndCheck(TCompilerState& s);
void EndFlowRun(TCompilerState& s);
