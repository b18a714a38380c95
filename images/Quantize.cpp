#include "images/Quantize.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <string>
#include <unordered_set>

namespace {

constexpr size_t kMaxEntries = 256;
// Lloyd iterations at most; they stop earlier once an iteration gains less than
// kConvergence of the error.
constexpr int kMaxIterations = 8;
constexpr double kConvergence = 1e-3;
// More histogram entries than this are merged into grid cells for the Lloyd iterations.
constexpr size_t kMaxRefineSamples = size_t{1} << 14;
// Rounds of giving unused entries to the worst-served colours (see UseEveryEntry).
constexpr int kRefillRounds = 4;

using TColour = std::array<float, 3>;  // red, green, blue

uint32_t RgbAt(const uint8_t* p) {
  return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | uint32_t{p[0]};
}

float Distance(const TColour& a, const float* b) {
  const float dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
  return dr * dr + dg * dg + db * db;
}

// Nearest palette entry by squared distance. The entries are kept sorted along the channel
// in which they spread most; a search starts at a guess (the answer for a similar colour,
// which is usually right) and walks outwards, stopping on each side once that channel alone
// is farther than the best found.
class TNearest {
public:
  explicit TNearest(const std::vector<TColour>& palette) : m_rank(palette.size()) {
    assert(!palette.empty());
    double spread[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c) {
      double sum = 0, squares = 0;
      for (const TColour& p : palette) {
        sum += p[c];
        squares += double(p[c]) * p[c];
      }
      spread[c] = squares - sum * sum / double(palette.size());
    }
    m_axis = static_cast<int>(std::max_element(spread, spread + 3) - spread);
    m_order.resize(palette.size());
    for (uint32_t i = 0; i < m_order.size(); ++i) m_order[i] = i;
    std::sort(m_order.begin(), m_order.end(), [&](uint32_t a, uint32_t b) {
      return palette[a][m_axis] != palette[b][m_axis] ? palette[a][m_axis] < palette[b][m_axis]
                                                      : a < b;
    });
    for (uint32_t k = 0; k < m_order.size(); ++k) {
      m_sorted.push_back(palette[m_order[k]]);
      m_rank[m_order[k]] = k;
    }
  }

  // The index of the entry nearest `c`, the lowest index among equally near ones.
  uint32_t Find(const float* c, uint32_t guess) const {
    const size_t start = m_rank[guess < m_rank.size() ? guess : 0];
    float best = Distance(m_sorted[start], c);
    uint32_t bestIndex = m_order[start];
    auto consider = [&](size_t k) {
      const float d = Distance(m_sorted[k], c);
      if (d < best || (d == best && m_order[k] < bestIndex)) {
        best = d;
        bestIndex = m_order[k];
      }
    };
    for (size_t k = start; k-- > 0;) {
      const float along = c[m_axis] - m_sorted[k][m_axis];
      if (along > 0 && along * along > best) break;
      consider(k);
    }
    for (size_t k = start + 1; k < m_sorted.size(); ++k) {
      const float along = m_sorted[k][m_axis] - c[m_axis];
      if (along > 0 && along * along > best) break;
      consider(k);
    }
    return bestIndex;
  }

private:
  int m_axis = 0;
  std::vector<TColour> m_sorted;  // the entries in the order of m_axis
  std::vector<uint32_t> m_order;  // sorted position → palette index
  std::vector<uint32_t> m_rank;   // palette index → sorted position
};

// Open-addressing table from a colour key (at most 24 bits) to its histogram entry.
class TColourTable {
public:
  explicit TColourTable(size_t maxEntries) {
    while ((size_t{1} << m_bits) < 2 * maxEntries) ++m_bits;
    m_slots.assign(size_t{1} << m_bits, kEmpty);
  }
  void Clear() { std::fill(m_slots.begin(), m_slots.end(), kEmpty); }

  // The entry of `key`; when it has none, `next` becomes its entry and `added` is set.
  uint32_t Insert(uint32_t key, uint32_t next, bool& added) {
    for (size_t s = Slot(key);; s = (s + 1) & Mask()) {
      if (m_slots[s] == kEmpty) {
        m_slots[s] = uint64_t{key} << 32 | next;
        added = true;
        return next;
      }
      if (m_slots[s] >> 32 == key) {
        added = false;
        return static_cast<uint32_t>(m_slots[s]);
      }
    }
  }
  // The entry of a key that is in the table.
  uint32_t Find(uint32_t key) const {
    for (size_t s = Slot(key);; s = (s + 1) & Mask()) {
      if (m_slots[s] >> 32 == key) return static_cast<uint32_t>(m_slots[s]);
      assert(m_slots[s] != kEmpty);
    }
  }

private:
  // Keys are below 2^24, so a slot holding all ones is free.
  static constexpr uint64_t kEmpty = ~uint64_t{0};
  size_t Mask() const { return m_slots.size() - 1; }
  size_t Slot(uint32_t key) const { return (key * 0x9E3779B1u) >> (32 - m_bits); }
  int m_bits = 4;
  std::vector<uint64_t> m_slots;
};

// The histogram of step 1, in one of two forms, both indexed by the colour itself so that
// the similar colours of neighbouring pixels fall close together in memory:
//  - exact: one counter per distinct colour, in blocks of 4 x 4 x 4 colours allocated for the
//    cells of the 6-bit grid that the picture occupies;
//  - grid: one counter and the colour sums per cell of the 6-bit grid (2^18 cells), for
//    pictures of more than kMaxHistogramColours colours or kMaxBlocks occupied cells.
// A slot is a counter's position. Once the palette is made, each used slot is given its
// palette entry, and the pixels are mapped through it.
class THistogram {
public:
  static constexpr size_t kCells = size_t{1} << 18;
  static constexpr uint16_t kNoBlock = 0xFFFF;

  bool Exact = true;
  size_t Used = 0;  // slots with pixels

  // Counts every distinct colour; false (and the histogram unusable) as soon as there are
  // too many.
  bool BuildExact(const uint8_t* pixels, size_t count, int bytesPerPixel) {
    Exact = true;
    Used = 0;
    m_blockOf.assign(kCells, kNoBlock);
    m_counts.clear();
    m_entries.clear();
    uint32_t lastRgb = 0;
    uint32_t* counter = nullptr;
    for (size_t i = 0; i < count; ++i) {
      const uint32_t rgb = RgbAt(pixels + i * static_cast<size_t>(bytesPerPixel));
      if (i == 0 || rgb != lastRgb) {  // runs of one colour are common in textures
        uint16_t& block = m_blockOf[CellOf(rgb)];
        if (block == kNoBlock) {
          if (m_counts.size() == kMaxBlocks * kBlock) return false;
          block = static_cast<uint16_t>(m_counts.size() / kBlock);
          m_counts.resize(m_counts.size() + kBlock, 0);
        }
        counter = &m_counts[size_t{block} * kBlock + FineOf(rgb)];
        if (*counter == 0 && ++Used > kMaxHistogramColours) return false;
        lastRgb = rgb;
      }
      ++*counter;
    }
    return true;
  }

  // Counts the pixels and sums their colours per cell of the 6-bit grid.
  void BuildGrid(const uint8_t* pixels, size_t count, int bytesPerPixel) {
    Exact = false;
    Used = 0;
    m_blockOf.clear();
    m_entries.clear();
    m_counts.assign(kCells, 0);
    m_sums.assign(kCells, {0, 0, 0});
    for (size_t i = 0; i < count; ++i) {
      const uint32_t rgb = RgbAt(pixels + i * static_cast<size_t>(bytesPerPixel));
      const uint32_t cell = CellOf(rgb);
      Used += m_counts[cell]++ == 0;
      auto& sum = m_sums[cell];  // above the cell's lowest colour: at most 3 a pixel
      sum[0] += (rgb >> 16) & 3;
      sum[1] += (rgb >> 8) & 3;
      sum[2] += rgb & 3;
    }
  }

  // f(slot, colour, pixels) for every used slot; the colour is the mean of its pixels.
  template <class F>
  void ForEachUsed(F f) const {
    if (Exact) {
      for (size_t cell = 0; cell < m_blockOf.size(); ++cell) {
        if (m_blockOf[cell] == kNoBlock) continue;
        for (uint32_t fine = 0; fine < kBlock; ++fine) {
          const size_t slot = size_t{m_blockOf[cell]} * kBlock + fine;
          if (m_counts[slot] == 0) continue;
          const uint32_t rgb = RgbOfCell(static_cast<uint32_t>(cell)) | RgbOfFine(fine);
          f(slot, TColour{float(rgb >> 16), float((rgb >> 8) & 0xFF), float(rgb & 0xFF)},
            m_counts[slot]);
        }
      }
      return;
    }
    for (size_t cell = 0; cell < kCells; ++cell) {
      const uint32_t n = m_counts[cell];
      if (n == 0) continue;
      const uint32_t low = RgbOfCell(static_cast<uint32_t>(cell));
      TColour mean;
      for (int c = 0; c < 3; ++c) {
        mean[c] = float((low >> (16 - 8 * c)) & 0xFF) + float(double(m_sums[cell][c]) / n);
      }
      f(cell, mean, n);
    }
  }

  void SetEntry(size_t slot, uint8_t entry) {
    if (m_entries.empty()) m_entries.assign(m_counts.size(), 0);
    m_entries[slot] = entry;
  }

  // The palette entry of a pixel's colour, after SetEntry for every used slot.
  uint8_t EntryOf(uint32_t rgb) const {
    return Exact ? m_entries[size_t{m_blockOf[CellOf(rgb)]} * kBlock + FineOf(rgb)]
                 : m_entries[CellOf(rgb)];
  }

private:
  static constexpr uint32_t kBlock = 64;
  // Blocks of the exact form at most (8 MB of counters); their numbers fit 16 bits.
  static constexpr size_t kMaxBlocks = size_t{1} << 15;

  // The 6 high bits of each channel, and the 2 low ones.
  static uint32_t CellOf(uint32_t rgb) {
    return ((rgb >> 6) & 0x3F000) | ((rgb >> 4) & 0xFC0) | ((rgb >> 2) & 0x3F);
  }
  static uint32_t FineOf(uint32_t rgb) {
    return ((rgb >> 12) & 0x30) | ((rgb >> 6) & 0xC) | (rgb & 3);
  }
  static uint32_t RgbOfCell(uint32_t cell) {
    return (cell & 0x3F000) << 6 | (cell & 0xFC0) << 4 | (cell & 0x3F) << 2;
  }
  static uint32_t RgbOfFine(uint32_t fine) {
    return (fine & 0x30) << 12 | (fine & 0xC) << 6 | (fine & 3);
  }

  std::vector<uint16_t> m_blockOf;              // exact: cell → block, kNoBlock while unoccupied
  std::vector<uint32_t> m_counts;               // exact: blocks of 64 counters; grid: one per cell
  std::vector<uint8_t> m_entries;               // the palette entry of each slot of m_counts
  std::vector<std::array<uint32_t, 3>> m_sums;  // grid only
};

// One histogram entry as the palette search sees it.
struct TSample {
  TColour Colour;  // the mean of its pixels
  float Weight;    // how many pixels
  uint32_t Cell;   // its histogram slot
};

// Step 2. A box is a range of the samples; its best cut is found when it is made.
struct TBox {
  size_t Begin = 0, End = 0;
  double Gain = -1;  // squared error the best cut removes; below 0: cannot be cut
  int Axis = 0;
  int CutBin = 0;  // samples whose channel Axis, rounded down, is at most this go first
};

int BinOf(float v) { return std::clamp(static_cast<int>(v), 0, 255); }

// The cut of `box` along one channel at a whole-number boundary that removes the most
// squared error. The error of a set is Σw·|c|² − |Σw·c|²/Σw and the first term does not
// change with the cut, so the best cut maximises |S_low|²/W_low + |S_high|²/W_high.
void FindCut(const std::vector<TSample>& samples, TBox& box) {
  struct TBin {
    double Weight = 0;
    double Sum[3] = {0, 0, 0};
  };
  std::array<std::array<TBin, 256>, 3> bins{};
  TBin total;
  for (size_t i = box.Begin; i < box.End; ++i) {
    const TSample& s = samples[i];
    for (int axis = 0; axis < 3; ++axis) {
      TBin& bin = bins[axis][BinOf(s.Colour[axis])];
      bin.Weight += s.Weight;
      for (int c = 0; c < 3; ++c) bin.Sum[c] += double(s.Weight) * s.Colour[c];
    }
    total.Weight += s.Weight;
    for (int c = 0; c < 3; ++c) total.Sum[c] += double(s.Weight) * s.Colour[c];
  }
  auto spread = [](const TBin& b) {
    return (b.Sum[0] * b.Sum[0] + b.Sum[1] * b.Sum[1] + b.Sum[2] * b.Sum[2]) / b.Weight;
  };
  const double whole = spread(total);
  box.Gain = -1;
  for (int axis = 0; axis < 3; ++axis) {
    TBin low;
    for (int cut = 0; cut < 255; ++cut) {
      const TBin& bin = bins[axis][cut];
      if (bin.Weight == 0) continue;
      low.Weight += bin.Weight;
      for (int c = 0; c < 3; ++c) low.Sum[c] += bin.Sum[c];
      TBin high;
      high.Weight = total.Weight - low.Weight;
      if (high.Weight <= 0) break;
      for (int c = 0; c < 3; ++c) high.Sum[c] = total.Sum[c] - low.Sum[c];
      const double gain = spread(low) + spread(high) - whole;
      if (gain > box.Gain) {
        box.Gain = gain;
        box.Axis = axis;
        box.CutBin = cut;
      }
    }
  }
}

// Boxes of the samples (reordered so that each box is a range), at most `wanted` of them.
std::vector<TBox> SplitBoxes(std::vector<TSample>& samples, size_t wanted) {
  std::vector<TBox> boxes{{0, samples.size()}};
  FindCut(samples, boxes[0]);
  while (boxes.size() < wanted) {
    auto best = std::max_element(boxes.begin(), boxes.end(),
                                 [](const TBox& a, const TBox& b) { return a.Gain < b.Gain; });
    if (best->Gain < 0) break;  // every box holds one colour
    const int axis = best->Axis, cut = best->CutBin;
    const auto middle =
        std::partition(samples.begin() + static_cast<std::ptrdiff_t>(best->Begin),
                       samples.begin() + static_cast<std::ptrdiff_t>(best->End),
                       [axis, cut](const TSample& s) { return BinOf(s.Colour[axis]) <= cut; });
    TBox high{static_cast<size_t>(middle - samples.begin()), best->End};
    best->End = high.Begin;
    assert(best->Begin < best->End && high.Begin < high.End);
    FindCut(samples, *best);
    FindCut(samples, high);
    boxes.push_back(high);
  }
  return boxes;
}

// The samples' total squared error against `palette` with each sample's entry in `entryOf`
// (updated: the search starts from it); `sums` gets each entry's weighted colour sum and
// weight when given.
double Assign(const std::vector<TSample>& samples, const std::vector<TColour>& palette,
              std::vector<uint32_t>& entryOf, std::vector<std::array<double, 4>>* sums) {
  const TNearest nearest(palette);
  double error = 0;
  if (sums) sums->assign(palette.size(), {0, 0, 0, 0});
  for (size_t i = 0; i < samples.size(); ++i) {
    const TSample& s = samples[i];
    const uint32_t e = nearest.Find(s.Colour.data(), entryOf[i]);
    entryOf[i] = e;
    error += double(s.Weight) * Distance(palette[e], s.Colour.data());
    if (sums) {
      auto& sum = (*sums)[e];
      for (int c = 0; c < 3; ++c) sum[c] += double(s.Weight) * s.Colour[c];
      sum[3] += s.Weight;
    }
  }
  return error;
}

// The samples worst served by `palette` (weight × squared distance to their entry), worst
// first, at most `n` of them.
std::vector<size_t> WorstServed(const std::vector<TSample>& samples,
                                const std::vector<TColour>& palette,
                                const std::vector<uint32_t>& entryOf, size_t n) {
  std::vector<std::pair<double, size_t>> cost;
  cost.reserve(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    const double d = Distance(palette[entryOf[i]], samples[i].Colour.data());
    if (d > 0) cost.emplace_back(double(samples[i].Weight) * d, i);
  }
  n = std::min(n, cost.size());
  std::partial_sort(cost.begin(), cost.begin() + static_cast<std::ptrdiff_t>(n), cost.end(),
                    std::greater<>());
  std::vector<size_t> worst;
  for (size_t k = 0; k < n; ++k) worst.push_back(cost[k].second);
  return worst;
}

// At most `most` samples standing for `samples`: each the weighted mean of the samples in
// one cell of the coarsest grid needed. The Lloyd iterations run on these, and when the
// samples of one cell all have the same entry (as nearly all do, the cells being small
// beside the palette's own spacing) a mean moves exactly as it would over the samples
// themselves.
std::vector<TSample> Coarser(const std::vector<TSample>& samples, size_t most) {
  TColourTable table(most);
  std::vector<TSample> coarse;
  for (int shift = 1; shift <= 8; ++shift) {
    table.Clear();
    coarse.clear();
    bool fits = true;
    for (const TSample& s : samples) {
      uint32_t key = 0;
      for (int c = 0; c < 3; ++c)
        key = key << 8 | static_cast<uint32_t>(BinOf(s.Colour[c]) >> shift);
      bool added = false;
      const uint32_t k = table.Insert(key, static_cast<uint32_t>(coarse.size()), added);
      if (added) {
        if (coarse.size() == most) {
          fits = false;
          break;
        }
        coarse.push_back({{0, 0, 0}, 0, 0});
      }
      TSample& into = coarse[k];
      for (int c = 0; c < 3; ++c) into.Colour[c] += s.Weight * s.Colour[c];  // sums for now
      into.Weight += s.Weight;
    }
    if (fits) break;
  }
  for (TSample& s : coarse) {
    for (int c = 0; c < 3; ++c) s.Colour[c] /= s.Weight;
  }
  return coarse;
}

// Step 3: Lloyd iterations. An entry left without samples moves to the worst-served sample.
void Refine(const std::vector<TSample>& samples, std::vector<TColour>& palette,
            std::vector<uint32_t>& entryOf) {
  std::vector<std::array<double, 4>> sums;
  double previous = -1;
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    const double error = Assign(samples, palette, entryOf, &sums);
    if (previous >= 0 && previous - error <= kConvergence * previous) break;
    previous = error;
    std::vector<size_t> empty;
    for (size_t e = 0; e < palette.size(); ++e) {
      if (sums[e][3] == 0) {
        empty.push_back(e);
        continue;
      }
      for (int c = 0; c < 3; ++c) palette[e][c] = static_cast<float>(sums[e][c] / sums[e][3]);
    }
    const std::vector<size_t> worst = WorstServed(samples, palette, entryOf, empty.size());
    for (size_t k = 0; k < worst.size(); ++k) palette[empty[k]] = samples[worst[k]].Colour;
  }
}

TColour Rounded(const TColour& c) {
  TColour r;
  for (int k = 0; k < 3; ++k) r[k] = std::clamp(std::round(c[k]), 0.0f, 255.0f);
  return r;
}

uint32_t Packed(const TColour& c) {
  return uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | uint32_t(c[2]);
}

// The palette rounded to whole colour values, with each sample assigned to its nearest
// entry. Rounding can make two entries equal, and an entry can end up nearest to no
// sample; such an entry is given the colour of the worst-served sample not in the palette,
// which is then nearest to that sample at least.
void UseEveryEntry(const std::vector<TSample>& samples, std::vector<TColour>& palette,
                   std::vector<uint32_t>& entryOf) {
  for (TColour& c : palette) c = Rounded(c);
  for (int round = 0; round < kRefillRounds; ++round) {
    Assign(samples, palette, entryOf, nullptr);
    std::vector<bool> used(palette.size(), false);
    for (uint32_t e : entryOf) used[e] = true;
    std::vector<size_t> unused;
    for (size_t e = 0; e < palette.size(); ++e) {
      if (!used[e]) unused.push_back(e);
    }
    if (unused.empty()) return;
    std::unordered_set<uint32_t> present;
    for (size_t e = 0; e < palette.size(); ++e) {
      if (used[e]) present.insert(Packed(palette[e]));
    }
    // More candidates than unused entries: some round to a colour already present.
    const std::vector<size_t> worst = WorstServed(samples, palette, entryOf, 4 * unused.size());
    size_t next = 0;
    for (size_t candidate : worst) {
      if (next == unused.size()) break;
      const TColour c = Rounded(samples[candidate].Colour);
      if (!present.insert(Packed(c)).second) continue;
      palette[unused[next++]] = c;
    }
    if (next == 0) break;  // nothing left to give them
  }
  Assign(samples, palette, entryOf, nullptr);
}

TPaletteEntry PaletteEntryOf(const TColour& c) {
  return {static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]), static_cast<uint8_t>(c[2]), 0};
}

std::vector<TColour> ColoursOf(const std::vector<TPaletteEntry>& palette) {
  std::vector<TColour> colours;
  for (const TPaletteEntry& e : palette)
    colours.push_back({float(e.Red), float(e.Green), float(e.Blue)});
  return colours;
}

// Every pixel to its nearest entry of `palette`, one after another (a fixed palette, or a
// made one with Dither). With `dither` the error of each pixel goes to its neighbours not yet
// mapped (7/16 ahead, 3/16, 5/16 and 1/16 on the next row), rows alternating direction.
void MapPixels(const uint8_t* pixels, int width, int height, int bytesPerPixel,
               const std::vector<TColour>& palette, bool dither, std::vector<uint8_t>& indices) {
  const TNearest nearest(palette);
  const size_t w = static_cast<size_t>(width);
  // Error rows with one pixel of margin on each side.
  std::vector<TColour> here(dither ? w + 2 : 0, TColour{0, 0, 0});
  std::vector<TColour> below = here;
  uint32_t guess = 0, lastRgb = 0;
  bool haveLast = false;
  for (int y = 0; y < height; ++y) {
    const bool forward = !dither || y % 2 == 0;
    for (size_t step = 0; step < w; ++step) {
      const size_t x = forward ? step : w - 1 - step;
      const size_t i = static_cast<size_t>(y) * w + x;
      const uint8_t* p = pixels + i * static_cast<size_t>(bytesPerPixel);
      float c[3] = {float(p[2]), float(p[1]), float(p[0])};
      if (!dither) {
        const uint32_t rgb = RgbAt(p);
        if (!haveLast || rgb != lastRgb) guess = nearest.Find(c, guess);
        lastRgb = rgb;
        haveLast = true;
        indices[i] = static_cast<uint8_t>(guess);
        continue;
      }
      for (int k = 0; k < 3; ++k) c[k] = std::clamp(c[k] + here[x + 1][k], 0.0f, 255.0f);
      guess = nearest.Find(c, guess);
      indices[i] = static_cast<uint8_t>(guess);
      TColour error;
      for (int k = 0; k < 3; ++k) error[k] = c[k] - palette[guess][k];
      const size_t ahead = forward ? x + 2 : x, behind = forward ? x : x + 2;
      for (int k = 0; k < 3; ++k) {
        here[ahead][k] += error[k] * (7.0f / 16);
        below[behind][k] += error[k] * (3.0f / 16);
        below[x + 1][k] += error[k] * (5.0f / 16);
        below[ahead][k] += error[k] * (1.0f / 16);
      }
    }
    if (dither) {
      std::swap(here, below);
      std::fill(below.begin(), below.end(), TColour{0, 0, 0});
    }
  }
}

}  // namespace

TIndexedPixels QuantizePixels(const uint8_t* pixels, int width, int height, int bytesPerPixel,
                              const TQuantizeOptions& options) {
  if ((bytesPerPixel != 3 && bytesPerPixel != 4) || width < 0 || height < 0) {
    throw EInvalidGraphic("QuantizePixels: " + std::to_string(width) + " x " +
                          std::to_string(height) + " pixels of " + std::to_string(bytesPerPixel) +
                          " bytes cannot be reduced to a palette");
  }
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  TIndexedPixels out;
  out.Indices.assign(count, 0);

  if (!options.Palette.empty()) {
    out.Palette.assign(options.Palette.begin(),
                       options.Palette.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                     options.Palette.size(), kMaxEntries)));
    if (count > 0) {
      MapPixels(pixels, width, height, bytesPerPixel, ColoursOf(out.Palette), options.Dither,
                out.Indices);
    }
    return out;
  }
  if (count == 0) return out;

  // Step 1: exact colours when they are not too many, else the grid.
  THistogram histogram;
  if (!histogram.BuildExact(pixels, count, bytesPerPixel)) {
    histogram.BuildGrid(pixels, count, bytesPerPixel);
  }

  if (histogram.Exact && histogram.Used <= kMaxEntries) {
    // Few colours: exactly those, the most frequent first.
    struct TColourCount {
      uint32_t Rgb, Count;
      size_t Slot;
    };
    std::vector<TColourCount> colours;
    histogram.ForEachUsed([&](size_t slot, const TColour& c, uint32_t n) {
      colours.push_back({uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | uint32_t(c[2]), n, slot});
    });
    std::sort(colours.begin(), colours.end(), [](const TColourCount& a, const TColourCount& b) {
      return a.Count != b.Count ? a.Count > b.Count : a.Rgb < b.Rgb;
    });
    for (uint32_t e = 0; e < colours.size(); ++e) {
      const uint32_t rgb = colours[e].Rgb;
      out.Palette.push_back({static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                             static_cast<uint8_t>(rgb), 0});
      histogram.SetEntry(colours[e].Slot, static_cast<uint8_t>(e));
    }
  } else {
    std::vector<TSample> samples;
    samples.reserve(histogram.Used);
    histogram.ForEachUsed([&](size_t slot, const TColour& c, uint32_t n) {
      samples.push_back({c, float(n), static_cast<uint32_t>(slot)});
    });
    // Step 2: the boxes and their means.
    const std::vector<TBox> boxes = SplitBoxes(samples, std::min(kMaxEntries, samples.size()));
    std::vector<TColour> palette;
    std::vector<uint32_t> entryOf(samples.size(), 0);
    for (const TBox& box : boxes) {
      double sum[3] = {0, 0, 0}, weight = 0;
      for (size_t i = box.Begin; i < box.End; ++i) {
        for (int c = 0; c < 3; ++c) sum[c] += double(samples[i].Weight) * samples[i].Colour[c];
        weight += samples[i].Weight;
        entryOf[i] = static_cast<uint32_t>(palette.size());
      }
      palette.push_back({float(sum[0] / weight), float(sum[1] / weight), float(sum[2] / weight)});
    }
    // Step 3 (over fewer samples when there are many), and whole colour values with every
    // entry in use.
    if (samples.size() > kMaxRefineSamples) {
      const std::vector<TSample> coarse = Coarser(samples, kMaxRefineSamples);
      std::vector<uint32_t> coarseEntryOf(coarse.size(), 0);
      Refine(coarse, palette, coarseEntryOf);
    } else {
      Refine(samples, palette, entryOf);
    }
    UseEveryEntry(samples, palette, entryOf);
    for (size_t i = 0; i < samples.size(); ++i)
      histogram.SetEntry(samples[i].Cell, static_cast<uint8_t>(entryOf[i]));
    for (const TColour& c : palette) out.Palette.push_back(PaletteEntryOf(c));
    if (options.Dither) {
      MapPixels(pixels, width, height, bytesPerPixel, palette, true, out.Indices);
      return out;
    }
  }

  // Step 4 without dithering: each pixel takes its histogram entry's palette entry.
  uint32_t lastRgb = 0;
  uint8_t entry = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t rgb = RgbAt(pixels + i * static_cast<size_t>(bytesPerPixel));
    if (i == 0 || rgb != lastRgb) {
      entry = histogram.EntryOf(rgb);
      lastRgb = rgb;
    }
    out.Indices[i] = entry;
  }
  return out;
}
