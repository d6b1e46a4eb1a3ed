// Distances along the white skeleton lines of a picture: 1 a step to a side
// neighbour, the square root of 2 to a corner one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <queue>
#include <utility>
#include <vector>

#include "roots/sci_doc.h"

// The white pixels of pixels (width x height, row 0 at the bottom) and the
// ways between them; pixels are known by their index r * width + c.
class SkeletonDistances {
 public:
  static constexpr float kUnreached = std::numeric_limits<float>::infinity();
  static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

  SkeletonDistances(const std::vector<std::uint32_t>& pixels, int width, int height)
      : m_pixels(pixels), m_width(width), m_height(height) {}

  int col(std::size_t i) const { return static_cast<int>(i % static_cast<std::size_t>(m_width)); }
  int row(std::size_t i) const { return static_cast<int>(i / static_cast<std::size_t>(m_width)); }
  bool white(std::size_t i) const { return (m_pixels[i] & kWhitePixel) == kWhitePixel; }

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
        if (white(n)) f(n, dr != 0 && dc != 0 ? kDiagonal : 1.0F);
      }
  }

  // The distances along the skeleton from pixel from to every pixel of its
  // piece, which reached lists (from first); the distances of the pixels
  // reached before are set back to kUnreached first. With through, the pixel
  // each one is reached through by its shortest way (kNone for from itself,
  // left as it was for the pixels not reached).
  void distancesFrom(std::size_t from, std::vector<float>& distance, std::vector<std::size_t>& reached,
                     std::vector<std::uint32_t>* through = nullptr) const {
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
          if (through != nullptr) (*through)[n] = static_cast<std::uint32_t>(i);
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
