#include "roots/detail/level_lines.h"

#include <algorithm>
#include <cstddef>

void ClearLevelLines(std::vector<std::uint32_t>& pixels, int width, int height, int minRun) {
  const auto at = [&](int c, int r) -> std::uint32_t& {
    return pixels[static_cast<std::size_t>(r) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(c)];
  };
  std::vector<int> clear;
  for (int r = 1; r + 1 < height; ++r) {
    for (int c = 0; c < width;) {
      const auto set = [&](int x) { return at(x, r - 1) != 0U || at(x, r) != 0U || at(x, r + 1) != 0U; };
      if (!set(c)) {
        ++c;
        continue;
      }
      int end = c;
      while (end < width && set(end)) ++end;
      if (end - c >= minRun) {
        clear.push_back(r);
        clear.push_back(c);
        clear.push_back(end);
      }
      c = end;
    }
  }
  for (std::size_t k = 0; k + 2 < clear.size(); k += 3)
    for (int c = clear[k + 1]; c < clear[k + 2]; ++c)
      for (int r = clear[k] - 1; r <= clear[k] + 1; ++r) at(c, r) = 0U;
}
