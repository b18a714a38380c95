#pragma once
// The CRC list: a text file that receives the text of every CRC32 element of a compiled
// script, one per line ended by CR LF, in script order, so that the names behind the
// checksums in a compiled file can be looked up later.
//
// The list is written crash-safely: lines collect in a temporary file beside the target,
// which replaces the target when the list is closed. A run that dies before closing the
// list leaves the previous list untouched.

#include <memory>
#include <string>
#include <string_view>

class TAtomicFileWriter;
class TDispatchTable;

class TCrcList {
public:
  TCrcList();
  ~TCrcList();
  TCrcList(const TCrcList&) = delete;
  TCrcList& operator=(const TCrcList&) = delete;

  // The file a "$CRC_OUT NAME" opens: a name without a directory separator ("\" or "/")
  // lies in `searchPath`; "\" becomes "/" and a leading "C:\" names the home folder.
  static std::string ResolvePath(const std::string& name, const std::string& searchPath);

  // Closes the open list (if any), then creates `path`, empty. Raises EInOutError when the
  // file cannot be created.
  void Open(const std::string& path);
  // Finishes the list and puts it in place; without an open list nothing happens.
  // Raises EInOutError when the file cannot be written.
  void Close();
  bool IsOpen() const { return m_writer != nullptr; }
  const std::string& Path() const { return m_path; }

  // Appends `text` and CR LF while the list is open (`WriteCrcListLine`).
  void WriteCrcListLine(std::string_view text);

private:
  void Flush();

  std::unique_ptr<TAtomicFileWriter> m_writer;
  std::string m_path;
  std::string m_buffer;
};

// Fills the handler of «$CRC_OUT FILE»: closes the open list, then, with a FILE, opens the
// new one (a bare name lies in SearchPath) and reports «writing CRCs to: PATH». Without a
// FILE the statement only closes the list. The list is also closed by FinishOutput (the
// next IFF or TRE line) and at the end of the run, so "$CRC_OUT" goes after the IFF or TRE
// line it belongs to.
void RegisterCrcListStatements(TDispatchTable& frontEnd);
