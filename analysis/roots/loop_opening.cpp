#include "roots/detail/loop_opening.h"

#include <cstddef>
#include <cstdlib>

#include "roots/detail/skeleton_distances.h"
#include "roots/sci_doc.h"

void OpenSkeletonLoops(std::vector<std::uint32_t>& pixels, int width, int height) {
  if (width <= 0 || height <= 0 ||
      pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    return;
  const auto at = [width](int c, int r) {
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + static_cast<std::size_t>(c);
  };
  const auto white = [&](int c, int r) {
    return c >= 0 && r >= 0 && c < width && r < height && (pixels[at(c, r)] & kWhitePixel) == kWhitePixel;
  };
  const SkeletonDistances skeleton(pixels, width, height);
  std::vector<float> distance(pixels.size(), SkeletonDistances::kUnreached);
  std::vector<std::size_t> reached;
  std::vector<bool> seen(pixels.size(), false);
  // The pixel each one is reached through, by its shortest way from the top.
  std::vector<std::uint32_t> through(pixels.size(), SkeletonDistances::kNone);
  for (int r = height - 1; r >= 0; --r)
    for (int c = 0; c < width; ++c) {
      if (!white(c, r) || seen[at(c, r)]) continue;
      skeleton.distancesFrom(at(c, r), distance, reached, &through);
      for (const std::size_t i : reached) seen[i] = true;
    }
  // Where the two ways round a loop meet: a pixel of a line that leads to
  // neither of its neighbours. Its neighbours, next to each other, would
  // make it a corner of a line, on no loop.
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) {
      if (!white(c, r)) continue;
      int count = 0;
      int nc[2] = {0, 0}, nr[2] = {0, 0};
      bool leads = false;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) {
          if ((dr == 0 && dc == 0) || !white(c + dc, r + dr)) continue;
          if (count < 2) {
            nc[count] = c + dc;
            nr[count] = r + dr;
          }
          ++count;
          if (through[at(c + dc, r + dr)] == static_cast<std::uint32_t>(at(c, r))) leads = true;
        }
      if (count != 2 || leads || (std::abs(nc[0] - nc[1]) <= 1 && std::abs(nr[0] - nr[1]) <= 1)) continue;
      pixels[at(c, r)] = 0U;
    }
}
