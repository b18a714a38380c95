#include "iffc/Tre.h"

#include <cstring>

#include "iff/IffId.h"
#include "iffc/BlockCompiler.h"
#include "iffc/TreArchive.h"
#include "util/Crc32.h"
#include "util/StrTools.h"

namespace {

constexpr uint32_t kTreVersion = 1;

void SetTreEntry(TCompilerState& s, uint32_t size, uint32_t offset, uint32_t stored) {
  auto& e = s.TreEntry;
  e.fill(0);
  PutLE(e.data(), StrCrc32(s.BlockName));
  PutLE(e.data() + 4, size);
  PutLE(e.data() + 8, offset);
  PutLE(e.data() + 12, stored);
  // At most 255 characters, so the name always ends with a zero byte.
  std::memcpy(e.data() + 16, s.BlockName.data(),
              std::min<size_t>(s.BlockName.size(), kTreNameSize - 1));
}

// Index of a declared name (case-insensitive, first match), or -1.
int FindTreName(const TCompilerState& s, const std::string& name) {
  const auto it = s.TreNameIndex.find(UpperCase(name));
  return it == s.TreNameIndex.end() ? -1 : it->second;
}

int64_t DirectoryEnd(const TCompilerState& s) {
  return kTreHeaderSize + static_cast<int64_t>(kTreEntrySize) * s.TreDeclCount;
}

void CheckUndefinedBlocks(TCompilerState& s) {
  for (const TTreName& n : s.TreNames) {
    if (!n.HasBlock) {
      Report("hint: some SFF blocks haven't been defined.");
      break;
    }
  }
  ClearTreNames(s);
}

// Ends the open BLOCK: sizes into its directory entry.
void FinishBlock(TCompilerState& s) {
  s.InBlock = false;
  const int64_t end = s.OutputFile.Position();
  // The bytes between the block's start and here: the same as the data items' count for
  // plain content, and still right when FORMs or CHUNKs inside reset that count.
  const int64_t written = end - s.BlockStart;
  uint32_t size = static_cast<uint32_t>(written);
  uint32_t stored = 0;
  if (s.BlockSize != -1 && s.BlockSize != written) {
    size = static_cast<uint32_t>(s.BlockSize);
    stored = static_cast<uint32_t>(written);
  }
  const int i = FindTreName(s, s.BlockName);
  if (i < 0) return;
  if (end > static_cast<int64_t>(UINT32_MAX)) {
    ReportError(s,
                "TRE archive larger than 4 GB; block (" + s.BlockName + ") cannot be described.");
    return;
  }
  s.TreNames[static_cast<size_t>(i)].HasBlock = true;
  PutLE(s.TreEntry.data() + 4, size);
  PutLE(s.TreEntry.data() + 12, stored);
  s.OutputFile.Seek(kTreHeaderSize + static_cast<int64_t>(kTreEntrySize) * i);
  WriteOutput(s, s.TreEntry.data(), s.TreEntry.size());
  s.OutputFile.Seek(end);
}

// TRE NAME
void HandleTre(TCompilerState& s, const TStatement& st) {
  StartOutput(s, "TRE", st.Tokens.Str(1));
  WriteOutputU32(s, 0);
  WriteOutputU32(s, kTreVersion);
  WriteOutputU32(s, 0);
  WriteOutputU32(s, 0);
  s.InTre = true;
}

// TREFILE NAME
void HandleTreFile(TCompilerState& s, const TStatement& st) {
  if (!s.InTre || s.InBlock || !s.OutputFile.IsOpen() ||
      s.OutputFile.Position() != DirectoryEnd(s)) {
    ReportError(s, "TREFILE (" + TrimControl(st.Tokens.Get(1)) +
                       ") must follow the TRE line, before the first BLOCK.");
    return;
  }
  ++s.TreDeclCount;
  s.BlockName = TrimControl(st.Tokens.Get(1));
  // A repeated name keeps pointing at its first entry, as a scan in order would find.
  s.TreNameIndex.emplace(UpperCase(s.BlockName), static_cast<int>(s.TreNames.size()));
  s.TreNames.push_back({s.BlockName, NameCrc(s, s.BlockName), false});
  SetTreEntry(s, 0, 0, 0);
  WriteOutput(s, s.TreEntry.data(), s.TreEntry.size());
}

// BLOCK NAME [SIZE]
void HandleBlock(TCompilerState& s, const TStatement& st) {
  const std::string name = TrimControl(st.Tokens.Get(1));
  if (!s.InTre) {
    ReportError(s, "BLOCK (" + name + ") outside a TRE!");
    return;
  }
  if (s.InBlock) {
    ReportError(s, "BLOCK not allowed inside a BLOCK!");
    FinishBlock(s);
  }
  s.InBlock = true;
  s.DataSize = 0;
  s.BlockName = name;
  s.BlockSize = ReadIntegerDefault(st.Tokens.Get(2), -1);
  s.BlockStart = s.OutputFile.Position();
  if (FindTreName(s, s.BlockName) < 0) {
    ReportHint(s, "Block (" + s.BlockName + ") not declared.");
  } else {
    SetTreEntry(s, 0, static_cast<uint32_t>(s.BlockStart), 0);
  }
}

}  // namespace

void ClearTreNames(TCompilerState& s) {
  s.TreNames.clear();
  s.TreNameIndex.clear();
}

void RegisterTreStatements(TDispatchTable& statements) {
  statements.Register("TRE", HandleTre);
  statements.Register("BLOCK", HandleBlock);
  statements.Register("TREFILE", HandleTreFile);
}

void ResetTreState(TCompilerState& s) {
  CheckUndefinedBlocks(s);
  s.TreDeclCount = 0;
  s.InTre = false;
  // A BLOCK left open must not take over the braces of the next output.
  s.InBlock = false;
}

void CloseBlock(TCompilerState& s) { FinishBlock(s); }

void CloseTre(TCompilerState& s) {
  const int64_t end = s.OutputFile.Position();
  s.OutputFile.Seek(0);
  WriteOutputU32(s, static_cast<uint32_t>(s.TreDeclCount));
  s.OutputFile.Seek(end);
  Report("sorting CRCs...");
  s.InTre = false;
}

void TreEndCheck(TCompilerState& s) { CheckUndefinedBlocks(s); }

bool NestedBlockOpenInBlock(const TCompilerState& s) {
  // BraceDepth > 1: the brace cannot be the archive's last one, so closing the FORM or
  // CHUNK never finishes the output.
  return s.InBlock && s.InTre && (s.InChunk || s.FormTop >= 0) && s.BraceDepth > 1;
}

bool CloseNestedInBlock(TCompilerState& s, const TStatement& st) {
  // The block compiler's brace rules give a BLOCK and a TRE precedence over a chunk or
  // FORM; hide both for this one brace so the innermost open structure is the one closed.
  s.InBlock = false;
  s.InTre = false;
  auto restore = [&s] {
    s.InBlock = true;
    s.InTre = true;
  };
  bool handled = false;
  try {
    if (const TDispatchEntry* e = s.Statements.Find("}", s)) handled = RunHandler(*e, s, st);
  } catch (...) {
    restore();
    throw;
  }
  restore();
  return handled;
}
