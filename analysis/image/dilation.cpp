#include "image/dilation.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <vector>

#include "image/detail/pixels.h"

namespace {

// Walks the pixels DrawSegment paints from (c, r) to (c2, r2), calling paint
// for each; shared by DrawSegment and the dilatation's offset table.
template <typename Paint>
constexpr void forEachSegmentPixel(int c, int r, int c2, int r2, Paint&& paint) {
  if (c == c2 && r == r2) return;
  const int dc = (c2 > c) - (c2 < c);
  const int dr = (r2 > r) - (r2 < r);
  if (r == r2) {
    for (int x = c;; x += dc) {
      paint(x, r);
      if (x == c2) break;
    }
    return;
  }
  if (c == c2) {
    for (int y = r;; y += dr) {
      paint(c, y);
      if (y == r2) break;
    }
    return;
  }
  // Diagonal phase, then straight along the remaining axis; neither end is painted.
  do {
    c += dc;
    paint(c, r);
    r += dr;
  } while (r != r2 && c != c2);
  while (c != c2 || r != r2) {
    paint(c, r);
    if (c == c2) {
      r += dr;
    } else {
      c += dc;
    }
  }
}

// The pixels painted by the segment from the centre of a 5 x 5 window to one
// of its positions, as offsets from the centre.
struct SegmentOffsets {
  int count = 0;
  std::array<int, 5> dcol{};
  std::array<int, 5> drow{};
};

// Index (drow + 2) * 5 + (dcol + 2): the rows of the window ascending, and
// the columns ascending within a row.
constexpr std::array<SegmentOffsets, 25> makeWindowSegments() {
  std::array<SegmentOffsets, 25> table{};
  for (int dr = -2; dr <= 2; ++dr)
    for (int dc = -2; dc <= 2; ++dc) {
      const int index = (dr + 2) * 5 + dc + 2;
      SegmentOffsets& e = table[static_cast<std::size_t>(index)];
      forEachSegmentPixel(0, 0, dc, dr, [&e](int x, int y) {
        e.dcol[static_cast<std::size_t>(e.count)] = x;
        e.drow[static_cast<std::size_t>(e.count)] = y;
        ++e.count;
      });
    }
  return table;
}
constexpr std::array<SegmentOffsets, 25> kWindowSegments = makeWindowSegments();
constexpr int kWindowCentre = 12;

}  // namespace

void DrawSegment(int col, int row, int col2, int row2, std::uint32_t* picture, int width, int height) {
  forEachSegmentPixel(col, row, col2, row2, [&](int c, int r) {
    if (!pix::inside(c, r, width, height)) return;
    picture[pix::indexOf(c, r, width)] |= pix::kWhite;
  });
}

namespace {

// One bit per pixel, rows of whole 64-bit words; bit c of a row is column c.
class BitRows {
 public:
  BitRows(int width, int height)
      : m_words((static_cast<std::size_t>(width) + 63) / 64),
        m_bits(m_words * static_cast<std::size_t>(height), 0) {}
  std::size_t words() const { return m_words; }
  std::uint64_t* row(int r) { return m_bits.data() + static_cast<std::size_t>(r) * m_words; }
  const std::uint64_t* row(int r) const { return m_bits.data() + static_cast<std::size_t>(r) * m_words; }

 private:
  std::size_t m_words;
  std::vector<std::uint64_t> m_bits;
};

// Word k of a row moved by d columns (|d| <= 2): bit c of the result is bit
// c + d of the row, 0 beyond its ends.
inline std::uint64_t shiftedWord(const std::uint64_t* row, std::size_t words, std::size_t k, int d) {
  if (d == 0) return row[k];
  if (d > 0) {
    const std::uint64_t high = k + 1 < words ? row[k + 1] : 0;
    return (row[k] >> d) | (high << (64 - d));
  }
  const std::uint64_t low = k > 0 ? row[k - 1] : 0;
  return (row[k] << -d) | (low >> (64 + d));
}

// ORs word k of a row, moved right by d columns (|d| <= 2; bit c goes to
// c + d), into out, which has room for every bit that moves.
inline void orMoved(std::uint64_t* out, std::size_t k, std::uint64_t bits, int d) {
  if (d == 0) {
    out[k] |= bits;
  } else if (d > 0) {
    out[k] |= bits << d;
    if (const std::uint64_t over = bits >> (64 - d); over != 0) out[k + 1] |= over;
  } else {
    out[k] |= bits >> -d;
    if (const std::uint64_t under = bits << (64 + d); under != 0) out[k - 1] |= under;
  }
}

}  // namespace

// Works a word of 64 pixels at a time, and only on the words that hold
// centres: for each window position k, the centres whose partner at k is
// white form a word, and each pixel of k's segment ORs that word, moved by
// its offset, into the painted rows.
void DilatePicture(const std::uint32_t* source, std::uint32_t* target, int width, int height) {
  if (width < 5 || height < 5) return;
  const std::ptrdiff_t w = width;
  BitRows white(width, height), painted(width, height);
  const std::size_t words = white.words();
  for (int r = 0; r < height; ++r) {
    std::uint64_t* bits = white.row(r);
    const std::uint32_t* p = source + r * w;
    for (std::size_t k = 0; k < words; ++k) {
      const std::size_t first = k * 64,
                        end = std::min<std::size_t>(first + 64, static_cast<std::size_t>(width));
      std::uint64_t word = 0;
      for (std::size_t c = first; c < end; ++c)
        word |= static_cast<std::uint64_t>(pix::isWhite(p[c])) << (c - first);
      bits[k] = word;
    }
  }
  // Centres lie at least 2 from every edge.
  std::vector<std::uint64_t> inner(words, 0);
  for (int c = 2; c + 2 < width; ++c) inner[static_cast<std::size_t>(c) / 64] |= std::uint64_t{1} << (c % 64);
  std::vector<std::size_t> used;
  std::vector<std::uint64_t> centre(words);
  for (int r = 2; r + 2 < height; ++r) {
    used.clear();
    const std::uint64_t* row = white.row(r);
    for (std::size_t k = 0; k < words; ++k) {
      centre[k] = row[k] & inner[k];
      if (centre[k] != 0) used.push_back(k);
    }
    if (used.empty()) continue;
    for (int k = 0; k < 25; ++k) {
      if (k == kWindowCentre) continue;
      const int dr = k / 5 - 2, dc = k % 5 - 2;
      const std::uint64_t* partner = white.row(r + dr);
      const SegmentOffsets& e = kWindowSegments[static_cast<std::size_t>(k)];
      for (const std::size_t i : used) {
        const std::uint64_t pairs = centre[i] & shiftedWord(partner, words, i, dc);
        if (pairs == 0) continue;
        for (int s = 0; s < e.count; ++s)
          orMoved(painted.row(r + e.drow[static_cast<std::size_t>(s)]), i, pairs,
                  e.dcol[static_cast<std::size_t>(s)]);
      }
    }
  }
  for (int r = 0; r < height; ++r) {
    const std::uint64_t* bits = painted.row(r);
    std::uint32_t* out = target + r * w;
    for (std::size_t i = 0; i < words; ++i)
      for (std::uint64_t b = bits[i]; b != 0; b &= b - 1)
        out[i * 64 + static_cast<std::size_t>(std::countr_zero(b))] = pix::kWhite;
  }
}
