#include "image/margin_cut.h"

#include <algorithm>
#include <array>

#include "image/detail/pixels.h"

void CutMarginBands(std::uint32_t* pixels, int width, int height, bool marks) {
  const double W = width;
  const double H = height;
  // Colours of the optional marks, one per band.
  static constexpr std::array<std::uint32_t, 8> kMarkColour = {0xFF0000U, 0x00FF00U, 0x0000FFU, 0xFFFF00U,
                                                               0xFF00FFU, 0x00FFFFU, 0xFF8000U, 0x8000FFU};
  auto clear = [&](int c, int r, int band) {
    pixels[pix::indexOf(c, r, width)] = marks ? kMarkColour[static_cast<std::size_t>(band)] : pix::kBlack;
  };
  auto sq = [](double d, double a) { return (d * d) / (a * a); };
  // Column bands: columns [c0, c1], every row.
  auto columnBand = [&](int band, int c0, int c1, double centre, double semi, bool rowFromTop) {
    c0 = std::max(c0, 0);
    c1 = std::min(c1, width - 1);
    for (int r = 0; r < height; ++r) {
      const double rowTerm = rowFromTop ? sq(r - H, H) : sq(r, H);
      for (int c = c0; c <= c1; ++c)
        if (sq(c - centre, semi) + rowTerm >= 1.0) clear(c, r, band);
    }
  };
  // Row bands: rows [r0, r1], every column.
  auto rowBand = [&](int band, int r0, int r1, double centre, double semi, bool colFromRight) {
    r0 = std::max(r0, 0);
    r1 = std::min(r1, height - 1);
    for (int r = r0; r <= r1; ++r) {
      const double rowTerm = sq(r - centre, semi);
      for (int c = 0; c < width; ++c) {
        const double colTerm = colFromRight ? sq(c - W, W) : sq(c, W);
        if (rowTerm + colTerm >= 1.0) clear(c, r, band);
      }
    }
  };
  columnBand(0, 0, 99, 100.0, 100.0, true);
  rowBand(1, 0, 99, 100.0, 100.0, true);
  columnBand(2, width - 50, width - 1, W - 50.0, 50.0, false);
  rowBand(3, height - 50, height - 1, H - 50.0, 50.0, false);
  columnBand(4, 0, 49, 50.0, 50.0, false);
  rowBand(5, height - 50, height - 1, H - 50.0, 50.0, true);
  columnBand(6, width - 100, width - 1, W - 100.0, 100.0, true);
  rowBand(7, 0, 99, 100.0, 100.0, false);
}
