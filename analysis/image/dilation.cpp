#include "image/dilation.h"

#include <array>
#include <cstddef>

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

void DilatePicture(const std::uint32_t* source, std::uint32_t* target, int width, int height) {
  const std::ptrdiff_t w = width;
  for (int r = 2; r + 2 < height; ++r) {
    for (int c = 2; c + 2 < width; ++c) {
      const std::ptrdiff_t i = c + r * w;
      if (!pix::isWhite(source[i])) continue;
      for (int k = 0; k < 25; ++k) {
        if (k == kWindowCentre) continue;
        const std::ptrdiff_t j = i + (k / 5 - 2) * w + (k % 5 - 2);
        if (!pix::isWhite(source[j])) continue;
        const SegmentOffsets& e = kWindowSegments[static_cast<std::size_t>(k)];
        for (int s = 0; s < e.count; ++s)
          target[i + e.drow[static_cast<std::size_t>(s)] * w + e.dcol[static_cast<std::size_t>(s)]] =
              pix::kWhite;
      }
    }
  }
}
