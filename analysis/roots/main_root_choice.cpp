// The main root of the true-length mode: at each junction, the branch that
// carries on the direction and the width of the root coming in, weighed
// against its reach.
#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

#include "roots/detail/segment_walk.h"
#include "roots/root_ends.h"
#include "roots/root_measures.h"

namespace {

constexpr double kPi = 3.141592653589793;
// How many pixels of a branch give its first heading at a junction inside
// the look-ahead window.
constexpr std::size_t kFirstHeadingPoints = 8;

double DirectionOf(double col, double row) { return std::atan2(col, -row) * 180.0 / kPi; }

// a - b wrapped into -180..180 degrees.
double Turn(double a, double b) {
  double d = std::fmod(a - b, 360.0);
  if (d > 180.0) d -= 360.0;
  if (d < -180.0) d += 360.0;
  return d;
}

using FarthestMap = std::unordered_map<const KW_Segment*, double>;

// The point about reach pixels on from junction into child: along child's
// points and on, at each junction below, into the branch that keeps
// closest to the direction (inCol, inRow) the root came from, among those
// that reach at least kLeastReach as far as the farthest there. So neither
// a lateral just below the junction nor a spur of thinning bends the
// look-ahead of the root that goes on. visit sees every point on the way.
template <class Visit>
ContourPoint PointAhead(const KW_Segment& child, const ContourPoint& junction, double reach, double inCol,
                        double inRow, const FarthestMap& farthest, Visit&& visit) {
  const KW_Segment* at = &child;
  ContourPoint last = child.point.empty() ? junction : child.point.front();
  const auto away = [&](const ContourPoint& p) {
    return std::hypot(static_cast<double>(p.col - junction.col), static_cast<double>(p.row - junction.row));
  };
  const double inLength = std::hypot(inCol, inRow);
  while (true) {
    for (const ContourPoint& p : at->point) {
      last = p;
      visit(p);
      if (away(p) >= reach) return last;
    }
    double most = 0.0;
    for (const auto& c : at->segment_children)
      most = std::max(most, farthest.at(c.get()) - at->length_total_begin);
    const KW_Segment* next = nullptr;
    double bestCos = -2.0;
    for (const auto& c : at->segment_children) {
      if (c->point.empty() || farthest.at(c.get()) - at->length_total_begin < kLeastReach * most) continue;
      const ContourPoint& p = c->point[std::min(c->point.size() - 1, kFirstHeadingPoints)];
      const double col = p.col - last.col, row = p.row - last.row;
      const double length = std::hypot(col, row);
      const double cosine =
          inLength > 0.0 && length > 0.0 ? (col * inCol + row * inRow) / (length * inLength) : -1.0;
      if (cosine > bestCos) {
        bestCos = cosine;
        next = c.get();
      }
    }
    if (next == nullptr) return last;
    at = next;
  }
}

double Distance(const ContourPoint& a, const ContourPoint& b) {
  return std::hypot(static_cast<double>(a.col - b.col), static_cast<double>(a.row - b.row));
}

// The half width of the root coming into junction along trail (junction
// last): along its points from half the reach before the junction to one
// and a half, clear of the junction's own spread of the shapes.
double IncomingHalfWidth(const ShapeMask& shapes, const std::vector<ContourPoint>& trail, double reach) {
  std::vector<ContourPoint> points;
  const ContourPoint& junction = trail.back();
  for (std::size_t k = trail.size(); k-- > 0;) {
    const double d = Distance(trail[k], junction);
    if (d > 1.5 * reach) break;
    if (d >= 0.5 * reach) points.push_back(trail[k]);
  }
  return MedianDistanceToEdge(shapes, points);
}

// A branch at a junction, as the main root's way on.
struct Candidate {
  std::size_t index = 0;
  double reach = 0.0;      // pixels beyond the junction
  double bend = 0.0;       // degrees off the way the root came
  double score = 0.0;      // bend, with what its reach and width cost
  double halfWidth = 0.0;  // 0: not known
};

}  // namespace

void StraightestPath(const KW_Segment& first, double reachPixels, std::vector<std::int32_t>& path,
                     const ShapeMask* shapes) {
  // The farthest distance from the plant's start reached below each segment.
  FarthestMap farthest;
  std::vector<std::pair<const KW_Segment*, const KW_Segment*>> order;  // (segment, parent), parents first
  WalkSegments(first, [&](const KW_Segment& s, const WalkStep<const KW_Segment>& step) {
    farthest[&s] = s.length_total_begin;
    order.emplace_back(&s, step.parent);
    return WalkNext::Children;
  });
  for (std::size_t k = order.size(); k-- > 1;) {
    double& up = farthest[order[k].second];
    up = std::max(up, farthest[order[k].first]);
  }
  const double reach = std::max(reachPixels, 4.0);
  const auto window = static_cast<std::size_t>(std::lround(reach));
  path.clear();
  std::vector<ContourPoint> trail(first.point.begin(), first.point.end());
  const KW_Segment* at = &first;
  while (!at->segment_children.empty()) {
    const auto& children = at->segment_children;
    const double start = at->length_total_begin;
    std::size_t farthestChild = 0;
    for (std::size_t i = 1; i < children.size(); ++i)
      if (farthest[children[i].get()] > farthest[children[farthestChild].get()]) farthestChild = i;
    const double most = farthest[children[farthestChild].get()] - start;
    std::size_t choice = farthestChild;
    if (children.size() > 1 && trail.size() >= kLeastTrail && most > 0.0) {
      // The way the root came, over the window before the junction. (Carrying
      // on the turn it was taking misleads where a wavy root changes its
      // bend: on generated plates with 35-degree bends it sent one main root
      // in fifty down a lateral.)
      const std::size_t n = trail.size() - 1;
      const ContourPoint& junction = trail[n];
      const ContourPoint& back = trail[n > window ? n - window : 0];
      const double inCol = junction.col - back.col, inRow = junction.row - back.row;
      const double expected = DirectionOf(inCol, inRow);
      // The width of the root coming in, and of each branch beyond the
      // junction's spread (a lateral's line runs through its parent's
      // shape before it leaves it).
      const bool widths = shapes != nullptr && shapes->usable();
      const double inHalf = widths ? IncomingHalfWidth(*shapes, trail, reach) : 0.0;
      const double clear = 2.0 * inHalf + 1.0;
      std::vector<Candidate> candidates;
      std::vector<ContourPoint> beyond;
      for (std::size_t i = 0; i < children.size(); ++i) {
        const double branchReach = farthest[children[i].get()] - start;
        if (branchReach < kLeastReach * most || branchReach <= 0.0) continue;
        beyond.clear();
        const ContourPoint ahead =
            PointAhead(*children[i], junction, reach, inCol, inRow, farthest, [&](const ContourPoint& p) {
              if (inHalf > 0.0 && Distance(p, junction) >= clear) beyond.push_back(p);
            });
        if (ahead.col == junction.col && ahead.row == junction.row) continue;
        Candidate c{i, branchReach, 0.0, 0.0, inHalf > 0.0 ? MedianDistanceToEdge(*shapes, beyond) : 0.0};
        c.bend = std::fabs(Turn(DirectionOf(ahead.col - junction.col, ahead.row - junction.row), expected));
        c.score = c.bend + kHalfReachPenalty * std::log2(most / branchReach);
        if (c.halfWidth > 0.0)
          c.score += kWidthRatioPenalty *
                     std::max(0.0, std::fabs(std::log2(c.halfWidth / inHalf)) - std::log2(kSameWidthRatio));
        candidates.push_back(c);
      }
      // A branch plainly narrower than the root coming in that leaves it at
      // a wide angle is a lateral where a branch of the root's own width
      // carries it on straighter and farther. (Not whatever its reach: where
      // a lateral crosses a root, thinning may leave the root's way on only
      // through a loop along the lateral, narrow and turning back.)
      const auto carriesOn = [&](const Candidate& c) {
        return c.halfWidth >= kLateralWidthShare * inHalf && c.halfWidth > 0.0;
      };
      const auto plainLateral = [&](const Candidate& c) {
        if (c.halfWidth <= 0.0 || c.halfWidth >= kLateralWidthShare * inHalf || c.bend < kLateralBend)
          return false;
        return std::any_of(candidates.begin(), candidates.end(), [&](const Candidate& o) {
          return carriesOn(o) && o.bend < c.bend && o.reach > c.reach;
        });
      };
      double bestScore = std::numeric_limits<double>::infinity();
      for (const Candidate& c : candidates)
        if (c.score < bestScore && !plainLateral(c)) {
          bestScore = c.score;
          choice = c.index;
        }
    }
    path.push_back(static_cast<std::int32_t>(choice));
    at = children[choice].get();
    trail.insert(trail.end(), at->point.begin(), at->point.end());
  }
  path.push_back(-1);
}
