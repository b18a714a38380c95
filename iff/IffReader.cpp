#include "iff/IffReader.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <limits>
#include <mutex>

namespace {

constexpr int64_t kMaxOffset = std::numeric_limits<int32_t>::max();

// The table is process-wide; a slot holds the scan of a handle in use, none when free. The
// lock only keeps concurrent handle allocation sound; a handle itself is used by one caller
// at a time.
std::array<std::unique_ptr<TIffScanner>, kIffMaxHandles> g_handles;
std::mutex g_handlesLock;

TIffScanner& Entry(int handle) {
  if (handle < 1 || handle > kIffMaxHandles || !g_handles[handle - 1]) {
    throw EIffReader("IffReader: Invalid handle " + std::to_string(handle) + "!");
  }
  return *g_handles[handle - 1];
}

// Puts `scanner` in the first free slot; its handle.
int TakeHandle(std::unique_ptr<TIffScanner> scanner) {
  std::lock_guard lock(g_handlesLock);
  for (int i = 0; i < kIffMaxHandles; ++i) {
    if (!g_handles[i]) {
      g_handles[i] = std::move(scanner);
      return i + 1;
    }
  }
  throw EIffReader_NoFreeFileHandles(
      "EIffReader_NoFreeFileHandles: No free file handles! Cannot open stream");
}

std::string Hex(int64_t value, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*" PRIX64, digits, static_cast<uint64_t>(value));
  return buf;
}

uint32_t BigEndian(const uint8_t* b) {
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

bool IsForm(const TIffId& id) { return id == TIffId("FORM"); }

// The size as stored in headers and the tree: rounded up to even, capped at 2^31 - 1.
int32_t StoredSize(int64_t rounded) {
  return static_cast<int32_t>(std::min<int64_t>(rounded, kMaxOffset));
}

}  // namespace

int IffRegisterStream(TStream* stream) {
  return TakeHandle(std::make_unique<TIffScanner>(*stream));
}

int IffOpenFile(const std::string& fileName) {
  return TakeHandle(std::make_unique<TIffScanner>(
      std::make_unique<TFileStream>(fileName, TFileStream::TMode::OpenRead)));
}

bool IffRewind(int handle) {
  std::lock_guard lock(g_handlesLock);
  return Entry(handle).Rewind();
}

bool IffReadItemHeader(int handle, TIffItemHeader& header) {
  std::lock_guard lock(g_handlesLock);
  return Entry(handle).ReadItemHeader(header);
}

bool IffFindItem(int handle, TIffItemHeader& header, TIffId name) {
  std::lock_guard lock(g_handlesLock);
  return Entry(handle).FindItem(header, name);
}

void IffCloseHandle(int handle) {
  std::unique_ptr<TIffScanner> released;
  {
    std::lock_guard lock(g_handlesLock);
    Entry(handle);  // raises for a handle not in use
    released = std::move(g_handles[handle - 1]);
  }
  // The scan, and with it a stream it owns, goes outside the lock.
}

TIffHandle::TIffHandle(const std::string& fileName) : m_handle(IffOpenFile(fileName)) {
  std::lock_guard lock(g_handlesLock);
  m_scanner = &Entry(m_handle);
}

TIffHandle::TIffHandle(TStream& stream) : m_handle(IffRegisterStream(&stream)) {
  std::lock_guard lock(g_handlesLock);
  m_scanner = &Entry(m_handle);
}

TIffHandle::~TIffHandle() {
  // Held since construction, so releasing it cannot fail; should it ever, a destructor
  // running while a scan error unwinds must not throw again.
  try {
    IffCloseHandle(m_handle);
  } catch (...) {}
}

bool TIffScanner::ReadItemHeader(TIffItemHeader& header) {
  const int64_t start = m_position;
  if (start > kMaxOffset) return false;  // beyond what an item offset can express
  TStream& s = *m_stream;
  uint8_t id[4] = {0, 0, 0, 0};
  s.Seek(start);
  if (s.Read(id, 4) < 4) return false;
  const TIffId name = TIffId::FromBytes(id);

  if (IsForm(name)) {
    uint8_t size[4] = {0, 0, 0, 0};
    s.Read(size, 4);  // a short read shows up as the type read failing
    uint8_t type[4] = {0, 0, 0, 0};
    if (s.Read(type, 4) < 4) {
      throw EIffReader_ErrorInForm("EIffReader_ErrorInForm: Error in Form \"" +
                                   TIffId::FromBytes(type).Text() + "\" at offset " +
                                   Hex(start, 0));
    }
    const int64_t rounded = (int64_t{BigEndian(size)} + 1) & ~int64_t{1};
    header.Name = TIffId::FromBytes(type);
    header.Offset = static_cast<int32_t>(start);
    header.Size = StoredSize(rounded);
    header.FullSize = rounded;
    header.HeaderLen = 12;
    m_position = start + 12;
    return true;
  }

  if (id[0] == 0) {
    m_position = start + 4;
    return false;
  }

  uint8_t size[4];
  if (s.Read(size, 4) < 4) {
    throw EIffReader_ErrorInChunk("EIffReader_ErrorInChunk: Error in Chunk \"" + name.Text() +
                                  "\" at offset " + Hex(start, 0));
  }
  const int64_t rounded = (int64_t{BigEndian(size)} + 1) & ~int64_t{1};
  header.Name = name;
  header.Offset = static_cast<int32_t>(start);
  header.Size = StoredSize(rounded);
  header.FullSize = rounded;
  header.HeaderLen = 8;
  // 64-bit arithmetic: a size near 2^32 carries the position past kMaxOffset, where the
  // next call ends the scan, instead of wrapping back into the file.
  m_position = start + 8 + rounded;
  return true;
}

bool TIffScanner::FindItem(TIffItemHeader& header, TIffId name) {
  while (ReadItemHeader(header)) {
    if (header.Name == name) return true;
  }
  header.Offset = -1;
  header.Size = -1;
  return false;
}

// ---- Item tree -------------------------------------------------------------------------

TForm::~TForm() {
  // Take the subtree apart level by level: each form is destroyed only after its child
  // forms have been moved to the work list, so no destructor call nests inside another.
  std::vector<std::unique_ptr<TForm>> pending = std::move(Forms);
  while (!pending.empty()) {
    std::unique_ptr<TForm> form = std::move(pending.back());
    pending.pop_back();
    for (auto& child : form->Forms) pending.push_back(std::move(child));
    form->Forms.clear();
  }
}

// ---- Tree reader -----------------------------------------------------------------------

TIffReader::TIffReader(const std::string& fileName) : m_ownsStream(true), m_fileName(fileName) {
  // Opened for reading only: the reader never writes, and a read-only file must be readable.
  m_ownedStream = std::make_unique<TFileStream>(fileName, TFileStream::TMode::OpenRead);
  m_stream = m_ownedStream.get();
  Parse();
}

TIffReader::TIffReader(TStream& stream, const std::string& fileName)
    : m_ownsStream(false), m_fileName(fileName), m_stream(&stream) {
  Parse();
}

TIffReader::~TIffReader() = default;

namespace {

bool Inside(const TForm& form, const TIffItemHeader& item) {
  const int64_t start = form.Offset;
  return start < item.Offset && item.Offset < start + 8 + int64_t{form.Size};
}

}  // namespace

void TIffReader::Parse() {
  m_root = std::make_unique<TForm>();
  // A handle of the table while parsing, as the scanner's other users take them: the
  // reader needs a free one.
  const TIffHandle handle(*m_stream);
  TIffScanner& scan = handle.Scan();
  scan.Rewind();

  TIffItemHeader item;
  if (!scan.ReadItemHeader(item)) {
    throw EIffReader("TIffReader: " + m_fileName + "not a valid .iff file!");
  }
  m_root->Name = item.Name;
  m_root->Offset = item.Offset;
  m_root->Size = item.Size;
  m_root->FullSize = item.FullSize;
  m_rootIsForm = item.HeaderLen == 12;

  TForm* current = m_root.get();
  while (scan.ReadItemHeader(item)) {
    while (!Inside(*current, item)) {
      current = current->Parent;
      if (current == nullptr) {
        throw EIffReader("TIffReader: " + m_fileName + ", error at offset " + Hex(item.Offset, 8) +
                         "!");
      }
    }
    if (item.HeaderLen == 12) {
      auto form = std::make_unique<TForm>();
      form->Name = item.Name;
      form->Offset = item.Offset;
      form->Size = item.Size;
      form->FullSize = item.FullSize;
      form->Parent = current;
      current->Forms.push_back(std::move(form));
      current = current->Forms.back().get();
    } else {
      auto chunk = std::make_unique<TChunk>();
      chunk->Name = item.Name;
      chunk->Offset = item.Offset;
      chunk->Size = item.Size;
      chunk->FullSize = item.FullSize;
      chunk->Parent = current;
      current->Chunks.push_back(std::move(chunk));
    }
  }
  m_currentForm = m_root.get();
  m_currentChunk = nullptr;
}

bool TIffReader::FormExists(TIffId type) const {
  for (const auto& f : m_currentForm->Forms) {
    if (f->Name == type) return true;
  }
  return false;
}

bool TIffReader::ChunkExists(TIffId name) const {
  for (const auto& c : m_currentForm->Chunks) {
    if (c->Name == name) return true;
  }
  return false;
}

void TIffReader::OpenForm(TIffId type) {
  if (m_currentChunk) {
    throw EIffReader("TIffReader: Attempt to open new form, but chunk " +
                     m_currentChunk->Name.Text() + " is still open!");
  }
  for (const auto& f : m_currentForm->Forms) {
    if (f->Name == type) {
      m_currentForm = f.get();
      return;
    }
  }
  throw EIffReader("TIffReader: Form (" + type.Text() + ") doesn't exist!");
}

void TIffReader::CloseForm() {
  if (m_currentChunk) {
    throw EIffReader("TIffReader: Attempt to close form, but chunk " + m_currentChunk->Name.Text() +
                     " is still open!");
  }
  if (m_currentForm->Parent == nullptr) throw EIffReader("TIffReader: Cannot close last form!");
  m_currentForm = m_currentForm->Parent;
}

void TIffReader::OpenChunk(TIffId name) {
  const auto& chunks = m_currentForm->Chunks;
  for (size_t i = 0; i < chunks.size(); ++i) {
    if (chunks[i]->Name == name) {
      m_stream->Seek(int64_t{chunks[i]->Offset} + 8);
      m_currentForm->ChunkIndex = static_cast<int32_t>(i);
      m_currentChunk = chunks[i].get();
      return;
    }
  }
  m_currentForm->ChunkIndex = -1;
  throw EIffReader("TIffReader[Form: " + m_currentForm->Name.Text() + "]: Chunk (" + name.Text() +
                   ") doesn't exist!");
}

void TIffReader::CloseChunk() {
  if (!m_currentChunk) throw EIffReader("TIffReader: No chunk is open!");
  m_currentChunk = nullptr;
}

int32_t TIffReader::Read(void* buffer, int32_t count) {
  if (!m_currentChunk) throw EIffReader("TIffReader: Must open chunk before reading!");
  if (count <= 0) return 0;
  const int64_t used = m_stream->Position() - m_currentChunk->Offset - 8;
  if (used + count > m_currentChunk->Size)
    throw EIffReader("TIffReader: Read beyond end of chunk!");
  return static_cast<int32_t>(m_stream->Read(buffer, count));
}

int32_t TIffReader::ReadLong(int32_t& value) {
  uint8_t b[4] = {0, 0, 0, 0};
  const int32_t n = Read(b, 4);
  value = static_cast<int32_t>(uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) |
                               (uint32_t{b[3]} << 24));
  return n;
}

int32_t TIffReader::ReadZString(std::string& text) {
  if (!m_currentChunk) throw EIffReader("TIffReader: Must open chunk before reading!");
  std::string result;
  // The bound check of Read runs before every byte, so a chunk without a zero byte ends in
  // "Read beyond end of chunk!" once it is exhausted.
  for (;;) {
    char c = 0;
    if (Read(&c, 1) < 1 || c == 0) break;
    result.push_back(c);
  }
  text = std::move(result);
  return static_cast<int32_t>(text.size());
}

int32_t TIffReader::GetPosition() const {
  if (!m_currentChunk) throw EIffReader("TIffReader: Must open chunk before seeking!");
  return static_cast<int32_t>(m_stream->Position() - m_currentChunk->Offset);
}

int32_t TIffReader::GetSize() const {
  return m_currentChunk ? m_currentChunk->Size : m_currentForm->Size;
}
