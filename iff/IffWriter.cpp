#include "iff/IffWriter.h"

#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <limits>

#include "util/Crc32.h"
#include "util/StrTools.h"

namespace {

constexpr int64_t kMaxItemSize = std::numeric_limits<int32_t>::max();

}  // namespace

// ---- TBasicWriter ----------------------------------------------------------------------

int32_t TBasicWriter::GetPosition() const {
  return m_stream ? static_cast<int32_t>(m_stream->Position()) : 0;
}

int32_t TBasicWriter::WriteCompressed(const void* buffer, int32_t count) {
  if (count < 0) count = 0;
  // Room for incompressible input: a tenth more plus 32, and never less than zlib's bound.
  uLongf capacity = static_cast<uLongf>(count * 1.1 + 32);
  capacity = std::max<uLongf>(capacity, compressBound(static_cast<uLong>(count)));
  std::vector<Bytef> out(capacity);  // released also when Write raises
  static const Bytef empty = 0;
  const auto* in = count > 0 ? static_cast<const Bytef*>(buffer) : &empty;
  const int rc = compress(out.data(), &capacity, in, static_cast<uLong>(count));
  if (rc != Z_OK) {
    throw EIffWriter("TIffWriter.WriteCompressed: compression failed (zlib error " +
                     std::to_string(rc) + ")");
  }
  return Write(out.data(), static_cast<int32_t>(capacity));
}

int32_t TBasicWriter::WriteLong(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  return Write(b, 4);
}

int32_t TBasicWriter::WriteFloat(float value) {
  uint32_t v;
  static_assert(sizeof v == sizeof value);
  std::memcpy(&v, &value, 4);
  return WriteLong(static_cast<int32_t>(v));
}

int32_t TBasicWriter::WriteCRC(const std::string& text) {
  return WriteLong(static_cast<int32_t>(StrCrc32(text)));
}

int32_t TBasicWriter::WriteZString(const std::string& text) {
  std::vector<char> bytes(text.begin(), text.end());
  bytes.push_back('\0');
  return Write(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// ---- TIffWriter ------------------------------------------------------------------------

TIffWriter::TIffWriter(const std::string& fileName, uint8_t mode) : TBasicWriter(fileName, mode) {
  if (mode == 0) {
    m_stream = std::make_unique<TMemoryStream>();
  } else if (mode == 1) {
    m_stream = std::make_unique<TFileStream>(fileName, TFileStream::TMode::Create);
  } else {
    throw EIffWriter("TIffWriter.Create (" + fileName + "): Unknown mode " + std::to_string(mode) +
                     "!");
  }
}

TIffWriter::~TIffWriter() {
  if (m_finished) return;
  // Not destroyed properly: an exception passed the caller. The output is incomplete.
  const bool wasFile = m_mode == 1;
  m_stream.reset();
  if (wasFile) {
    std::error_code ec;
    std::filesystem::remove(m_fileName, ec);
  }
}

void TIffWriter::RequireStream(const char* operation) const {
  if (!m_stream) throw EIffWriter(std::string("TIffWriter.") + operation + ": Writer is closed!");
}

void TIffWriter::WriteRaw(const void* data, int64_t count) {
  if (m_stream->Write(data, count) != count) {
    throw EInOutError("Cannot write file \"" + QuotePathForMessage(m_fileName) + "\"");
  }
}

// Bytes are counted in the innermost open FORM only; a FORM hands its total to its parent
// when it closes (CloseForm). The sizes patched are the same as when every enclosing FORM
// is counted at once, but each operation takes constant time however deep the nesting.
void TIffWriter::AddToInnermostForm(int64_t count) {
  if (!m_forms.empty()) m_forms.back().Size += count;
}

void TIffWriter::PatchSize(int32_t offset, int64_t size) {
  const int64_t back = m_stream->Position();
  const auto v = static_cast<uint32_t>(size);
  const uint8_t be[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                         static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  m_stream->Seek(int64_t{offset} + 4);
  WriteRaw(be, 4);
  m_stream->Seek(back);
}

int32_t TIffWriter::OpenForm(TIffId type) {
  RequireStream("OpenForm");
  if (m_chunk) throw EIffWriter("TIffWriter.OpenForm (" + type.Text() + "): Form inside chunk!");
  const int64_t start = m_stream->Position();
  if (start > kMaxItemSize - 12) {
    throw EIffWriter("TIffWriter.OpenForm (" + type.Text() + "): File too large!");
  }
  const uint8_t header[12] = {'F',           'O',           'R',           'M',          4, 0, 0, 0,
                              type.Bytes[0], type.Bytes[1], type.Bytes[2], type.Bytes[3]};
  WriteRaw(header, 12);
  m_forms.push_back(TOpenItem{type, static_cast<int32_t>(start), 4});
  return static_cast<int32_t>(start);
}

int32_t TIffWriter::OpenForm(uint32_t type) { return OpenForm(TIffId::FromInt(type)); }

int32_t TIffWriter::OpenChunk(TIffId name) {
  RequireStream("OpenChunk");
  if (m_forms.empty()) {
    throw EIffWriter("TIffWriter.OpenChunk (" + name.Text() + "): Chunk outside form!");
  }
  if (m_chunk) throw EIffWriter("TIffWriter.OpenChunk (" + name.Text() + "): Chunk inside chunk!");
  const int64_t start = m_stream->Position();
  if (start > kMaxItemSize - 8) {
    throw EIffWriter("TIffWriter.OpenChunk (" + name.Text() + "): File too large!");
  }
  const uint8_t header[8] = {
      name.Bytes[0], name.Bytes[1], name.Bytes[2], name.Bytes[3], 0, 0, 0, 0};
  WriteRaw(header, 8);
  m_chunk = TOpenItem{name, static_cast<int32_t>(start), 0};
  return static_cast<int32_t>(start);
}

int32_t TIffWriter::Write(const void* buffer, int32_t count) {
  RequireStream("Write");
  if (count <= 0) return 0;
  // Refused before writing, so that no size field is left unable to describe its item: no
  // item is larger than the file, which may grow by count, a pad byte and a FORM header.
  if (m_stream->Position() + int64_t{count} + 13 > kMaxItemSize) {
    throw EIffWriter("TIffWriter.Write: Item larger than 2 GB!");
  }
  const int64_t n = m_stream->Write(buffer, count);
  if (m_chunk) m_chunk->Size += n;
  AddToInnermostForm(n);
  if (n != count)
    throw EInOutError("Cannot write file \"" + QuotePathForMessage(m_fileName) + "\"");
  return static_cast<int32_t>(n);
}

int32_t TIffWriter::CloseChunk() {
  RequireStream("CloseChunk");
  if (!m_chunk) throw EIffWriter("TIffWriter.CloseChunk: No open chunk!");
  if (m_chunk->Size % 2) {
    const uint8_t pad = 0;
    WriteRaw(&pad, 1);
    AddToInnermostForm(1);
  }
  PatchSize(m_chunk->Offset, m_chunk->Size);
  AddToInnermostForm(8);
  m_chunk.reset();
  return static_cast<int32_t>(m_stream->Position());
}

int32_t TIffWriter::CloseForm() {
  RequireStream("CloseForm");
  if (m_forms.empty()) throw EIffWriter("TIffWriter.CloseForm: No open form!");
  if (m_chunk) {
    // Closing the FORM around an open chunk would leave the chunk's size unpatched.
    throw EIffWriter("TIffWriter.CloseForm: Chunk " + m_chunk->Id.Text() + " still open!");
  }
  const TOpenItem form = m_forms.back();
  PatchSize(form.Offset, form.Size);
  m_forms.pop_back();
  // The parent gains this FORM's content (Size less the 4 type bytes) and its 12 header bytes.
  AddToInnermostForm(form.Size + 8);
  return static_cast<int32_t>(m_stream->Position());
}

void TIffWriter::Flush() {
  RequireStream("Flush");
  if (auto* mem = dynamic_cast<TMemoryStream*>(m_stream.get())) mem->SaveToFile(m_fileName);
}

void TIffWriter::Destroy() {
  RequireStream("Destroy");
  if (!m_forms.empty()) {
    throw EIffWriter("TIffWriter.Destroy: Form " + m_forms.back().Id.Text() + " still open!");
  }
  Flush();
  m_stream.reset();
  m_finished = true;
}

void TIffWriter::Discard() {
  m_stream.reset();
  m_chunk.reset();
  m_forms.clear();
  m_finished = true;
  std::error_code ec;
  std::filesystem::remove(m_fileName, ec);
}
