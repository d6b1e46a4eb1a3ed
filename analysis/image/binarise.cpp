#include "image/binarise.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/detail/pixels.h"

namespace {

// The square around a pixel whose mean it is compared with: 31 x 31 pixels,
// several times as wide as a root at the resolutions plates are scanned at.
constexpr int kAroundRadius = 15;

// The grey of the binarisation, rounded down to a whole level 0..255.
int greyLevel(std::uint32_t p) {
  const std::uint32_t grey = 30U * ((p >> 16) & 0xFFU) + 59U * ((p >> 8) & 0xFFU) + 11U * (p & 0xFFU);
  return static_cast<int>(grey / 100U);
}

// The level at which the running count of histogram reaches the share q of total.
int quantileLevel(const std::array<std::size_t, 256>& histogram, std::size_t total, double q) {
  std::size_t seen = 0;
  for (int level = 0; level < 256; ++level) {
    seen += histogram[static_cast<std::size_t>(level)];
    if (static_cast<double>(seen) >= q * static_cast<double>(total)) return level;
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
  const int w = c1 - c0, h = r1 - r0;
  // The grey levels of the middle.
  std::vector<std::uint8_t> greys(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  const auto rowOf = [&](int r) {
    return greys.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(w);
  };
  std::array<std::size_t, 256> histogram{};
  for (int r = 0; r < h; ++r) {
    const std::uint32_t* row = pixels + pix::indexOf(c0, r0 + r, width);
    std::uint8_t* grey = rowOf(r);
    for (int c = 0; c < w; ++c) {
      grey[c] = static_cast<std::uint8_t>(greyLevel(row[c]));
      ++histogram[grey[c]];
    }
  }
  // How far each pixel stands from the mean of the square around it: thin
  // roots stand far out on their own side, while the edges of large areas
  // (a dark half of the plate, a seed) stand out on both sides alike. The
  // square's sum comes from column sums over its rows, kept up to date as
  // the square moves down, and their running sum along the row.
  std::vector<std::int64_t> columns(static_cast<std::size_t>(w), 0);
  std::vector<std::int64_t> across(static_cast<std::size_t>(w) + 1, 0);
  std::array<std::size_t, 511> deviations{};
  std::size_t total = 0;
  int ra = 0, rb = 0;
  for (int r = 0; r < h; ++r) {
    for (; rb < std::min(h, r + kAroundRadius + 1); ++rb) {
      const std::uint8_t* grey = rowOf(rb);
      for (int c = 0; c < w; ++c) columns[static_cast<std::size_t>(c)] += grey[c];
    }
    for (; ra < std::max(0, r - kAroundRadius); ++ra) {
      const std::uint8_t* grey = rowOf(ra);
      for (int c = 0; c < w; ++c) columns[static_cast<std::size_t>(c)] -= grey[c];
    }
    for (int c = 0; c < w; ++c)
      across[static_cast<std::size_t>(c) + 1] =
          across[static_cast<std::size_t>(c)] + columns[static_cast<std::size_t>(c)];
    const std::uint8_t* grey = rowOf(r);
    for (int c = 0; c < w; ++c) {
      const int ca = std::max(0, c - kAroundRadius), cb = std::min(w, c + kAroundRadius + 1);
      const std::int64_t sum = across[static_cast<std::size_t>(cb)] - across[static_cast<std::size_t>(ca)];
      const double area = static_cast<double>(cb - ca) * static_cast<double>(rb - ra);
      const auto mean = static_cast<int>(static_cast<double>(sum) / area);
      const int slot = grey[c] - mean + 255;
      ++deviations[static_cast<std::size_t>(slot)];
      ++total;
    }
  }
  // What stands out: deviations of at least half the largest ones (those
  // of the last 0.2% of pixels), which a root's own pixels reach and the
  // slight shift of the background next to it does not, and beyond the
  // grain of the background (three times its median deviation).
  std::array<std::size_t, 256> sizes{};
  for (int d = -255; d <= 255; ++d) {
    const int size = std::abs(d), slot = d + 255;
    sizes[static_cast<std::size_t>(size)] += deviations[static_cast<std::size_t>(slot)];
  }
  const int apart =
      std::max({6, 3 * quantileLevel(sizes, total, 0.5), quantileLevel(sizes, total, 0.998) / 2});
  std::size_t darker = 0, brighter = 0;
  for (int d = -255; d <= 255; ++d) {
    const int slot = d + 255;
    if (d < -apart) darker += deviations[static_cast<std::size_t>(slot)];
    if (d > apart) brighter += deviations[static_cast<std::size_t>(slot)];
  }
  if (darker != brighter) return darker > brighter;
  return quantileLevel(histogram, static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0.5) > 127;
}
