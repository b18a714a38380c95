#pragma once
// Reading IFF containers: nested FORMs that hold chunks.
//
// Format: every item starts with a 4-byte identifier and a 32-bit big-endian size. "FORM"
// items hold a 4-byte type and then nested items; the FORM's size counts the type and every
// nested item with its pad byte. Any other identifier is a chunk whose size counts its data
// bytes; an odd chunk is followed by one pad byte. An identifier whose first byte is zero
// ends the items, so trailing zero bytes are harmless. Values inside chunks are
// little-endian.
//
// Two readers on one scanner:
//  - TIffScanner: one scan position that walks every FORM and chunk of a file in file
//    order, depth first; the handle table (IffOpenFile ... IffCloseHandle) numbers 32 of
//    them for the whole process, and TIffHandle holds one of its handles;
//  - TIffReader: parses the whole file into a tree of TForm/TChunk at construction and lets
//    the caller walk it by name.
//
// On bad files: no read outside the file and no unbounded recursion. Size fields are taken
// as unsigned 32-bit values, so a scan always moves forward (by 8 bytes at least over a
// chunk, 12 over a FORM); a rounded size above 2^31 - 1 is reported as 0x7FFFFFFF, and a scan
// whose next item would start beyond offset 2^31 - 1 ends there. A chunk whose data runs past the
// end of the file is not an error of the scanner: a read of its data simply comes back short. Files
// longer than 2 GiB are scanned up to the first item that starts beyond 2^31 - 1.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "iff/IffId.h"
#include "iff/Stream.h"
#include "util/Exception.h"

// Every error of TIffReader itself.
TESSAVOR_DECLARE_EXCEPTION(EIffReader);
// Errors of the scanner.
TESSAVOR_DECLARE_EXCEPTION(EIffReader_NoFreeFileHandles);
TESSAVOR_DECLARE_EXCEPTION(EIffReader_ErrorInChunk);
TESSAVOR_DECLARE_EXCEPTION(EIffReader_ErrorInForm);

// The scanner's record of one item.
struct TIffItemHeader {
  TIffId Name;            // chunk identifier, or for a FORM its type
  int32_t Offset = 0;     // file offset of the item's identifier
  int32_t Size = 0;       // the size field rounded up to even (a chunk's data includes its pad)
  int32_t HeaderLen = 0;  // 8 for a chunk, 12 for a FORM
  int64_t FullSize = 0;   // the size field rounded up to even, never capped (for messages)
};

// ---- Scanner -------------------------------------------------------------------------

// One scan over a stream, in file order, depth first: its position, and the stream itself
// when the scan was opened on a file.
class TIffScanner {
public:
  // Scans `stream`, which the caller keeps owning and alive.
  explicit TIffScanner(TStream& stream) : m_stream(&stream) {}
  // Scans the stream it is given and frees it when it goes.
  explicit TIffScanner(std::unique_ptr<TStream> stream)
      : m_ownedStream(std::move(stream)), m_stream(m_ownedStream.get()) {}

  bool OwnsStream() const { return m_ownedStream != nullptr; }
  // Restarts the scan at offset 0. Returns true.
  bool Rewind() {
    m_position = 0;
    return true;
  }
  // Reads the item header at the scan position and advances: into a FORM (past its type),
  // or over a chunk and its pad byte. False at the end of the items (fewer than 4 bytes
  // left, or an identifier starting with a zero byte). EIffReader_ErrorInForm when a FORM's
  // type cannot be read, EIffReader_ErrorInChunk when a chunk's size cannot be read.
  bool ReadItemHeader(TIffItemHeader& header);
  // Reads item headers until one has `name` (a FORM matches by its type). False with
  // Offset = Size = -1 when the items end first.
  bool FindItem(TIffItemHeader& header, TIffId name);

private:
  std::unique_ptr<TStream> m_ownedStream;
  TStream* m_stream = nullptr;
  int64_t m_position = 0;
};

// ---- Handle table ----------------------------------------------------------------------
// The program's 32 numbered scans: each slot holds a TIffScanner while its handle is in
// use. Handles are 1..32; 0 is never a handle. A handle that is out of range or not in use
// raises EIffReader ("IffReader: Invalid handle N!"). Code that takes a handle holds it in
// a TIffHandle, which releases it however the scan ends.

constexpr int kIffMaxHandles = 32;

// Opens the file for reading (other openers may read and write) and registers it as by
// IffRegisterStream; the table frees the stream when the handle is released. The stream
// layer's error when the file cannot be opened; EIffReader_NoFreeFileHandles when all 32
// handles are in use (the file is closed again then).
int IffOpenFile(const std::string& fileName);
// Takes the first free entry (1, 2, ... 32) for `stream`, which the caller keeps owning.
int IffRegisterStream(TStream* stream);
// TIffScanner's Rewind, ReadItemHeader and FindItem on the handle's scan.
bool IffRewind(int handle);
bool IffReadItemHeader(int handle, TIffItemHeader& header);
bool IffFindItem(int handle, TIffItemHeader& header, TIffId name);
// Frees the entry (and the stream when the table owns it).
void IffCloseHandle(int handle);

// A handle of the table owned by an object: taken at construction (as IffOpenFile or
// IffRegisterStream, with their errors), released when the object goes.
class TIffHandle {
public:
  explicit TIffHandle(const std::string& fileName);
  explicit TIffHandle(TStream& stream);
  ~TIffHandle();
  TIffHandle(const TIffHandle&) = delete;
  TIffHandle& operator=(const TIffHandle&) = delete;

  int Number() const { return m_handle; }
  TIffScanner& Scan() const { return *m_scanner; }

private:
  int m_handle;
  TIffScanner* m_scanner;  // the table's, for as long as the handle is held
};

// ---- Item tree -------------------------------------------------------------------------

class TForm;

class TIffItem {
public:
  TIffId Name;
  int32_t Offset = 0;
  int32_t Size = 0;
  int64_t FullSize = 0;     // Size before the cap at 2^31 - 1 (for listings and messages)
  TForm* Parent = nullptr;  // none for the root
};

class TChunk : public TIffItem {};

// A FORM owns its children. Destroying it destroys the whole subtree without recursion, so
// a file of a million nested FORMs cannot overflow the stack.
class TForm : public TIffItem {
public:
  TForm() = default;
  ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  std::vector<std::unique_ptr<TChunk>> Chunks;  // file order
  std::vector<std::unique_ptr<TForm>> Forms;    // file order
  int32_t ChunkIndex = -1;  // index found by the last OpenChunk lookup here, -1 when it failed
};

// ---- Tree reader -----------------------------------------------------------------------
//
// Failed operations raise EIffReader and leave the current form and chunk as they were.
// A constructor that fails releases its handle, stream and tree.
class TIffReader {
public:
  // Opens the file for reading (Create) and parses it. The stream layer's error when it
  // cannot be opened; "TIffReader: <file>not a valid .iff file!" when it holds no item;
  // "TIffReader: <file>, error at offset XXXXXXXX!" for an item outside the first one;
  // the scanner's errors. Needs one free scan handle while parsing.
  explicit TIffReader(const std::string& fileName);
  // Parses `stream`, which the caller keeps owning and must keep alive; `fileName` only
  // names it in messages.
  TIffReader(TStream& stream, const std::string& fileName);
  ~TIffReader();
  TIffReader(const TIffReader&) = delete;
  TIffReader& operator=(const TIffReader&) = delete;

  bool FormExists(TIffId type) const;
  bool ChunkExists(TIffId name) const;
  void OpenForm(TIffId type);
  void CloseForm();
  // Opens the first child chunk of the current form with this name (replacing an open
  // chunk) and positions the stream at its data.
  void OpenChunk(TIffId name);
  void CloseChunk();
  // Reads `count` bytes of the open chunk at the current position. Allowed when the read
  // stays within the chunk's rounded Size; returns the bytes actually read (short at the
  // end of the file). A count of 0 or less reads nothing.
  int32_t Read(void* buffer, int32_t count);
  // A little-endian 32-bit value; returns the bytes read. Bytes missing at the end of the
  // file count as zero in `value`.
  int32_t ReadLong(int32_t& value);
  // Bytes up to a zero byte (or the end of the file); returns the number of characters.
  int32_t ReadZString(std::string& text);
  // Stream position minus the open chunk's Offset: 8 right after OpenChunk.
  int32_t GetPosition() const;
  // Size of the open chunk, or of the current form (counting its type) with none open.
  int32_t GetSize() const;

  // Bytes in the file (the stream) being read: what a chunk's data can really hold.
  int64_t StreamSize() const { return m_stream->Size(); }
  bool OwnsStream() const { return m_ownsStream; }
  const std::string& FileName() const { return m_fileName; }
  const TForm& Root() const { return *m_root; }
  // Whether the first item of the file, which becomes Root whatever it is, is a FORM.
  bool RootIsForm() const { return m_rootIsForm; }
  const TForm& CurrentForm() const { return *m_currentForm; }
  const TChunk* CurrentChunk() const { return m_currentChunk; }

private:
  void Parse();

  bool m_ownsStream = false;
  bool m_rootIsForm = true;
  std::string m_fileName;
  std::unique_ptr<TForm> m_root;
  std::unique_ptr<TStream> m_ownedStream;
  TStream* m_stream = nullptr;  // the read stream
  TForm* m_currentForm = nullptr;
  TChunk* m_currentChunk = nullptr;
};
