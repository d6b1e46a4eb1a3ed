#include "image/binarise.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "image/detail/pixels.h"

namespace {

// The grey of the binarisation, rounded down to a whole level 0..255.
int greyLevel(std::uint32_t p) {
  const double grey = 0.3 * static_cast<double>((p >> 16) & 0xFFU) + 0.59 * static_cast<double>((p >> 8) & 0xFFU) +
                      0.11 * static_cast<double>(p & 0xFFU);
  return std::clamp(static_cast<int>(grey), 0, 255);
}

// The level at which the running count of histogram reaches half of total.
int medianLevel(const std::array<std::size_t, 256>& histogram, std::size_t total) {
  std::size_t seen = 0;
  for (int level = 0; level < 256; ++level) {
    seen += histogram[static_cast<std::size_t>(level)];
    if (2 * seen >= total) return level;
  }
  return 255;
}

}  // namespace

void Binarise(const std::uint32_t* source, std::uint32_t* target, int width, int height, int t) {
  const std::size_t n = pix::count(width, height);
  const double level = t;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t p = source[i];
    const double grey = 0.3 * static_cast<double>((p >> 16) & 0xFFU) +
                        0.59 * static_cast<double>((p >> 8) & 0xFFU) + 0.11 * static_cast<double>(p & 0xFFU);
    target[i] = grey > level ? pix::kWhite : pix::kBlack;
  }
}

void InvertPicture(std::uint32_t* pixels, int width, int height) {
  const std::size_t n = pix::count(width, height);
  for (std::size_t i = 0; i < n; ++i) pixels[i] = ~pixels[i] & pix::kColourMask;
}

bool LooksLightBackground(const std::uint32_t* pixels, int width, int height) {
  if (pix::count(width, height) == 0) return false;
  const int c0 = width / 4, c1 = std::max(c0 + 1, width - width / 4);
  const int r0 = height / 4, r1 = std::max(r0 + 1, height - height / 4);
  std::array<std::size_t, 256> histogram{};
  std::size_t total = 0;
  for (int r = r0; r < r1; ++r) {
    const std::uint32_t* row = pixels + pix::indexOf(0, r, width);
    for (int c = c0; c < c1; ++c) {
      ++histogram[static_cast<std::size_t>(greyLevel(row[c]))];
      ++total;
    }
  }
  const int median = medianLevel(histogram, total);
  // The spread of the background: the median distance from the median.
  std::array<std::size_t, 256> distances{};
  for (int level = 0; level < 256; ++level)
    distances[static_cast<std::size_t>(std::abs(level - median))] += histogram[static_cast<std::size_t>(level)];
  const int spread = medianLevel(distances, total);
  // What stands out lies farther from the median than the background's
  // grain does: four spreads, and never less than 8 grey levels.
  const int apart = std::max(8, 4 * spread);
  std::size_t darker = 0, brighter = 0;
  for (int level = 0; level < 256; ++level) {
    if (level < median - apart) darker += histogram[static_cast<std::size_t>(level)];
    if (level > median + apart) brighter += histogram[static_cast<std::size_t>(level)];
  }
  if (darker != brighter) return darker > brighter;
  return median > 127;
}
