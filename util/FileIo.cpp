#include "util/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "util/Exception.h"

std::string SystemErrorText(int err) { return std::strerror(err); }

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw EInOutError(what + " \"" + path + "\": " + SystemErrorText(err));
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("Cannot open file", path, errno);
  std::vector<uint8_t> data;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    data.reserve(static_cast<size_t>(st.st_size));
  }
  uint8_t buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      Fail("Cannot read file", path, err);
    }
    if (n == 0) break;
    data.insert(data.end(), buf, buf + n);
  }
  ::close(fd);
  return data;
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& path, TFileSync sync) : m_path(path), m_sync(sync) {
  m_tempPath = path + ".tmp-XXXXXX";
  std::vector<char> name(m_tempPath.begin(), m_tempPath.end());
  name.push_back('\0');
  m_fd = ::mkstemp(name.data());
  if (m_fd < 0) Fail("Cannot create file", path, errno);
  m_tempPath = name.data();
  ::fchmod(m_fd, 0644);
}

TAtomicFileWriter::~TAtomicFileWriter() {
  if (m_fd >= 0) {
    ::close(m_fd);
    ::unlink(m_tempPath.c_str());
  }
}

void TAtomicFileWriter::Write(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(m_fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", m_path, errno);
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
}

void TAtomicFileWriter::Commit() {
  if (m_sync == TFileSync::Durable && ::fsync(m_fd) != 0) Fail("Cannot write file", m_path, errno);
  if (::close(m_fd) != 0) {
    m_fd = -1;
    const int err = errno;
    ::unlink(m_tempPath.c_str());
    Fail("Cannot close file", m_path, err);
  }
  m_fd = -1;
  if (::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
    const int err = errno;
    ::unlink(m_tempPath.c_str());
    Fail("Cannot replace file", m_path, err);
  }
}

void WriteFileAtomic(const std::string& path, const void* data, size_t size, TFileSync sync) {
  TAtomicFileWriter w(path, sync);
  w.Write(data, size);
  w.Commit();
}
