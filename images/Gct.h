#pragma once
// ".gct" texture files: the 17-byte header written by the model viewer's texture code and
// the compressed texture stream (Compr.h) that follows it.
//
//   bytes 0-7    magic, the 8 characters "CRGB____"
//   bytes 8-11   stored width: the pixels in a stored row, int32 little-endian
//   bytes 12-15  stored height: the number of stored rows, int32 little-endian
//   byte  16     one byte that readers ignore; files written here carry 0
//   bytes 17-    the stream, decoding to stored width × stored height RGB triples (red,
//                green, blue), one stored row after another
//
// The picture is stored transposed: stored row x holds the picture's column x from top to
// bottom, so a picture W pixels wide and H high is stored H wide and W high. The model
// viewer uploads the decoded rows as they are and turns its texture matrix by 90 degrees,
// exactly as for its picture textures, which keep the same transposed layout
// (viewers/GlTexture.h); that is how the textures made for it show upright. WriteGctFile
// and LoadGctFile take and give the picture itself and transpose on the way.
//
// The header reader does not judge the magic: the viewer reports a wrong one and reads on.

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "images/Bitmap.h"
#include "images/Compr.h"

inline constexpr char kGctMagic[9] = "CRGB____";
constexpr size_t kGctHeaderSize = 17;

struct TGctHeader {
  char Magic[8] = {};
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t Extra = 0;

  bool MagicValid() const;
  std::string MagicText() const { return std::string(Magic, 8); }
};

// Reads the 17 header bytes. A file too short raises EInOutError "Read beyond end of file".
TGctHeader ReadGctHeader(std::istream& file);

// Writes a complete ".gct" file (crash-safe) of a picture given as width × height RGB
// triples, top row first: the header says height × width, the stream holds it transposed.
void WriteGctFile(const std::string& path, int width, int height, const uint8_t* rgb,
                  TStreamFormat format);

// Reads a whole ".gct" file into a 24-bit bitmap of the picture (stored height wide, stored
// width high; the stored rows become its columns). Here the header has to be right: a wrong
// magic or a size outside the bitmap's caps raises EInvalidGraphic, and a stream that
// decodes to fewer than width × height × 3 bytes raises EComprError. Before the picture is
// allocated, the size it claims is checked against the stream's uncompressed size and the
// largest output the bytes in the file can give (EComprError). Messages name the file and
// its size. The file must be a regular one (util/FileIo.h).
void LoadGctFile(const std::string& path, TBitmap& bitmap);

// Writes a bitmap (any pixel format) as a ".gct" file.
void SaveGctFile(const std::string& path, const TBitmap& bitmap, TStreamFormat format);
