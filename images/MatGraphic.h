#pragma once
// MAT pictures: IFF containers (iff/IffReader.h) holding one frame and its palette.
//
//   FORM BITM
//     FORM "PAL " (optional)        palette for the whole picture
//     FORM FRAM
//       INFO  Width, Height (int32; files written here add a third int32, 4)   8-bit frame
//       or COMP Width, Height, FBPP (int32; 1 or 2)                             compressed frame
//       FORM "PAL " (optional, wins over the one in BITM)
//         CMAP  red, green, blue per entry; or NAME: a zero-terminated palette name
//       PXLS  Height rows of Width palette indices (with INFO)
//       YTAB  one int32 per row: where the row's codes end in the RLE data (with COMP; in
//             2-byte units for FBPP 2)
//       "RLE " the run-length codes of all rows (with COMP)
// A NAME palette is the IFF file <palette directory><name trimmed of blanks and control
// characters>.pal whose root FORM holds a CMAP. Run-length codes are a code and a count
// (bytes for FBPP 1, 16-bit little-endian for FBPP 2): 0 = literal of count values,
// 1 = run of count copies of one value, 2 = skip count pixels (they stay 0). FBPP 1 values
// are palette indices (8-bit picture); FBPP 2 values index a large palette and give a 24-bit
// picture (blue, green, red).
//
// Contract on bad input: every row, run, literal and skip is bounded by the row and the
// image, every read by the chunk; nothing is written outside the bitmap.
//  - Dimensions outside the bitmap's caps: EInvalidGraphic before any allocation.
//  - Memory follows the data: before the picture is allocated, its width x height is
//    checked against the most pixels the PXLS or "RLE " chunk's bytes can give (one per
//    byte stored; 255 per 2-byte code, 65,535 per 4-byte code with FBPP 2), and a pixel
//    chunk that the file ends before is refused as cut off (EInvalidGraphic).
//  - A literal, run value or code cut off by the end of the RLE data: EIffReader
//    "TIffReader: Read beyond end of chunk!", as a read through the reader would give.
//  - The messages of these checks and of a size beyond the caps start with the file name.
//  - YTAB offsets out of order or out of range simply never match: rows then end only when
//    their column passes the width.
//  - A CMAP of more than 256 entries (FBPP 1) gives the first 256; one of more than
//    393,213 bytes (FBPP 2) gives the first 131,071 entries. An FBPP 2 index beyond the
//    palette's entries, or with no palette at all, gives black.
//  - A NAME with a "/" or "\" in it is refused (EInvalidGraphic): palettes come only from
//    the palette directory.
//  - An unknown run-length code is passed to the unknown-code reporter and decoding goes on.

#include <functional>
#include <string>
#include <vector>

#include "iff/Stream.h"
#include "images/Bitmap.h"

class TIffReader;

// Who hears of an unknown run-length code (its decimal number).
using TUnknownCodeReporter = std::function<void(int code)>;

class TMATGraphic : public TBitmap {
public:
  bool Compressed = false;      // from the frame header: INFO false, COMP true
  int32_t FBPP = 1;             // 1: 8-bit indices; 2: 16-bit indices into the large palette
  bool SaveCompressed = false;  // set by the pixel reader; chooses the layout of SaveMatFile

  // Hears of unknown run-length codes; when empty, "<code>" goes to standard error.
  TUnknownCodeReporter OnUnknownCode;
  // The folder of the external palettes, with a trailing "/"; when empty, the program
  // folder's "pal/" (ExeDirectory() + "pal/").
  std::string PaletteDirectory;

  void LoadMatFile(const std::string& fileName);
  // The same on a container that is already parsed (the reader's current form must be its
  // root); for callers that hold the bytes in memory, such as the fuzz target.
  void LoadMatFromReader(TIffReader& reader);
  // Always raises Exception "Cannot load MAT from stream".
  [[noreturn]] void LoadMatStream(TStream& stream);
  // Writes the picture as MAT (the bitmap becomes 8 bits per pixel first): PXLS, or with
  // SaveCompressed YTAB and "RLE " of literal and run codes. The CMAP always has 256
  // entries; entries the bitmap's palette lacks are black. Crash-safe.
  void SaveMatFile(const std::string& fileName);

private:
  void CheckPixelData(TIffReader& reader, int32_t width, int32_t height);
  void ReadPalette(TIffReader& reader);
  void ReadPxls(TIffReader& reader);
  void ReadRle(TIffReader& reader);
  void ReportUnknown(int code);

  // FBPP 2 only, from the palette read to the end of the pixel decoding: red, green, blue
  // per entry.
  std::vector<uint8_t> m_largePalette;
  bool m_hasLargePalette = false;
};

// The colours of a palette file (an IFF container whose root FORM holds a CMAP, as the
// NAME palettes above and the program folder's pal/ are): the first 256 entries. A file
// that is not such a container raises the reader's errors; a CMAP of fewer than 3 bytes
// raises EInvalidGraphic "<file>: the palette has no colours".
std::vector<TPaletteEntry> LoadPaletteFile(const std::string& fileName);
// The same on a container that is already parsed (its root form current).
std::vector<TPaletteEntry> LoadPaletteFromReader(TIffReader& reader);
