// Tiny skeleton pictures drawn straight into an analysis document, and
// segment trees built by hand.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "roots/root_records.h"
#include "roots/sci_doc.h"
#include "support/test_env.h"

namespace rootstest {

// A document holding a black picture of width x height.
inline void MakeBlack(KW_SciDoc& doc, int width, int height) {
  doc.width = width;
  doc.height = height;
  doc.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0U);
}

// Paints the rectangle of columns left..right-1 and rows top..bottom-1,
// rows counted from the top of the picture.
inline void PaintRect(KW_SciDoc& doc, int left, int top, int right, int bottom, std::uint32_t colour) {
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) doc.At(x, doc.height - 1 - y) = colour;
}

// Paints the straight (horizontal, vertical or 45-degree) line from
// (c0, r0) to (c1, r1), both ends included.
inline void DrawLine(KW_SciDoc& doc, int c0, int r0, int c1, int r1, std::uint32_t colour = 0xFFFFFFU) {
  const int dc = (c1 > c0) - (c1 < c0);
  const int dr = (r1 > r0) - (r1 < r0);
  for (int c = c0, r = r0;; c += dc, r += dr) {
    doc.At(c, r) = colour;
    if (c == c1 && r == r1) break;
  }
}

// The points of the same straight line, in order.
inline std::vector<ContourPoint> LinePoints(int c0, int r0, int c1, int r1) {
  std::vector<ContourPoint> points;
  const int dc = (c1 > c0) - (c1 < c0);
  const int dr = (r1 > r0) - (r1 < r0);
  for (int c = c0, r = r0;; c += dc, r += dr) {
    points.push_back({c, r, 0});
    if (c == c1 && r == r1) break;
  }
  return points;
}

inline std::unique_ptr<KW_Segment> Segment(std::vector<ContourPoint> points) {
  auto s = std::make_unique<KW_Segment>();
  s->nbr_point = static_cast<std::int32_t>(points.size());
  s->point = std::move(points);
  return s;
}

inline std::vector<ContourPoint> Positions(const KW_Segment& s) {
  std::vector<ContourPoint> out;
  for (const ContourPoint& p : s.point) out.push_back({p.col, p.row, 0});
  return out;
}

inline int CountNonBlack(const KW_SciDoc& doc) {
  int n = 0;
  for (const std::uint32_t px : doc.pixels) n += px != 0U ? 1 : 0;
  return n;
}

// Skeleton lines in a picture of their own, rows counted from the bottom.
struct Skeleton {
  Skeleton(int w, int h)
      : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0U) {}
  std::size_t index(int c, int r) const {
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + static_cast<std::size_t>(c);
  }
  // A line of single pixels from (c0, r0) to (c1, r1), straight or at 45 degrees.
  void line(int c0, int r0, int c1, int r1) {
    const int steps = std::max(std::abs(c1 - c0), std::abs(r1 - r0));
    for (int k = 0; k <= steps; ++k)
      pixels[index(c0 + (c1 - c0) * k / std::max(steps, 1), r0 + (r1 - r0) * k / std::max(steps, 1))] =
          kWhitePixel;
  }
  bool white(int c, int r) const { return pixels[index(c, r)] == kWhitePixel; }
  int count() const {
    int n = 0;
    for (const std::uint32_t p : pixels) n += p == kWhitePixel ? 1 : 0;
    return n;
  }
  // The number of 8-connected pieces.
  int pieces() const {
    std::vector<bool> seen(pixels.size(), false);
    int n = 0;
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < width; ++c) {
        if (!white(c, r) || seen[index(c, r)]) continue;
        ++n;
        std::vector<std::pair<int, int>> stack{{c, r}};
        seen[index(c, r)] = true;
        while (!stack.empty()) {
          const auto [pc, pr] = stack.back();
          stack.pop_back();
          for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc) {
              const int nc = pc + dc, nr = pr + dr;
              if (nc < 0 || nr < 0 || nc >= width || nr >= height || !white(nc, nr) || seen[index(nc, nr)])
                continue;
              seen[index(nc, nr)] = true;
              stack.emplace_back(nc, nr);
            }
        }
      }
    return n;
  }

  int width;
  int height;
  std::vector<std::uint32_t> pixels;
};

// A document for the adaptive pipeline in the true-length mode, in a home
// folder of its own.
class AdaptiveDocTest : public testenv::HomeTest {
 protected:
  void SetUp() override {
    HomeTest::SetUp();
    doc.setColourSeed(3U);
    doc.settings.pipeline = Pipeline::Adaptive;
    doc.settings.lengths = LengthMode::True;
  }
  KW_SciDoc doc;
  std::string problem;
};

// How often needle occurs in text.
inline int Occurrences(const std::string& text, const std::string& needle) {
  int n = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

}  // namespace rootstest
