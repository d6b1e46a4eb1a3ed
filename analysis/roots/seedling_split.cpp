#include "roots/detail/seedling_split.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "roots/sci_doc.h"

int SeedlingGap(int width) { return std::max(4, width / 50); }
bool SameSeedling(const SeedlingMark& a, const SeedlingMark& b, int gap) {
  return std::abs(a.x - b.x) < gap && std::abs(a.y - b.y) < 2 * gap;
}

void SplitAtSeedlings(std::vector<std::uint32_t>& pixels, int width, int height,
                      const std::vector<SeedlingMark>& marks, int reach) {
  const auto index = [width](int c, int r) {
    return static_cast<std::size_t>(c) + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
  };
  const auto white = [&](int c, int r) {
    return c >= 0 && r >= 0 && c < width && r < height && pixels[index(c, r)] == kWhitePixel;
  };
  constexpr std::int16_t kNone = -1;
  std::vector<std::int16_t> label(pixels.size(), kNone);
  std::vector<std::pair<int, int>> queue;
  std::vector<SeedlingMark> kept;
  for (const SeedlingMark& mark : marks) {
    const bool near = std::any_of(kept.begin(), kept.end(), [&](const SeedlingMark& k) {
      return SameSeedling(k, mark, SeedlingGap(width));
    });
    if (near || kept.size() >= 30000) continue;
    // The nearest skeleton pixel below or beside the leaves.
    const int row0 = height - 1 - mark.y;
    int bestC = -1, bestR = -1;
    double best = reach + 1.0;
    for (int r = row0 - reach; r <= row0 + reach; ++r)
      for (int c = mark.x - reach; c <= mark.x + reach; ++c)
        if (white(c, r) && label[index(c, r)] == kNone) {
          const double d = std::hypot(c - mark.x, r - row0);
          if (d < best) {
            best = d;
            bestC = c;
            bestR = r;
          }
        }
    if (bestC < 0) continue;
    label[index(bestC, bestR)] = static_cast<std::int16_t>(kept.size());
    queue.emplace_back(bestC, bestR);
    kept.push_back(mark);
  }
  if (kept.size() < 2) return;
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const auto [c, r] = queue[head];
    const std::int16_t own = label[index(c, r)];
    for (int dr = -1; dr <= 1; ++dr)
      for (int dc = -1; dc <= 1; ++dc)
        if (white(c + dc, r + dr) && label[index(c + dc, r + dr)] == kNone) {
          label[index(c + dc, r + dr)] = own;
          queue.emplace_back(c + dc, r + dr);
        }
  }
  for (const auto& [c, r] : queue) {
    const std::int16_t own = label[index(c, r)];
    bool cut = false;
    for (int dr = -1; dr <= 1 && !cut; ++dr)
      for (int dc = -1; dc <= 1 && !cut; ++dc)
        if (white(c + dc, r + dr)) {
          const std::int16_t other = label[index(c + dc, r + dr)];
          cut = other != kNone && other < own;
        }
    if (cut) pixels[index(c, r)] = 0U;
  }
}
