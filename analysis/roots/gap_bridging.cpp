#include "roots/detail/gap_bridging.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <numeric>

#include "roots/sci_doc.h"

namespace {

struct Piece {
  int topCol = 0, topRow = -1;        // its highest pixel
  int bottomCol = 0, bottomRow = -1;  // its lowest pixel
};

int Root(std::vector<int>& parent, int i) {
  while (parent[static_cast<std::size_t>(i)] != i) {
    parent[static_cast<std::size_t>(i)] =
        parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
    i = parent[static_cast<std::size_t>(i)];
  }
  return i;
}

}  // namespace

void BridgeRootGaps(std::vector<std::uint32_t>& pixels, int width, int height, int reach) {
  if (width <= 0 || height <= 0 || reach <= 0 ||
      pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    return;
  const auto at = [width](int c, int r) {
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + static_cast<std::size_t>(c);
  };
  const auto white = [&](std::size_t i) { return (pixels[i] & kWhitePixel) == kWhitePixel; };
  // The pieces: 8-connected white pixels, each with its highest and lowest
  // pixel.
  std::vector<bool> seen(pixels.size(), false);
  std::vector<Piece> pieces;
  std::vector<std::size_t> stack;
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) {
      if (seen[at(c, r)] || !white(at(c, r))) continue;
      Piece piece;
      seen[at(c, r)] = true;
      stack.push_back(at(c, r));
      while (!stack.empty()) {
        const std::size_t i = stack.back();
        stack.pop_back();
        const int pc = static_cast<int>(i % static_cast<std::size_t>(width));
        const int pr = static_cast<int>(i / static_cast<std::size_t>(width));
        if (pr > piece.topRow) piece = {pc, pr, piece.bottomCol, piece.bottomRow};
        if (piece.bottomRow < 0 || pr < piece.bottomRow) {
          piece.bottomCol = pc;
          piece.bottomRow = pr;
        }
        for (int dr = -1; dr <= 1; ++dr)
          for (int dc = -1; dc <= 1; ++dc) {
            const int nc = pc + dc, nr = pr + dr;
            if (nc < 0 || nr < 0 || nc >= width || nr >= height) continue;
            const std::size_t n = at(nc, nr);
            if (seen[n] || !white(n)) continue;
            seen[n] = true;
            stack.push_back(n);
          }
      }
      pieces.push_back(piece);
    }
  if (pieces.size() < 2) return;
  // The pieces by the row of their lowest pixel, to look only at the ends
  // within reach above a piece's top.
  std::vector<int> byBottom(pieces.size());
  std::iota(byBottom.begin(), byBottom.end(), 0);
  std::sort(byBottom.begin(), byBottom.end(), [&](int a, int b) {
    return pieces[static_cast<std::size_t>(a)].bottomRow < pieces[static_cast<std::size_t>(b)].bottomRow;
  });
  std::vector<int> parent(pieces.size());
  std::iota(parent.begin(), parent.end(), 0);
  const double slope = std::tan(30.0 * 3.14159265358979323846 / 180.0);
  for (std::size_t a = 0; a < pieces.size(); ++a) {
    const Piece& lower = pieces[a];
    const auto first = std::upper_bound(byBottom.begin(), byBottom.end(), lower.topRow, [&](int row, int b) {
      return row < pieces[static_cast<std::size_t>(b)].bottomRow;
    });
    int best = -1;
    double bestDistance = 0.0;
    for (auto it = first; it != byBottom.end(); ++it) {
      const Piece& upper = pieces[static_cast<std::size_t>(*it)];
      const int rise = upper.bottomRow - lower.topRow;
      if (rise > reach) break;
      const int side = std::abs(upper.bottomCol - lower.topCol);
      if (side > slope * rise) continue;
      const double distance = std::hypot(rise, side);
      if (distance > reach || Root(parent, *it) == Root(parent, static_cast<int>(a))) continue;
      if (best < 0 || distance < bestDistance) {
        best = *it;
        bestDistance = distance;
      }
    }
    if (best < 0) continue;
    const Piece& upper = pieces[static_cast<std::size_t>(best)];
    // A line of single pixels from the end above down to the top below.
    const int steps = std::max(std::abs(upper.bottomCol - lower.topCol), upper.bottomRow - lower.topRow);
    for (int k = 0; k <= steps; ++k) {
      const double t = steps == 0 ? 0.0 : static_cast<double>(k) / steps;
      const int c = static_cast<int>(std::lround(upper.bottomCol + t * (lower.topCol - upper.bottomCol)));
      const int r = static_cast<int>(std::lround(upper.bottomRow + t * (lower.topRow - upper.bottomRow)));
      pixels[at(c, r)] = kWhitePixel;
    }
    parent[static_cast<std::size_t>(Root(parent, static_cast<int>(a)))] = Root(parent, best);
  }
}
