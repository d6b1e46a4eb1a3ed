#include "roots/detail/level_lines.h"

#include <cstddef>

void ClearLevelLines(std::vector<std::uint32_t>& pixels, int width, int height, int minRun) {
  const auto w = static_cast<std::size_t>(width);
  // Where each band of three rows has a white pixel, and the stretches to
  // clear, cleared once all are found.
  struct Stretch {
    int middleRow, first, end;  // columns [first, end)
  };
  std::vector<std::uint8_t> band(w);
  std::vector<Stretch> clear;
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
      if (end - c >= minRun) clear.push_back({r, c, end});
      c = end;
    }
  }
  for (const Stretch& s : clear)
    for (int r = s.middleRow - 1; r <= s.middleRow + 1; ++r)
      for (int c = s.first; c < s.end; ++c)
        pixels[static_cast<std::size_t>(r) * w + static_cast<std::size_t>(c)] = 0U;
}
