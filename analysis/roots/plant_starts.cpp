#include "roots/detail/plant_starts.h"

#include <cstddef>

#include "roots/detail/skeleton_distances.h"
#include "roots/sci_doc.h"

std::vector<ContourPoint> MainRootStarts(const std::vector<std::uint32_t>& pixels, int width, int height) {
  std::vector<ContourPoint> starts;
  if (width <= 0 || height <= 0 ||
      pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    return starts;
  const SkeletonDistances skeleton(pixels, width, height);
  std::vector<bool> seen(pixels.size(), false);
  std::vector<float> distance(pixels.size(), SkeletonDistances::kUnreached);
  std::vector<std::size_t> reached;
  for (int r = height - 1; r >= 0; --r)
    for (int c = 0; c < width; ++c) {
      const std::size_t top =
          static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + static_cast<std::size_t>(c);
      if (seen[top] || !skeleton.white(top)) continue;
      skeleton.distancesFrom(top, distance, reached);
      std::size_t tip = top;
      for (const std::size_t i : reached) {
        seen[i] = true;
        if (distance[i] > distance[tip]) tip = i;
      }
      skeleton.distancesFrom(tip, distance, reached);
      const auto measure = [&](std::size_t i) {
        return static_cast<double>(distance[i]) - kRiseWeight * skeleton.row(i);
      };
      // The walk of a piece must start where its outline passes once: at
      // an end, or at its topmost pixel.
      std::size_t start = top;
      for (const std::size_t i : reached) {
        int around = 0;
        skeleton.neighbours(i, [&](std::size_t, float) { ++around; });
        if (around <= 1 && measure(i) < measure(start)) start = i;
      }
      starts.push_back({skeleton.col(start), skeleton.row(start), 0});
    }
  return starts;
}
