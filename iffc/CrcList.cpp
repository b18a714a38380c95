#include "iffc/CrcList.h"

#include "iffc/CompilerState.h"
#include "iffc/ScriptText.h"
#include "util/FileIo.h"
#include "util/Paths.h"

namespace {

// Lines are gathered and written in large pieces: a CRC32 element is one of the compiler's
// hot statements and must not cost a system call each.
constexpr size_t kFlushBytes = 64 * 1024;

}  // namespace

TCrcList::TCrcList() = default;

TCrcList::~TCrcList() = default;

std::string TCrcList::ResolvePath(const std::string& name, const std::string& searchPath) {
  return MapFixedPath(HasPathSeparator(name) ? name : searchPath + name);
}

void TCrcList::Open(const std::string& path) {
  Close();
  m_writer = std::make_unique<TAtomicFileWriter>(path);
  m_path = path;
}

void TCrcList::Close() {
  if (!m_writer) return;
  // The writer is released whatever happens, so a failed close never leaves the list
  // half-open for the next statement.
  std::unique_ptr<TAtomicFileWriter> writer = std::move(m_writer);
  std::string pending = std::move(m_buffer);
  m_buffer.clear();
  if (!pending.empty()) writer->Write(pending.data(), pending.size());
  writer->Commit();
}

void TCrcList::WriteCrcListLine(std::string_view text) {
  if (!m_writer) return;
  m_buffer.append(text);
  m_buffer.append("\r\n");
  if (m_buffer.size() >= kFlushBytes) Flush();
}

void TCrcList::Flush() {
  if (m_buffer.empty()) return;
  m_writer->Write(m_buffer.data(), m_buffer.size());
  m_buffer.clear();
}

namespace {

// $CRC_OUT [FILE]
void HandleCrcOut(TCompilerState& s, const TStatement& st) {
  s.CrcList.Close();
  const std::string name(st.Tokens.Get(1));
  if (name.empty()) return;
  const std::string path = TCrcList::ResolvePath(name, s.SearchPath);
  Report("writing CRCs to: " + path);
  s.CrcList.Open(path);
}

}  // namespace

void RegisterCrcListStatements(TDispatchTable& frontEnd) {
  frontEnd.Register("$CRC_OUT", HandleCrcOut);
}

void WriteCrcListLine(TCompilerState& s, std::string_view text) {
  s.CrcList.WriteCrcListLine(text);
}
