#include "roots/detail/gap_bridging.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <numeric>

#include "roots/detail/skeleton_distances.h"
#include "roots/sci_doc.h"

namespace {

struct Piece {
  int topCol = 0, topRow = -1;        // its highest pixel
  int bottomCol = 0, bottomRow = -1;  // its lowest pixel
};

// Where a root of a piece ends: its lowest pixel, or a free end the root
// comes down to.
struct End {
  int col = 0, row = 0;
  int piece = 0;
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
  const SkeletonDistances skeleton(pixels, width, height);
  // The pieces: 8-connected white pixels, each with its highest and lowest
  // pixel, and each white pixel's piece (kNoPiece: black).
  constexpr std::int32_t kNoPiece = -1;
  std::vector<std::int32_t> pieceOf(pixels.size(), kNoPiece);
  std::vector<Piece> pieces;
  std::vector<End> ends;
  std::vector<std::size_t> stack;
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) {
      if (pieceOf[at(c, r)] != kNoPiece || !skeleton.white(at(c, r))) continue;
      const auto label = static_cast<std::int32_t>(pieces.size());
      Piece piece;
      pieceOf[at(c, r)] = label;
      stack.push_back(at(c, r));
      while (!stack.empty()) {
        const std::size_t i = stack.back();
        stack.pop_back();
        const int pc = skeleton.col(i), pr = skeleton.row(i);
        if (pr > piece.topRow) piece = {pc, pr, piece.bottomCol, piece.bottomRow};
        if (piece.bottomRow < 0 || pr < piece.bottomRow) {
          piece.bottomCol = pc;
          piece.bottomRow = pr;
        }
        int neighbours = 0, neighbourRow = 0;
        skeleton.neighbours(i, [&](std::size_t n, float) {
          ++neighbours;
          neighbourRow = skeleton.row(n);
          if (pieceOf[n] != kNoPiece) return;
          pieceOf[n] = label;
          stack.push_back(n);
        });
        // A root ending here comes from above or aside, not from below.
        if (neighbours == 1 && neighbourRow >= pr) ends.push_back({pc, pr, label});
      }
      ends.push_back({piece.bottomCol, piece.bottomRow, label});
      pieces.push_back(piece);
    }
  if (pieces.size() < 2) return;
  // The ends by their row, to look only at those within reach above a
  // piece's top.
  std::sort(ends.begin(), ends.end(), [](const End& a, const End& b) { return a.row < b.row; });
  std::vector<int> parent(pieces.size());
  std::iota(parent.begin(), parent.end(), 0);
  const double slope = std::tan(30.0 * 3.14159265358979323846 / 180.0);
  for (std::size_t a = 0; a < pieces.size(); ++a) {
    const Piece& lower = pieces[a];
    const auto first = std::upper_bound(ends.begin(), ends.end(), lower.topRow,
                                        [](int row, const End& e) { return row < e.row; });
    const End* best = nullptr;
    double bestDistance = 0.0;
    for (auto it = first; it != ends.end(); ++it) {
      const int rise = it->row - lower.topRow;
      if (rise > reach) break;
      const int side = std::abs(it->col - lower.topCol);
      if (side > slope * rise) continue;
      const double distance = std::hypot(rise, side);
      if (distance > reach || Root(parent, it->piece) == Root(parent, static_cast<int>(a))) continue;
      if (best == nullptr || distance < bestDistance) {
        best = &*it;
        bestDistance = distance;
      }
    }
    if (best == nullptr) continue;
    // A line of single pixels from the top below up towards the end above,
    // as far as the first line of another piece it meets: the gap is no
    // longer than that. Drawn on, it would cross or run alongside the lines
    // between (the end may be that of a spur beyond its own root), and
    // leave blocks of pixels where the line follower loses its way.
    const int steps = std::max(std::abs(best->col - lower.topCol), best->row - lower.topRow);
    const auto self = static_cast<std::int32_t>(a);
    std::int32_t met = kNoPiece;
    for (int k = 1; k <= steps && met == kNoPiece; ++k) {
      const double t = static_cast<double>(k) / steps;
      const int c = static_cast<int>(std::lround(lower.topCol + t * (best->col - lower.topCol)));
      const int r = static_cast<int>(std::lround(lower.topRow + t * (best->row - lower.topRow)));
      if (pieceOf[at(c, r)] != kNoPiece && pieceOf[at(c, r)] != self) {
        met = pieceOf[at(c, r)];
        break;
      }
      pixels[at(c, r)] = kWhitePixel;
      pieceOf[at(c, r)] = self;
      skeleton.neighbours(at(c, r), [&](std::size_t n, float) {
        if (met == kNoPiece && pieceOf[n] != self) met = pieceOf[n];
      });
    }
    if (met == kNoPiece) met = best->piece;
    parent[static_cast<std::size_t>(Root(parent, static_cast<int>(a)))] = Root(parent, met);
  }
}
