#include "iff/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Platform.h"
#include "util/StrTools.h"

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw EInOutError(what + " \"" + QuotePathForMessage(path) + "\": " + SystemErrorText(err));
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, TMode mode) : m_fileName(fileName) {
  if (mode == TMode::OpenRead) {
    // Without blocking, and only regular files: util/FileIo.h.
    m_fd = TInputFile(fileName).Release();
    return;
  }
  // A stream written in place cannot be crash-safe, but it never replaces what is not a
  // regular file either.
  if (mode == TMode::Create) CheckOutputTarget(fileName);
  m_fd = platform::OpenReadWrite(fileName, mode == TMode::Create);
  if (m_fd < 0)
    Fail(mode == TMode::Create ? "Cannot create file" : "Cannot open file", fileName, errno);
  platform::TFileStatus st;
  if (platform::StatFd(m_fd, st) == 0 && st.Kind != platform::TFileKind::Regular) {
    platform::Close(m_fd);
    m_fd = -1;
    throw EInOutError("Cannot open file \"" + QuotePathForMessage(fileName) + "\": it is " +
                      platform::FileKindText(st.Kind) + ", not a regular file");
  }
}

TFileStream::~TFileStream() {
  if (m_fd >= 0) platform::Close(m_fd);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = platform::ReadAt(m_fd, p + done, static_cast<size_t>(count - done),
                                       static_cast<uint64_t>(m_pos + done));
    if (n < 0) {
      Fail("Cannot read file", m_fileName, errno);
    }
    if (n == 0) break;
    done += n;
  }
  m_pos += done;
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto* p = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = platform::WriteAt(m_fd, p + done, static_cast<size_t>(count - done),
                                        static_cast<uint64_t>(m_pos + done));
    if (n < 0) {
      Fail("Cannot write file", m_fileName, errno);
    }
    done += n;
  }
  m_pos += done;
  return done;
}

int64_t TFileStream::Seek(int64_t pos) {
  if (pos < 0) Fail("Cannot seek in file", m_fileName, EINVAL);
  m_pos = pos;
  return m_pos;
}

int64_t TFileStream::Size() const {
  platform::TFileStatus st;
  if (platform::StatFd(m_fd, st) != 0) Fail("Cannot read file", m_fileName, errno);
  return static_cast<int64_t>(st.Size);
}

TMemoryStream::TMemoryStream(const void* data, size_t size) {
  if (size > 0) {
    const auto* p = static_cast<const uint8_t*>(data);
    m_data.assign(p, p + size);
  }
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || m_pos >= Size()) return 0;
  const int64_t n = std::min(count, Size() - m_pos);
  std::memcpy(buffer, m_data.data() + m_pos, static_cast<size_t>(n));
  m_pos += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto end = static_cast<size_t>(m_pos + count);
  if (end > m_data.size()) m_data.resize(end);  // a gap left by a seek past the end reads as zeros
  std::memcpy(m_data.data() + m_pos, buffer, static_cast<size_t>(count));
  m_pos += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t pos) {
  if (pos < 0) throw EInOutError("Cannot seek in memory stream to " + std::to_string(pos));
  m_pos = pos;
  return m_pos;
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  static const uint8_t empty = 0;
  WriteFileAtomic(fileName, m_data.empty() ? &empty : m_data.data(), m_data.size());
}
