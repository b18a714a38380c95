#include "iffc/Functions.h"

#include <algorithm>

#include "iffc/BlockCompiler.h"
#include "iffc/CrcList.h"
#include "iffc/Tre.h"
#include "util/Crc32.h"

TFlagStack& FlagStack() {
  static TFlagStack stack;
  return stack;
}

void PushFlag(TCompilerState& s, bool value) {
  TFlagStack& fs = FlagStack();
  if (s.FlagDepth == static_cast<int>(fs.Flags.size())) {
    ReportError(s, "too many nested $IF, $ELSE and $FUNC_BEGIN (at most 256 open).");
  }
  fs.Flags[fs.Top] = value ? 1 : 0;
  ++fs.Top;  // uint8_t: wraps at 256
  ++s.FlagDepth;
}

bool PopFlag(TCompilerState& s) {
  TFlagStack& fs = FlagStack();
  --fs.Top;
  if (s.FlagDepth > 0) --s.FlagDepth;
  return fs.Flags[fs.Top] != 0;
}

namespace {

void WriteWord(TCompilerState& s, uint32_t value) {
  WriteOutputU32(s, value);
  s.DataSize += 4;
}

void PutNameFirst(TCompilerState& s, const std::string& name, int number) {
  s.ConstList.PushFront({name, std::to_string(number)});
  ++s.VarCount;
}

// $FUNC_BEGIN NAME COUNT  |  $FUNC_BEGIN NAME P1 P2 ...
void HandleFuncBegin(TCompilerState& s, const TStatement& st) {
  PushFlag(s, s.GenCrc);
  s.GenCrc = true;
  if (s.FuncSizePos != -1) ReportError(s, "missing call to $function_end!");
  WriteWord(s, NameCrc(s, st.Tokens.Get(1)));
  WriteOutputU32(s, 0);
  const int32_t count = ReadIntegerDefault(st.Tokens.Get(2), 0xFFFFFF);
  int32_t n = 0;
  if (count != 0xFFFFFF) {
    n = count;
    if (n < 0 || n > kMaxParamCount) {
      // Thousands of millions of code words would fill the disk; no function has that.
      ReportError(s, "parameter count " + std::to_string(n) + " out of range (0 to " +
                         std::to_string(kMaxParamCount) + ").");
      n = 0;
    }
  } else {
    for (int i = 0; !st.Tokens.Get(i + 2).empty(); ++i) {
      PutNameFirst(s, st.Tokens.Str(i + 2), kFirstParamNumber + i);
      ++n;
    }
  }
  WriteOutputU32(s, static_cast<uint32_t>(n));
  s.DataSize += 8;
  for (int i = 0; i < n; ++i) WriteWord(s, kCodeParam);
  s.FuncSizePos = s.OutputFile.Position();
  WriteWord(s, 0);
}

// $FUNC_END
void HandleFuncEnd(TCompilerState& s, const TStatement&) {
  if (s.FuncSizePos == -1) {
    // Nothing was saved for this statement: restoring would hand GenCrc a stale slot.
    ReportError(s, "missing call to $function_begin!");
  } else {
    s.GenCrc = PopFlag(s);
    const int64_t end = s.OutputFile.Position();
    const int64_t size = end - s.FuncSizePos - 4;
    s.OutputFile.Seek(s.FuncSizePos);
    WriteOutputU32(s, static_cast<uint32_t>(size));
    s.OutputFile.Seek(end);
    s.FuncSizePos = -1;
  }
  s.ConstList.PopFront(static_cast<size_t>(std::max(s.VarCount, 0)));
  s.VarCount = 0;
}

// $VAR NAME1 NAME2 ...
void HandleVar(TCompilerState& s, const TStatement& st) {
  int count = 0;
  for (int i = 0; !st.Tokens.Get(i + 1).empty(); ++i) {
    PutNameFirst(s, st.Tokens.Str(i + 1), kFirstVarNumber + i);
    ++count;
  }
  if (count == 0) ReportError(s, "expected at least one identifier.");
  WriteWord(s, kCodeVar);
  WriteWord(s, static_cast<uint32_t>(count));
}

// $IF VALUE
void HandleIf(TCompilerState& s, const TStatement& st) {
  WriteWord(s, kCodeIf);
  if (st.Tokens.Get(1).empty()) {
    ReportError(s, "wrong number of parameters. Expected: 1");
    return;
  }
  uint32_t value = 0;
  if (IntegerElement(s, st.Tokens.Get(1), "!", value)) WriteWord(s, value);
  if (!st.Tokens.Get(2).empty()) ReportHint(s, "wrong number of elements. Expected: 1");
  PushFlag(s, s.InIf);
  s.InIf = true;
}

// $ELSE
void HandleElse(TCompilerState& s, const TStatement&) {
  WriteWord(s, kCodeElse);
  PushFlag(s, s.InIf);
  s.InIf = true;
}

// "{" inside a conditional
void HandleIfOpen(TCompilerState& s, const TStatement&) { WriteWord(s, kCodeIfOpen); }

// "}" inside a conditional
void HandleIfClose(TCompilerState& s, const TStatement&) {
  WriteWord(s, kCodeIfClose);
  s.InIf = PopFlag(s);
}

bool InConditional(const TCompilerState& s) { return s.InIf; }

// "}" of a conditional, or of a FORM or CHUNK inside a BLOCK (see iffc/Tre.h).
bool HandleCloseBrace(TCompilerState& s, const TStatement& st) {
  if (!s.InIf) return CloseNestedInBlock(s, st);
  HandleIfClose(s, st);
  return true;
}

bool CloseBraceGuard(const TCompilerState& s) { return s.InIf || NestedBlockOpenInBlock(s); }

}  // namespace

void RegisterFlowStatements(TDispatchTable& frontEnd, TDispatchTable& statements) {
  frontEnd.Register("$VAR", HandleVar);
  statements.Register("$FUNC_BEGIN", HandleFuncBegin);
  statements.Register("$FUNC_END", HandleFuncEnd);
  statements.Register("$IF", HandleIf);
  statements.Register("$ELSE", HandleElse);
  statements.Register("{", HandleIfOpen, InConditional);
  statements.Register("}", HandleCloseBrace, CloseBraceGuard);
  RegisterTreStatements(statements);
  RegisterCrcListStatements(frontEnd);
}

void ResetFlowState(TCompilerState& s) {
  ResetTreState(s);
  s.FuncSizePos = -1;
  s.VarCount = 0;
  s.InIf = false;
  s.FlagDepth = 0;
  s.CrcList.Close();
}

void EndFlowRun(TCompilerState& s) {
  s.CrcList.Close();
  ClearTreNames(s);
}
