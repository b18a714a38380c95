#include "iffc/BlockCompiler.h"

#include <zlib.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "iff/IffId.h"
#include "util/Crc32.h"
#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Paths.h"

namespace {

constexpr int32_t kNotAnInteger = 0xFFFFFF;

bool RoomFor(TCompilerState& s, uint64_t size);

// The first four characters of `text`, zero-padded.
std::array<char, 4> FourCharacters(std::string_view text) {
  std::array<char, 4> id{};
  for (size_t i = 0; i < 4 && i < text.size(); ++i) id[i] = text[i];
  return id;
}

// Writes a patched header at `headerPos` and returns to the end of the output.
void PatchHeader(TCompilerState& s, int64_t headerPos, const uint8_t* header, size_t size) {
  const int64_t end = s.OutputFile.Position();
  assert(headerPos >= 0 && headerPos + static_cast<int64_t>(size) <= end);
  s.OutputFile.Seek(headerPos);
  WriteOutput(s, header, size);
  s.OutputFile.Seek(end);
}

// --- counted items ---

// Runs `element` for each element of «KEYWORD ELEMENT» or «KEYWORD [n] E1 ... En» and
// checks the element count.
template <typename F>
void ForEachElement(TCompilerState& s, const TStatement& st, F element) {
  int32_t counted = 1;
  const bool isCounted = ReadCountToken(s, st.Tokens.Get(1), counted);
  if (counted < 0) return;  // reported by ReadCountToken; there is nothing to count against
  const int64_t count = counted;
  const int64_t first = isCounted ? 2 : 1;
  for (int64_t i = 0; i < count; ++i) {
    const std::string_view e = st.Tokens.Get(first + i);
    if (IsBlankText(e)) {
      ReportError(s, "wrong number of elements. Expected: " + std::to_string(count));
      break;
    }
    element(e);
  }
  if (!IsBlankText(st.Tokens.Get(first + count))) {
    ReportHint(s, "wrong number of elements. Expected: " + std::to_string(count));
  }
}

// LONG ELEMENT | LONG [n] E1 ... En
void HandleLong(TCompilerState& s, const TStatement& st) {
  // The values go out in pieces of up to 64, not one write each.
  uint8_t buffer[256];
  size_t used = 0;
  ForEachElement(s, st, [&](std::string_view e) {
    uint32_t v;
    // Plain digits, the usual element, are read here; the rest by the full rule.
    const bool plain = ShortDecimal(e, v) && v != static_cast<uint32_t>(kNotAnInteger);
    if (!plain && !IntegerElement(s, e, "!", v)) return;
    if (used == sizeof buffer) {
      WriteOutput(s, buffer, used);
      used = 0;
    }
    PutLE(buffer + used, v);
    used += 4;
    s.DataSize += 4;
  });
  if (used > 0) WriteOutput(s, buffer, used);
}

// FLOAT ELEMENT | FLOAT [n] E1 ... En
void HandleFloat(TCompilerState& s, const TStatement& st) {
  ForEachElement(s, st, [&s](std::string_view e) {
    float v;
    if (ParseScriptFloat(e, v)) {
      s.FloatValue = v;
    } else {
      // The element keeps its place: the last value converted stands in for it.
      ReportError(s, "\"" + std::string(e) + "\" not a valid floating point value.");
    }
    uint32_t bits;
    std::memcpy(&bits, &s.FloatValue, 4);
    WriteOutputU32(s, bits);
    s.DataSize += 4;
  });
}

// BYTE ELEMENT | BYTE [n] E1 ... En
void HandleByte(TCompilerState& s, const TStatement& st) {
  ForEachElement(s, st, [&s](std::string_view e) {
    int32_t v;
    if (ParseScriptInteger(e, v) && v >= 0 && v <= 255) {
      s.ByteValue = static_cast<uint8_t>(v);
    } else {
      ReportError(s, "\"" + std::string(e) + "\" not a valid byte value.");
    }
    WriteOutput(s, &s.ByteValue, 1);
    s.DataSize += 1;
  });
}

// CSTRING ELEMENT | CSTRING [n] E1 ... En
void HandleCString(TCompilerState& s, const TStatement& st) {
  ForEachElement(s, st, [&s](std::string_view e) {
    if (e.size() > kMaxCString) {
      // Readers of these strings keep them in 256-byte buffers: longer text is cut.
      ReportError(s, "\"" + std::string(e.substr(0, 20)) + "...\" too long for a CSTRING (" +
                         std::to_string(e.size()) + " characters, at most 255); cut to 255.");
      e = e.substr(0, kMaxCString);
    }
    WriteOutput(s, e.data(), e.size());
    const uint8_t zero = 0;
    WriteOutput(s, &zero, 1);
    s.DataSize += static_cast<int64_t>(e.size()) + 1;
  });
}

// CRC32 ELEMENT | CRC32 [n] E1 ... En
void HandleCrc32(TCompilerState& s, const TStatement& st) {
  ForEachElement(s, st, [&s](std::string_view e) {
    WriteCrcListLine(s, e);
    WriteOutputU32(s, NameCrc(s, e));
    s.DataSize += 4;
  });
}

// CHAR [n] TEXT: exactly n bytes of TEXT, zero-padded.
void HandleChar(TCompilerState& s, const TStatement& st) {
  int32_t count = 0;
  if (!ReadCountToken(s, st.Tokens.Get(1), count)) {
    ReportError(s, "expected number of elements.");
    return;
  }
  const std::string_view text = st.Tokens.Get(2);
  const std::string expected = "wrong number of elements. Expected: " + std::to_string(count);
  if (count >= 0 && text.size() > static_cast<size_t>(count)) ReportHint(s, expected);
  if (count > 0) {
    // The text, then zeros up to n: a huge n costs no memory of its size.
    const size_t n = static_cast<size_t>(count);
    const size_t used = std::min(text.size(), n);
    if (used > 0) WriteOutput(s, text.data(), used);
    WriteOutputZeros(s, n - used);
    s.ByteValue = used == n ? static_cast<uint8_t>(text[n - 1]) : 0;
    s.DataSize += count;
  }
  if (!IsBlankText(st.Tokens.Get(static_cast<int64_t>(count) + 2))) ReportHint(s, expected);
}

// CRC32FUNC NAME BYTES P1 ... Pk: function code, then BYTES / 4 parameters.
void HandleCrc32Func(TCompilerState& s, const TStatement& st) {
  const std::string_view countText = st.Tokens.Get(2);
  int32_t bytes;
  if (!ParseScriptInteger(countText, bytes) || bytes < 0 || bytes > 255) {
    // The count shares the code word's low byte; anything else cannot be encoded.
    ReportError(s, "\"" + std::string(countText) + "\" not a valid byte value.");
    bytes = 0;
  }
  const uint32_t code = (NameCrc(s, st.Tokens.Get(1)) & 0xFFFFFF00u) | static_cast<uint32_t>(bytes);
  WriteOutputU32(s, code);
  s.DataSize += 4;
  const int k = bytes / 4;
  const std::string expected = "wrong number of parameters. Expected: " + std::to_string(k);
  for (int i = 1; i <= k; ++i) {
    const std::string_view p = st.Tokens.Get(i + 2);
    if (IsBlankText(p)) {
      ReportError(s, expected);
      Report("       \"" + std::string(st.Line) + "\"");
      break;
    }
    uint32_t v;
    if (!IntegerElement(s, p, ".", v)) continue;
    WriteOutputU32(s, v);
    s.DataSize += 4;
  }
  if (!IsBlankText(st.Tokens.Get(k + 3))) {
    ReportHint(s, expected);
    Report("      \"" + std::string(st.Line) + "\"");
  }
}

// The data file of FILE and FILE.Z as the script names it: a name without a directory
// lies in the search path.
std::string ResolveDataPath(const TCompilerState& s, const std::string& name) {
  return HasPathSeparator(name) ? name : s.SearchPath + name;
}

bool FindDataFile(TCompilerState& s, const TStatement& st, std::string& shown, std::string& real) {
  shown = ResolveDataPath(s, st.Tokens.Str(1));
  real = MapFixedPath(shown);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(real, ec)) {
    ReportError(s, "File not found: " + shown);
    return false;
  }
  return true;
}

// FILE PATH: the file's bytes unchanged.
void HandleFile(TCompilerState& s, const TStatement& st) {
  std::string shown, real;
  if (!FindDataFile(s, st, shown, real)) return;
  if (!s.OutputFile.IsOpen()) WriteOutput(s, nullptr, 0);  // raises the missing-output error
  // Without blocking and only a regular file (util/FileIo.h): the check above can be
  // overtaken by a FIFO put in the file's place.
  TInputFile input(real);
  const int fd = input.Fd();
  if (!RoomFor(s, input.Size())) return;
  s.DataSize += s.OutputFile.CopyFrom(fd, shown);
  if (s.OutputFile.Size() > kMaxOutputSize) RoomFor(s, 1);  // the file grew while it was copied
}

// FILE.Z PATH: the file as one zlib stream.
void HandleFileZ(TCompilerState& s, const TStatement& st) {
  std::string shown, real;
  if (!FindDataFile(s, st, shown, real)) return;
  if (!s.OutputFile.IsOpen()) WriteOutput(s, nullptr, 0);
  const std::vector<uint8_t> input = ReadWholeFile(real);
  uLongf packedSize = compressBound(static_cast<uLong>(input.size()));
  std::vector<uint8_t> packed(packedSize);
  static const uint8_t empty = 0;
  const int rc = compress2(packed.data(), &packedSize, input.empty() ? &empty : input.data(),
                           static_cast<uLong>(input.size()), Z_DEFAULT_COMPRESSION);
  if (rc != Z_OK) {
    ReportError(s, "could not compress " + shown + " (zlib status " + std::to_string(rc) + ").");
    return;
  }
  WriteOutput(s, packed.data(), packedSize);
  s.DataSize += static_cast<int64_t>(packedSize);
  // An empty input gains nothing: its share is given as 100%.
  const double percent =
      input.empty() ? 100.0
                    : 100.0 * static_cast<double>(packedSize) / static_cast<double>(input.size());
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", percent);
  Report("added " + shown + " - " + buf + "%");
}

// IFF NAME
void HandleIff(TCompilerState& s, const TStatement& st) { StartOutput(s, "IFF", st.Tokens.Str(1)); }

// FORM TYPE
void HandleForm(TCompilerState& s, const TStatement& st) {
  if (s.FormTop + 1 >= kSlotCount) {
    // Deeper nesting has no slot to patch its header from: the FORM is left out and its
    // closing brace only pairs with it.
    ReportError(s, "FORM nested too deeply (at most " + std::to_string(kSlotCount) + " levels).");
    ++s.FormOverflow;
    return;
  }
  const int64_t pos = s.OutputFile.Position();
  const uint8_t zeros[12] = {};
  WriteOutput(s, zeros, sizeof zeros);
  assert(s.CurrentForm == s.FormTop);
  TFormSlot& slot = s.FormSlots[static_cast<size_t>(++s.FormTop)];
  slot.Type = FourCharacters(st.Tokens.Get(1));
  slot.Size = 4;
  slot.HeaderPos = pos;
  slot.Parent = s.CurrentForm;
  s.InChunk = false;
  s.CurrentForm = s.FormTop;
  s.DataSize = 0;
}

// CHUNK ID
void HandleChunk(TCompilerState& s, const TStatement& st) {
  const std::string_view id = st.Tokens.Get(1);
  std::array<char, 4> bytes = FourCharacters(id);
  int32_t value;
  if (id.find('$') != std::string_view::npos && ParseScriptInteger(id, value)) {
    const uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
  } else if (id.size() != 4 || id.find('$') != std::string_view::npos) {
    ReportError(s, "chunk id \"" + std::string(id) + "\" invalid.");
  }
  const int64_t pos = s.OutputFile.Position();
  const uint8_t zeros[8] = {};
  WriteOutput(s, zeros, sizeof zeros);
  // Only the newest chunk slot is ever read again, so a run of chunks longer than the
  // table reuses its last slot and loses nothing.
  if (s.ChunkTop < kSlotCount - 1) ++s.ChunkTop;
  TChunkSlot& slot = s.ChunkSlots[static_cast<size_t>(s.ChunkTop)];
  slot.Id = bytes;
  slot.Size = 0;
  slot.HeaderPos = pos;
  s.InChunk = true;
  s.DataSize = 0;
}

void CloseChunk(TCompilerState& s) {
  assert(s.InChunk && s.ChunkTop >= 0 && s.ChunkTop < kSlotCount);
  assert(s.CurrentForm == s.FormTop);
  if (s.FuncSizePos != -1) ReportError(s, "missing call to $function_end!");
  const uint8_t zero = 0;
  if (s.DataSize % 2 != 0) {
    WriteOutput(s, &zero, 1);
    if (s.CurrentForm != -1) s.FormSlots[static_cast<size_t>(s.CurrentForm)].Size += 1;
  }
  TChunkSlot& slot = s.ChunkSlots[static_cast<size_t>(s.ChunkTop)];
  slot.Size = static_cast<uint32_t>(s.DataSize);
  if (s.CurrentForm != -1) s.FormSlots[static_cast<size_t>(s.CurrentForm)].Size += slot.Size + 8;
  uint8_t header[8];
  std::memcpy(header, slot.Id.data(), 4);
  PutBE(header + 4, slot.Size);
  PatchHeader(s, slot.HeaderPos, header, sizeof header);
  s.DataSize = 0;
  s.InChunk = false;
}

void CloseForm(TCompilerState& s) {
  // The innermost FORM, the current one, is the one closing: its padding is its own.
  assert(s.FormTop >= 0 && s.FormTop < kSlotCount);
  assert(s.CurrentForm == s.FormTop);
  TFormSlot& slot = s.FormSlots[static_cast<size_t>(s.FormTop)];
  const uint8_t zero = 0;
  if (s.DataSize % 2 != 0) {
    WriteOutput(s, &zero, 1);
    slot.Size += 1;
  }
  slot.Size += static_cast<uint32_t>(s.DataSize);
  if (slot.Parent != -1) s.FormSlots[static_cast<size_t>(slot.Parent)].Size += slot.Size + 8;
  uint8_t header[12];
  std::memcpy(header, "FORM", 4);  // NOLINT(bugprone-not-null-terminated-result): binary header
  PutBE(header + 4, slot.Size);
  std::memcpy(header + 8, slot.Type.data(), 4);
  PatchHeader(s, slot.HeaderPos, header, sizeof header);
  s.FormTop -= 1;
  s.ChunkTop = -1;
  s.CurrentForm = slot.Parent;
  s.DataSize = 0;
}

// {
void HandleOpenBrace(TCompilerState& s, const TStatement&) { ++s.BraceDepth; }

// }: the first rule that applies wins. A stray brace is none of the block compiler's
// (the front end reports it), unless it was the one that finished the output.
bool HandleCloseBrace(TCompilerState& s, const TStatement&) {
  --s.BraceDepth;
  bool finished = false;
  if (!s.InTre && !s.InBlock) {
    if (s.BraceDepth == 0) {
      FinishOutput(s);
      finished = true;
    } else if (s.BraceDepth < 0) {
      ReportHint(s, "too many }");
      return true;
    }
  }
  if (s.InBlock) {
    CloseBlock(s);
  } else if (s.InTre) {
    CloseTre(s);
  } else if (s.InChunk && s.ChunkTop >= 0) {
    CloseChunk(s);
  } else if (s.FormTop == -1) {
    return finished;
  } else if (s.FormOverflow > 0) {
    --s.FormOverflow;
  } else {
    CloseForm(s);
  }
  return true;
}

}  // namespace

namespace {

// False (and the output given up, with the error at this line) when `size` more bytes at
// the current position would make the output larger than the reader accepts.
bool RoomFor(TCompilerState& s, uint64_t size) {
  if (!s.OutputFile.IsOpen()) {
    throw EInOutError("File not open: line " + std::to_string(s.LineNumber) +
                      " writes data, but no IFF or TRE statement has opened an output file");
  }
  if (s.OutputTooLarge) return false;
  const int64_t pos = s.OutputFile.Position();
  if (size <= static_cast<uint64_t>(kMaxOutputSize - pos)) return true;
  s.OutputTooLarge = true;
  ReportError(s, "the output would pass 2147483647 bytes (" + std::to_string(pos) + " written, " +
                     std::to_string(size) + " more), more than a FORM, CHUNK or file may hold; " +
                     s.OutputName + " is not written.");
  return false;
}

}  // namespace

void WriteOutputChecked(TCompilerState& s, const void* data, size_t size) {
  if (RoomFor(s, size)) s.OutputFile.Write(data, size);
}

void WriteOutputZeros(TCompilerState& s, uint64_t count) {
  if (RoomFor(s, count)) s.OutputFile.WriteZeros(static_cast<size_t>(count));
}

void StartOutput(TCompilerState& s, const char* kind, const std::string& name) {
  // A surplus "}" was hinted where it stood; only open braces are missing here.
  if (s.BraceDepth > 0) ReportHint(s, "} missing.");
  FinishOutput(s);
  // An absolute name (or one in the home folder, "C:\...") stands on its own; any other
  // lies beside the script.
  s.OutputName = IsAbsoluteScriptPath(name) ? name : s.OutputName + name;
  Report(std::string("compiling ") + kind + " [" + s.OutputName + "] ...");
  s.OutputFile.Open(MapFixedPath(s.OutputName));
}

void WriteOutputU32(TCompilerState& s, uint32_t value) {
  uint8_t b[4];
  PutLE(b, value);
  WriteOutput(s, b, 4);
}

bool ReadCountToken(TCompilerState& s, std::string_view token, int32_t& count) {
  if (token.empty() || token[0] != '[') return false;
  const std::string_view inner =
      token.size() >= 2 ? token.substr(1, token.size() - 2) : std::string_view();
  uint32_t d;
  count = ShortDecimal(inner, d) ? static_cast<int32_t>(d) : ReadIntegerDefault(inner, 0);
  if (count == 0) {
    ReportError(s, "\"" + std::string(inner) + "\" not a valid integer.");
  } else if (count < 0) {
    ReportError(s,
                "\"" + std::string(inner) + "\" not a valid element count (it must be 1 or more).");
  }
  return true;
}

bool IntegerElement(TCompilerState& s, std::string_view text, const char* errorEnd,
                    uint32_t& value) {
  uint32_t d;
  if (ShortDecimal(text, d) && d != static_cast<uint32_t>(kNotAnInteger)) {
    value = d;
    return true;
  }
  const int32_t v = ReadIntegerDefault(text, kNotAnInteger);
  if (v != kNotAnInteger) {
    value = static_cast<uint32_t>(v);
    return true;
  }
  if (s.GenCrc) {
    value = NameCrc(s, text);
    return true;
  }
  ReportError(s, "\"" + std::string(text) + "\" not a valid integer" + errorEnd);
  return false;
}

void FinishOutput(TCompilerState& s) {
  if (s.OutputTooLarge) {
    // Reported where it happened; the previous file of that name stays.
    s.OutputFile.Discard();
    s.OutputTooLarge = false;
    s.ExpectedCrc = 0;
  }
  if (s.OutputFile.IsOpen()) {
    try {
      s.OutputFile.Close();
      if (s.ExpectedCrc != 0) {
        if (FileCrc32(MapFixedPath(s.OutputName)) == s.ExpectedCrc) {
          Report("Compiled file CRC is identical to source.");
        } else {
          Report("hint: Compiled file CRC doesn't match original one.");
        }
      }
    } catch (const std::exception& e) {
      Report(std::string("While formatting your harddrive the following error happened: ") +
             "\n\r" + e.what() + ": Unexpected Error!");
    }
    s.ExpectedCrc = 0;
  }
  ResetFlowState(s);
  s.GenCrc = false;
  s.BraceDepth = 0;
  for (TFormSlot& slot : s.FormSlots) slot.Parent = -1;
  s.CurrentForm = -1;
  s.ChunkTop = -1;
  s.FormTop = -1;
  s.FormOverflow = 0;
  s.DataSize = 0;
  s.InChunk = false;
  s.InProp = false;
  s.OutputName = DirectoryPart(s.OutputName);
}

void RegisterBlockStatements(TDispatchTable& t) {
  t.Reserve("$FUNC_BEGIN");
  t.Reserve("$FUNC_END");
  t.Reserve("$IF");
  t.Reserve("$ELSE");
  t.Reserve("{");  // inside a conditional
  t.Reserve("}");  // inside a conditional
  t.Reserve("TRE");
  t.Reserve("BLOCK");
  t.Reserve("TREFILE");
  t.Add("IFF", HandleIff);
  t.Add("FORM", HandleForm);
  t.Add("CHUNK", HandleChunk);
  t.Add("CRC32", HandleCrc32);
  t.Add("CRC32FUNC", HandleCrc32Func);
  t.Add("FLOAT", HandleFloat);
  t.Add("LONG", HandleLong);
  t.Add("BYTE", HandleByte);
  t.Add("CSTRING", HandleCString);
  t.Add("CHAR", HandleChar);
  t.Add("FILE", HandleFile);
  t.Add("FILE.Z", HandleFileZ);
  t.Add("{", HandleOpenBrace);
  t.Add("}", HandleCloseBrace);
}
