#include "roots/root_ends.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "roots/detail/lateral_walk.h"
#include "roots/detail/segment_walk.h"

namespace {

// Points gathered before a free end: enough for the half width and the way
// of the widest roots (a half width of 20 pixels), few enough that a tree of
// thousands of tips costs little.
constexpr std::size_t kPointsBeforeEnd = 64;
constexpr int kEdgeSearchLimit = 32;
constexpr double kMarchStep = 0.25;
constexpr double kPi = 3.141592653589793;

}  // namespace

bool ShapeMask::usable() const {
  return width > 0 && height > 0 &&
         bits.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

bool ShapeMask::inside(int c, int r) const {
  return c >= 0 && r >= 0 && c < width && r < height &&
         bits[static_cast<std::size_t>(c) + static_cast<std::size_t>(r) * static_cast<std::size_t>(width)];
}

double DistanceToEdge(const ShapeMask& shapes, int c, int r, int limit) {
  // Rings of growing size: a pixel of ring k lies at least k away, so the
  // search ends once k passes the nearest found.
  double best = limit;
  for (int k = 1; k <= limit && k < best; ++k)
    for (int dr = -k; dr <= k; ++dr) {
      const int step = (dr == -k || dr == k) ? 1 : 2 * k;
      for (int dc = -k; dc <= k; dc += step)
        if (!shapes.inside(c + dc, r + dr)) best = std::min(best, std::hypot(dc, dr));
    }
  return best;
}

double MedianDistanceToEdge(const ShapeMask& shapes, std::span<const ContourPoint> points) {
  std::vector<double> distances;
  distances.reserve(points.size());
  for (const ContourPoint& p : points)
    distances.push_back(DistanceToEdge(shapes, p.col, p.row, kEdgeSearchLimit));
  if (distances.empty()) return 0.0;
  const auto middle = distances.begin() + static_cast<std::ptrdiff_t>(distances.size() / 2);
  std::nth_element(distances.begin(), middle, distances.end());
  return *middle;
}

namespace {

// How many points of a root of that half width give its way.
std::size_t WayPoints(double halfWidth) {
  return std::max(kTipDirectionPoints, static_cast<std::size_t>(std::ceil(kTipDirectionWidths * halfWidth)));
}

// The distance from p along the unit vector (dc, dr) to the first point
// outside the shapes; limit when there is none before it.
double EdgeAlong(const ShapeMask& shapes, const ContourPoint& p, double dc, double dr, double limit) {
  double t = 0.0;
  while (t < limit && shapes.inside(static_cast<int>(std::lround(p.col + t * dc)),
                                    static_cast<int>(std::lround(p.row + t * dr))))
    t += kMarchStep;
  return std::min(t, limit);
}

}  // namespace

double TipExtension(const ShapeMask& shapes, std::span<const ContourPoint> toTip) {
  const std::size_t n = toTip.size();
  if (n < 2 || !shapes.usable()) return 0.0;
  const ContourPoint& end = toTip[n - 1];
  if (!shapes.inside(end.col, end.row)) return 0.0;
  const double halfWidth = MedianDistanceToEdge(shapes, toTip.subspan(n - std::min(n, kHalfWidthPoints)));
  const ContourPoint& from = toTip[n - 1 - std::min(n - 1, WayPoints(halfWidth))];
  const double dc = end.col - from.col;
  const double dr = end.row - from.row;
  const double length = std::hypot(dc, dr);
  if (length == 0.0) return 0.0;
  const double edge = EdgeAlong(shapes, end, dc / length, dr / length, 4.0 * halfWidth + 8.0);
  return std::max(0.0, edge - halfWidth);
}

double BaseExtension(const ShapeMask& shapes, std::span<const ContourPoint> parentPoints, std::size_t at,
                     std::span<const ContourPoint> lateralPoints) {
  const std::size_t n = parentPoints.size();
  if (!shapes.usable() || at >= n || n < 2 || lateralPoints.empty()) return 0.0;
  const ContourPoint& junction = parentPoints[at];
  if (!shapes.inside(junction.col, junction.row)) return 0.0;
  const std::size_t first = at - std::min(at, kParentWidthPoints);
  const std::size_t last = std::min(n - 1, at + kParentWidthPoints);
  const double parentHalfWidth = MedianDistanceToEdge(shapes, parentPoints.subspan(first, last - first + 1));
  // The parent's way through the junction, and the lateral's away from it.
  const std::size_t reach = WayPoints(parentHalfWidth);
  const ContourPoint& before = parentPoints[at - std::min(at, reach)];
  const ContourPoint& after = parentPoints[std::min(n - 1, at + reach)];
  const double pc = after.col - before.col;
  const double pr = after.row - before.row;
  const double lateralHalfWidth =
      MedianDistanceToEdge(shapes, lateralPoints.first(std::min(lateralPoints.size(), kHalfWidthPoints)));
  const ContourPoint& ahead = lateralPoints[std::min(lateralPoints.size() - 1, WayPoints(lateralHalfWidth))];
  const double lc = ahead.col - junction.col;
  const double lr = ahead.row - junction.row;
  const double parentLength = std::hypot(pc, pr);
  const double lateralLength = std::hypot(lc, lr);
  if (parentLength == 0.0 || lateralLength == 0.0) return 0.0;
  const double sine = std::fabs(pc * lr - pr * lc) / (parentLength * lateralLength);
  if (sine < std::sin(kLeastBranchAngle * kPi / 180.0)) return 0.0;
  // Backwards along the lateral's line, the parent's centre line lies one
  // half width (as the line crosses it) short of the far edge.
  const double crossing = parentHalfWidth / sine;
  const double edge =
      EdgeAlong(shapes, junction, -lc / lateralLength, -lr / lateralLength, 4.0 * crossing + 8.0);
  return std::clamp(edge - crossing, 0.0, (parentHalfWidth + 1.0) / sine);
}

void ExtendFreeEnds(RootTree& tree, const ShapeMask& shapes) {
  if (!tree.first_segment) return;
  std::vector<KW_Segment*> chain;  // from the first segment to the one visited
  std::vector<ContourPoint> toTip;
  WalkSegments(*tree.first_segment, [&](KW_Segment& s, const WalkStep<KW_Segment>& step) {
    chain.resize(step.depth());
    chain.push_back(&s);
    s.tipExtension = 0.0;
    if (!s.segment_children.empty()) return WalkNext::Children;
    // The last points up to the end, gathered backwards through the chain.
    toTip.clear();
    for (std::size_t k = chain.size(); k-- > 0 && toTip.size() < kPointsBeforeEnd;) {
      const std::vector<ContourPoint>& points = chain[k]->point;
      const std::size_t take = std::min(points.size(), kPointsBeforeEnd - toTip.size());
      toTip.insert(toTip.begin(), points.end() - static_cast<std::ptrdiff_t>(take), points.end());
    }
    s.tipExtension = TipExtension(shapes, toTip);
    return WalkNext::Children;
  });
}

void ExtendLateralBases(RootTree& tree, const ShapeMask& shapes) {
  if (!tree.first_segment) return;
  WalkSegments(*tree.first_segment, [](KW_Segment& s, const WalkStep<KW_Segment>&) {
    s.baseExtension = 0.0;
    return WalkNext::Children;
  });
  if (!shapes.usable()) return;
  std::vector<ContourPoint> lateral;
  WalkRootPaths(
      tree, false,
      [&](const std::vector<KW_Segment*>& along, const std::vector<ContourPoint>& points,
          const std::vector<std::size_t>& ends) {
        for (std::size_t k = 0; k < along.size(); ++k) {
          const KW_Segment* next = k + 1 < along.size() ? along[k + 1] : nullptr;
          for (const auto& child : along[k]->segment_children) {
            if (child.get() == next) continue;
            // The lateral's first points, along its own path.
            lateral.clear();
            const KW_Segment* on = child.get();
            for (std::size_t depth = 0; on != nullptr && lateral.size() < kPointsBeforeEnd; ++depth) {
              const std::size_t take = std::min(on->point.size(), kPointsBeforeEnd - lateral.size());
              lateral.insert(lateral.end(), on->point.begin(),
                             on->point.begin() + static_cast<std::ptrdiff_t>(take));
              on = PathChild(*on, child->path_longest, depth);
            }
            if (!points.empty()) child->baseExtension = BaseExtension(shapes, points, ends[k], lateral);
          }
        }
      });
}
