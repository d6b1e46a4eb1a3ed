// The geometry of root measures: path lengths in both length modes, chords,
// angles, and the paths a main root and its laterals follow through a tree.
#include "roots/root_measures.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/kw_log.h"
#include "roots/detail/lateral_walk.h"
#include "roots/detail/log_buffer.h"
#include "roots/detail/segment_walk.h"

namespace {

constexpr double kPi = 3.141592653589793;

double Distance(const ContourPoint& p, const ContourPoint& q) {
  const double dc = static_cast<double>(p.col) - q.col;
  const double dr = static_cast<double>(p.row) - q.row;
  return std::sqrt(dc * dc + dr * dr);
}

}  // namespace

double PathLength(const KW_Segment& s) {
  if (s.point.size() < 2) return 1.0;
  double length = 1.0;
  for (std::size_t k = 1; k < s.point.size(); ++k) {
    const double dc = static_cast<double>(s.point[k].col) - s.point[k - 1].col;
    const double dr = static_cast<double>(s.point[k].row) - s.point[k - 1].row;
    const auto squares = static_cast<float>(dc * dc + dr * dr);
    const float step = std::sqrt(squares);
    length += static_cast<double>(step);
  }
  return length;
}

std::vector<SmoothedPoint> SmoothedPoints(std::span<const ContourPoint> points, int halfWindow) {
  const std::size_t n = points.size();
  std::vector<SmoothedPoint> smoothed;
  if (n == 0) return smoothed;
  smoothed.reserve(n);
  // Running sums, so each mean costs two subtractions whatever the window.
  std::vector<double> sumCol(n + 1, 0.0);
  std::vector<double> sumRow(n + 1, 0.0);
  for (std::size_t k = 0; k < n; ++k) {
    sumCol[k + 1] = sumCol[k] + points[k].col;
    sumRow[k + 1] = sumRow[k] + points[k].row;
  }
  const auto window = static_cast<std::size_t>(std::max(halfWindow, 0));
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t half = std::min({window, i, n - 1 - i});
    const auto count = static_cast<double>(2 * half + 1);
    smoothed.push_back({(sumCol[i + half + 1] - sumCol[i - half]) / count,
                        (sumRow[i + half + 1] - sumRow[i - half]) / count});
  }
  return smoothed;
}

std::vector<double> SmoothedArcLengths(std::span<const ContourPoint> points, int halfWindow) {
  const std::vector<SmoothedPoint> smoothed = SmoothedPoints(points, halfWindow);
  std::vector<double> arc;
  if (smoothed.empty()) return arc;
  arc.reserve(smoothed.size());
  double length = 0.0;
  arc.push_back(0.0);
  for (std::size_t i = 1; i < smoothed.size(); ++i) {
    length += std::hypot(smoothed[i].col - smoothed[i - 1].col, smoothed[i].row - smoothed[i - 1].row);
    arc.push_back(length);
  }
  return arc;
}

double SmoothedPathLength(std::span<const ContourPoint> points, int halfWindow) {
  const std::vector<double> arc = SmoothedArcLengths(points, halfWindow);
  return arc.empty() ? 0.0 : arc.back();
}

double TrueSegmentLength(const KW_Segment& s, const KW_Segment* parent) {
  if (parent == nullptr || parent->point.empty()) return SmoothedPathLength(s.point);
  std::vector<ContourPoint> points;
  points.reserve(s.point.size() + 1);
  points.push_back(parent->point.back());
  points.insert(points.end(), s.point.begin(), s.point.end());
  return SmoothedPathLength(points);
}

double ChordLength(const ContourPoint& p, const ContourPoint& q, LogBuffer& log) {
  const double d = Distance(p, q);
  log.addF("straightness_calcul:denominateur %f\n", d);
  return d + 1.0;
}

double ChordLength(const LogSink& sink, const ContourPoint& p, const ContourPoint& q) {
  LogBuffer log(sink, logname::kMath);
  return ChordLength(p, q, log);
}

double DirectionAngle(const ContourPoint& p, const ContourPoint& q) {
  const double dr = static_cast<double>(p.row) - q.row;
  const double d = Distance(p, q);
  if (d == 0.0) return 0.0;
  // The angle to the vertical, 0 to 90, turned round when the end lies
  // higher than the start and negative when it lies to the left.
  double t = std::acos(std::fabs(dr) / d) * 180.0 / kPi;
  if (p.row < q.row) t = 180.0 - t;
  if (p.col > q.col) t = -t;
  return t;
}

bool LongestPath(const KW_Segment& s, double target, std::vector<std::int32_t>& path) {
  // The tip found first in walk order wins ties.
  path.clear();
  const bool found = WalkSegments(s, [&](const KW_Segment& x, const WalkStep<const KW_Segment>& step) {
    if (x.length_total_begin != target) return WalkNext::Children;
    path.assign(step.path.begin(), step.path.end());
    return WalkNext::Stop;
  });
  path.push_back(-1);
  if (!found) path.assign(1, -1);
  return found;
}

void RefineTrueLengths(RootTree& tree) {
  if (!tree.first_segment) return;
  KW_Segment& first = *tree.first_segment;
  // Each root smoothed along its own path, a lateral from its branching point.
  WalkRootPaths(tree, true,
                [](const std::vector<KW_Segment*>& along, const std::vector<ContourPoint>& points,
                   const std::vector<std::size_t>& ends) {
                  const std::vector<double> arc = SmoothedArcLengths(points);
                  double before = 0.0;
                  for (std::size_t k = 0; k < along.size(); ++k) {
                    const double upTo = arc.empty() ? 0.0 : arc[ends[k]];
                    along[k]->length = upTo - before + along[k]->tipExtension + along[k]->baseExtension;
                    before = upTo;
                  }
                });
  // Distances along the tree, as the pixel measures take them.
  WalkSegments(first, [](KW_Segment& s, const WalkStep<KW_Segment>& step) {
    const double start = step.parent != nullptr ? step.parent->length_total_begin : 0.0;
    s.length_total_begin = s.length + start;
    s.position_root = static_cast<float>(start);
    s.position_branch = static_cast<float>(start);
    return WalkNext::Children;
  });
  tree.main_length = PathEnd(first, tree.path_longest_total).length_total_begin;
  first.length_longest = tree.main_length;
  // Lateral lengths and branching positions, each root measured from its base.
  struct Base {
    KW_Segment* start;
    const std::vector<std::int32_t>* path;
    double baseDistance;
  };
  std::vector<Base> bases{{&first, &tree.path_longest_total, 0.0}};
  while (!bases.empty()) {
    const Base b = bases.back();
    bases.pop_back();
    KW_Segment* at = b.start;
    for (std::size_t depth = 0;; ++depth) {
      const std::int32_t entry = depth < b.path->size() ? (*b.path)[depth] : -1;
      const bool goesOn = entry >= 0 && static_cast<std::size_t>(entry) < at->segment_children.size();
      for (std::size_t i = 0; i < at->segment_children.size(); ++i) {
        if (goesOn && i == static_cast<std::size_t>(entry)) continue;
        KW_Segment& x = *at->segment_children[i];
        x.length_longest =
            PathEnd(x, x.path_longest).length_total_begin - static_cast<double>(x.position_root);
        x.position_branch = static_cast<float>(at->length_total_begin - b.baseDistance);
        bases.push_back({&x, &x.path_longest, at->length_total_begin});
      }
      if (!goesOn) break;
      at = at->segment_children[static_cast<std::size_t>(entry)].get();
    }
  }
}

const KW_Segment& PathEnd(const KW_Segment& s, const std::vector<std::int32_t>& path) {
  const KW_Segment* at = &s;
  for (const std::int32_t entry : path) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= at->segment_children.size()) break;
    at = at->segment_children[static_cast<std::size_t>(entry)].get();
  }
  return *at;
}

std::int32_t LateralCount(const KW_Segment& s, const std::vector<std::int32_t>& path) {
  std::int32_t count = 0;
  const KW_Segment* at = &s;
  for (const std::int32_t entry : path) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= at->segment_children.size()) break;
    count += at->nbr_segment_children - 1;
    at = at->segment_children[static_cast<std::size_t>(entry)].get();
  }
  return count;
}
