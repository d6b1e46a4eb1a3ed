#include "roots/detail/level_lines.h"

#include <cstddef>

void ClearLevelLines(std::vector<std::uint32_t>& pixels, int width, int height, int minRun) {
  const auto w = static_cast<std::size_t>(width);
  // Where each band of three rows has a white pixel, and the stretches to
  // clear (band's middle row, first and last column + 1), cleared once all
  // are found.
  std::vector<std::uint8_t> band(w);
  std::vector<int> clear;
  for (int r = 1; r + 1 < height; ++r) {
    const std::uint32_t* below = pixels.data() + static_cast<std::size_t>(r - 1) * w;
    const std::uint32_t* middle = below + w;
    const std::uint32_t* above = middle + w;
    for (std::size_t c = 0; c < w; ++c) band[c] = (below[c] | middle[c] | above[c]) != 0U ? 1 : 0;
    for (int c = 0; c < width;) {
      if (band[static_cast<std::size_t>(c)] == 0) {
        ++c;
        continue;
      }
      int end = c;
      while (end < width && band[static_cast<std::size_t>(end)] != 0) ++end;
      if (end - c >= minRun) clear.insert(clear.end(), {r, c, end});
      c = end;
    }
  }
  for (std::size_t k = 0; k + 2 < clear.size(); k += 3)
    for (int r = clear[k] - 1; r <= clear[k] + 1; ++r)
      for (int c = clear[k + 1]; c < clear[k + 2]; ++c)
        pixels[static_cast<std::size_t>(r) * w + static_cast<std::size_t>(c)] = 0U;
}
