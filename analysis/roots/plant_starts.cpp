#include "roots/detail/plant_starts.h"

#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <queue>
#include <utility>

#include "roots/sci_doc.h"

namespace {

class Piece {
 public:
  static constexpr float kUnreached = std::numeric_limits<float>::infinity();

  Piece(const std::vector<std::uint32_t>& pixels, int width, int height)
      : m_pixels(pixels), m_width(width), m_height(height) {}

  int col(std::size_t i) const { return static_cast<int>(i % static_cast<std::size_t>(m_width)); }
  int row(std::size_t i) const { return static_cast<int>(i / static_cast<std::size_t>(m_width)); }

  // Calls f(neighbour, step) for every white neighbour of pixel i.
  template <class F>
  void neighbours(std::size_t i, F&& f) const {
    const int c = col(i), r = row(i);
    for (int dr = -1; dr <= 1; ++dr)
      for (int dc = -1; dc <= 1; ++dc) {
        if (dr == 0 && dc == 0) continue;
        const int nc = c + dc, nr = r + dr;
        if (nc < 0 || nr < 0 || nc >= m_width || nr >= m_height) continue;
        const std::size_t n =
            static_cast<std::size_t>(nr) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(nc);
        if ((m_pixels[n] & kWhitePixel) == kWhitePixel) f(n, dr != 0 && dc != 0 ? kDiagonal : 1.0F);
      }
  }

  // The distances along the skeleton from pixel from to every pixel of its
  // piece, which reached lists (from first); the distances of the pixels
  // reached before are set back to kUnreached first.
  void distancesFrom(std::size_t from, std::vector<float>& distance,
                     std::vector<std::size_t>& reached) const {
    for (const std::size_t i : reached) distance[i] = kUnreached;
    reached.assign(1, from);
    using Entry = std::pair<float, std::size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    distance[from] = 0.0F;
    queue.emplace(0.0F, from);
    while (!queue.empty()) {
      const float d = queue.top().first;
      const std::size_t i = queue.top().second;
      queue.pop();
      if (d > distance[i]) continue;
      neighbours(i, [&](std::size_t n, float step) {
        if (distance[n] == kUnreached) reached.push_back(n);
        if (d + step < distance[n]) {
          distance[n] = d + step;
          queue.emplace(d + step, n);
        }
      });
    }
  }

 private:
  static constexpr float kDiagonal = 1.41421356F;
  const std::vector<std::uint32_t>& m_pixels;
  int m_width;
  int m_height;
};

}  // namespace

std::vector<ContourPoint> MainRootStarts(const std::vector<std::uint32_t>& pixels, int width, int height) {
  std::vector<ContourPoint> starts;
  if (width <= 0 || height <= 0 ||
      pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    return starts;
  const Piece piece(pixels, width, height);
  std::vector<bool> seen(pixels.size(), false);
  std::vector<float> distance(pixels.size(), Piece::kUnreached);
  std::vector<std::size_t> reached;
  for (int r = height - 1; r >= 0; --r)
    for (int c = 0; c < width; ++c) {
      const std::size_t top =
          static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + static_cast<std::size_t>(c);
      if (seen[top] || (pixels[top] & kWhitePixel) != kWhitePixel) continue;
      piece.distancesFrom(top, distance, reached);
      std::size_t tip = top;
      for (const std::size_t i : reached) {
        seen[i] = true;
        if (distance[i] > distance[tip]) tip = i;
      }
      piece.distancesFrom(tip, distance, reached);
      const auto measure = [&](std::size_t i) {
        return static_cast<double>(distance[i]) - kRiseWeight * piece.row(i);
      };
      // The walk of a piece must start where its outline passes once: at
      // an end, or at its topmost pixel.
      std::size_t start = top;
      for (const std::size_t i : reached) {
        int around = 0;
        piece.neighbours(i, [&](std::size_t, float) { ++around; });
        if (around <= 1 && measure(i) < measure(start)) start = i;
      }
      starts.push_back({piece.col(start), piece.row(start), 0});
    }
  return starts;
}
