// The main root of the true-length mode: at each junction, the branch that
// carries on the direction the root was coming from, weighed against its
// reach.
#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

#include "roots/detail/segment_walk.h"
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
// look-ahead of the root that goes on.
ContourPoint PointAhead(const KW_Segment& child, const ContourPoint& junction, double reach, double inCol,
                        double inRow, const FarthestMap& farthest) {
  const KW_Segment* at = &child;
  ContourPoint last = child.point.empty() ? junction : child.point.front();
  const auto away = [&](const ContourPoint& p) {
    return std::hypot(static_cast<double>(p.col - junction.col), static_cast<double>(p.row - junction.row));
  };
  const double inLength = std::hypot(inCol, inRow);
  while (true) {
    for (const ContourPoint& p : at->point) {
      last = p;
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

}  // namespace

void StraightestPath(const KW_Segment& first, double reachPixels, std::vector<std::int32_t>& path) {
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
      double bestScore = std::numeric_limits<double>::infinity();
      for (std::size_t i = 0; i < children.size(); ++i) {
        const double branchReach = farthest[children[i].get()] - start;
        if (branchReach < kLeastReach * most || branchReach <= 0.0) continue;
        const ContourPoint ahead = PointAhead(*children[i], junction, reach, inCol, inRow, farthest);
        if (ahead.col == junction.col && ahead.row == junction.row) continue;
        const double bend =
            std::fabs(Turn(DirectionOf(ahead.col - junction.col, ahead.row - junction.row), expected));
        const double score = bend + kHalfReachPenalty * std::log2(most / branchReach);
        if (score < bestScore) {
          bestScore = score;
          choice = i;
        }
      }
    }
    path.push_back(static_cast<std::int32_t>(choice));
    at = children[choice].get();
    trail.insert(trail.end(), at->point.begin(), at->point.end());
  }
  path.push_back(-1);
}
