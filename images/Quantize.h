#pragma once
// Palette reduction: true-colour pixels to a palette of at most 256 entries and one index
// per pixel. TBitmap::SetPixelFormat(8) uses it for every picture saved in a palette format
// (MAT, LIF), and so does every texture the import writes.
//
// The method is the one the best quantizers share:
//  1. A histogram of the picture's colours: every distinct colour while there are at most
//     kMaxHistogramColours of them (in at most 2^15 cells of a grid of 6 bits a channel),
//     else the cells of that grid, each standing for the mean of its own pixels (not for the
//     cell's centre).
//  2. A variance-minimising split (Wan, Wong and Prusinkiewicz 1988; Wu 1991): starting
//     from one box of all histogram entries, the box whose best cut removes the most squared
//     error is cut, on the axis and at the place that remove the most, until there are
//     min(256, histogram entries) boxes. Each box's weighted mean is its first entry.
//  3. Lloyd iterations (k-means) of the entries over the histogram, which finish what the
//     greedy split leaves short of a local optimum.
//  4. Every pixel mapped to its nearest entry; with Dither, Floyd-Steinberg error diffusion
//     in serpentine order.
// The error measured throughout is the plain squared distance in red, green and blue, the
// one PSNR takes: a perceptual weighting moves entries towards what the eye notices at the
// cost of that number, and game textures are judged by it when they are compared with their
// sources.
//
// Contracts:
//  - Pixels: width × height pixels of bytesPerPixel (3 or 4) bytes each, blue, green, red
//    (a fourth byte is ignored), rows top row first without padding. Other sizes raise
//    EInvalidGraphic before anything is read.
//  - No fixed palette and at most 256 distinct colours: the palette is exactly those colours,
//    most frequent first (equal counts by colour value), and every pixel keeps its colour;
//    Dither changes nothing.
//  - No fixed palette and more than 256 distinct colours: 256 distinct entries. Without
//    Dither every entry is the index of at least one pixel.
//  - A fixed palette (options.Palette not empty): its first 256 entries, unchanged, are the
//    palette; every pixel gets its nearest entry, the lowest index among equally near ones
//    (without Dither).
//  - An empty picture gives an empty palette (or the fixed one) and no indices.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "images/Bitmap.h"

// Above this many distinct colours the histogram is taken on a grid (step 1 above).
constexpr size_t kMaxHistogramColours = size_t{1} << 18;

struct TIndexedPixels {
  std::vector<TPaletteEntry> Palette;
  std::vector<uint8_t> Indices;  // one per pixel, in the order of the pixels
};

TIndexedPixels QuantizePixels(const uint8_t* pixels, int width, int height, int bytesPerPixel,
                              const TQuantizeOptions& options = {});
