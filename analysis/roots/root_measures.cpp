// The measurements of the segment trees: main root and lateral roots of
// every order, each from its branching point to the farthest tip of its
// own subtree.
#include "roots/root_measures.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "database/kw_log.h"
#include "roots/detail/log_buffer.h"
#include "roots/detail/memory_exhaustion.h"
#include "roots/sci_doc.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Visits every segment below s (s included), parents before children,
// children in attachment order, without recursion. f(segment, parent).
template <class F>
void ForEachSegment(KW_Segment& s, F&& f) {
  std::vector<std::pair<KW_Segment*, KW_Segment*>> pending{{&s, nullptr}};
  while (!pending.empty()) {
    auto [segment, parent] = pending.back();
    pending.pop_back();
    f(*segment, parent);
    for (auto it = segment->segment_children.rbegin(); it != segment->segment_children.rend(); ++it)
      pending.emplace_back(it->get(), segment);
  }
}

ContourPoint FirstPoint(const KW_Segment& s) { return s.point.empty() ? ContourPoint{} : s.point.front(); }
ContourPoint LastPoint(const KW_Segment& s) { return s.point.empty() ? ContourPoint{} : s.point.back(); }

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

double ChordLength(const ContourPoint& p, const ContourPoint& q, LogBuffer& log) {
  const double d = Distance(p, q);
  log.addF("straightness_calcul:denominateur %f\n", d);
  return d + 1.0;
}

double ChordLength(const ContourPoint& p, const ContourPoint& q) {
  LogBuffer log(logname::kMath);
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
  // Depth first, parent before children: the tip found first wins ties.
  // path holds the child index taken at each depth of the current frame.
  struct Frame {
    const KW_Segment* segment;
    std::size_t nextChild;
  };
  path.clear();
  std::vector<Frame> stack{{&s, 0}};
  if (s.length_total_begin == target) {
    path.push_back(-1);
    return true;
  }
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.nextChild >= top.segment->segment_children.size()) {
      stack.pop_back();
      if (!path.empty()) path.pop_back();
      continue;
    }
    const std::size_t index = top.nextChild++;
    const KW_Segment* child = top.segment->segment_children[index].get();
    path.push_back(static_cast<std::int32_t>(index));
    if (child->length_total_begin == target) {
      path.push_back(-1);
      return true;
    }
    stack.push_back({child, 0});
  }
  path.assign(1, -1);
  return false;
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

int KW_SciDoc::MeasurePlate() {
  FixedBinarise();
  if (RemoveBox() != 1) return 0;
  CutMargins();
  Dilate();
  Skeletonize();
  FindRoots();
  CreateTrees();
  MeasureTrees();
  return 1;
}

void KW_SciDoc::MeasureTrees() {
  try {
    TruncateLog(logname::kMath);
    LogBuffer log(logname::kMath);
    measureTrees(log);
  } catch (const std::bad_alloc&) {
    EndOnMemoryExhaustion(nullptr, logname::kMath, "can't allocate memory\n", "Program error");
  }
}

void KW_SciDoc::measureTrees(LogBuffer& log) {
  // Lengths along the tree; a segment's position is where it starts.
  for (RootTree& tree : root) {
    if (!tree.first_segment) continue;
    ForEachSegment(*tree.first_segment, [](KW_Segment& s, const KW_Segment* parent) {
      s.length = PathLength(s);
      s.length_total_begin = s.length + (parent != nullptr ? parent->length_total_begin : 0.0);
      const float start = parent != nullptr ? static_cast<float>(parent->length_total_begin) : 0.0F;
      s.position_root = start;
      s.position_branch = start;
    });
  }
  // The main root: from the plant's start to its farthest tip.
  for (RootTree& tree : root) {
    if (!tree.first_segment) continue;
    KW_Segment& first = *tree.first_segment;
    double longest = 0.0;
    ForEachSegment(first, [&](KW_Segment& s, const KW_Segment*) {
      log.addF("length_total_begin %f\n", s.length_total_begin);
      longest = std::max(longest, s.length_total_begin);
    });
    tree.main_length = longest;
    first.length_longest = longest;
    LongestPath(first, longest, tree.path_longest_total);
    const ContourPoint p = FirstPoint(first);
    const ContourPoint q = LastPoint(PathEnd(first, tree.path_longest_total));
    tree.main_angle = DirectionAngle(p, q);
    first.angle = tree.main_angle;
    tree.main_vector = ChordLength(p, q, log);
    first.straightness = tree.main_vector;
    tree.nbr_LR = LateralCount(first, tree.path_longest_total);
    first.Nbr_LR = tree.nbr_LR;
  }
  log.add("\n\nLATERAL ROOT\n");
  for (RootTree& tree : root) {
    if (!tree.first_segment) continue;
    for (const std::int32_t entry : tree.path_longest_total) {
      log.addF("root[indx].path_longest_total[indx1] %i\n", entry);
      log.addF("path_longest_total[indx1] %i\n", entry);
      log.addF("path_longest_total1[indx1] %i\n", entry);
    }
    measureLaterals(*tree.first_segment, tree.path_longest_total, 0, tree.first_segment->length, 0.0, log);
  }
  for (const RootTree& tree : root) appendTreeDump(tree, log);
}

void KW_SciDoc::MeasureLaterals(KW_Segment& s, const std::vector<std::int32_t>& path, int depth, double b,
                                double c) {
  LogBuffer log(logname::kMath);
  measureLaterals(s, path, depth, b, c, log);
}

void KW_SciDoc::measureLaterals(KW_Segment& s, const std::vector<std::int32_t>& path, int depth, double b,
                                double c, LogBuffer& log) {
  // b: distance from the plant's start to the end of the frame's segment;
  // c: distance to the base of the root that segment belongs to.
  struct Frame {
    KW_Segment* segment;
    const std::vector<std::int32_t>* path;
    int depth;
    double b;
    double c;
    std::size_t nextChild;
  };
  std::vector<Frame> stack;
  const auto enter = [&](KW_Segment& segment, const std::vector<std::int32_t>& p, int d, double bb,
                         double cc) {
    // The path is logged where its root starts, not again at every segment
    // along it: a root of n segments would otherwise log n * n lines.
    if (d == 0 || stack.empty())
      for (const std::int32_t entry : p) log.addF("path_longest_total2[indx1] %i\n", entry);
    log.addF("this->nbr_segment_children %i\n", segment.nbr_segment_children);
    stack.push_back({&segment, &p, d, bb, cc, 0});
  };
  enter(s, path, depth, b, c);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.nextChild >= top.segment->segment_children.size()) {
      stack.pop_back();
      continue;
    }
    const std::size_t index = top.nextChild++;
    log.addF("indx %i\n", static_cast<int>(index));
    KW_Segment& x = *top.segment->segment_children[index];
    const std::vector<std::int32_t>& framePath = *top.path;
    const auto d = static_cast<std::size_t>(top.depth);
    const bool continues = top.depth >= 0 && d < framePath.size() && framePath[d] >= 0 &&
                           static_cast<std::size_t>(framePath[d]) == index;
    if (continues) {
      // The root goes on into x.
      const double cc = top.c;
      enter(x, framePath, top.depth + 1, x.length_total_begin, cc);
      continue;
    }
    // x starts a lateral root, measured from its branching point to the
    // farthest tip of its subtree.
    const double frameB = top.b;
    const double frameC = top.c;
    double farthest = 0.0;
    ForEachSegment(
        x, [&](KW_Segment& y, const KW_Segment*) { farthest = std::max(farthest, y.length_total_begin); });
    x.length_longest = farthest - static_cast<double>(x.position_root);
    x.position_branch = static_cast<float>(frameB - frameC);
    LongestPath(x, farthest, x.path_longest);
    const ContourPoint p = FirstPoint(x);
    const ContourPoint q = LastPoint(PathEnd(x, x.path_longest));
    x.angle = DirectionAngle(p, q);
    x.straightness = ChordLength(p, q, log);
    x.Nbr_LR = LateralCount(x, x.path_longest);
    log.addF("size %f\n", x.length_longest);
    log.addF("position_parent %f\n", frameB);
    log.addF("position_branche_parent %f\n", frameC);
    log.addF("nbr %i\n", x.Nbr_LR);
    log.addF(
        "this->segment_children[indx]->length_total_begin %f\nposition_parent %f\n"
        "this->segment_children[indx]->length_total_begin-position_parent %f\n",
        x.length_total_begin, static_cast<double>(x.position_root),
        x.length_total_begin - static_cast<double>(x.position_root));
    // Its own laterals are measured from its base, the end of the frame's segment.
    enter(x, x.path_longest, 0, x.length_total_begin, frameB);
  }
}

void KW_SciDoc::AppendTreeDump(int t) const {
  if (t < 0 || static_cast<std::size_t>(t) >= root.size()) return;
  LogBuffer log(logname::kMath);
  appendTreeDump(root[static_cast<std::size_t>(t)], log);
}

void KW_SciDoc::appendTreeDump(const RootTree& tree, LogBuffer& log) const {
  log.add("affichage\n");
  for (std::size_t i = 0; i < tree.path_longest_total.size(); ++i)
    log.addF("%i %i\n", static_cast<int>(i), tree.path_longest_total[i]);
  if (tree.first_segment) {
    log.addF("length max %f\n", tree.main_length);
    log.addF("angle max %f\n", tree.main_angle);
    log.addF("Nombre_LR max %i\n", tree.nbr_LR);
    // Segment dumps, each followed by "indx" and the dump of every child.
    struct Frame {
      const KW_Segment* segment;
      std::size_t nextChild;
    };
    const auto dumpOne = [&](const KW_Segment& s) {
      const ContourPoint p0 = FirstPoint(s);
      const ContourPoint p1 = LastPoint(s);
      const int last = std::max(static_cast<int>(s.point.size()) - 1, 0);
      log.addF("numero %i\n", s.numero);
      log.addF("length %f\n", s.length);
      log.addF("length_total_begin %f\n", s.length_total_begin);
      log.addF("length_longest %f\n", s.length_longest);
      log.addF("position (root) %f\n", static_cast<double>(s.position_root));
      log.addF("position (branch)%f\n", static_cast<double>(s.position_branch));
      log.addF("angle %f\n", s.angle);
      log.addF("straightness %f\n", s.straightness);
      log.addF("Nbr_LR %i\n", s.Nbr_LR);
      log.addF("nbr_segment_children %i\n", s.nbr_segment_children);
      log.addF("point[0].x %i,point[0].y %i,point[%i].x %i,point[%i].y %i\n", p0.col, topRow(p0.row), last,
               p1.col, last, topRow(p1.row));
      for (std::size_t i = 0; i < s.path_longest.size(); ++i)
        log.addF("%i %i\n", static_cast<int>(i), s.path_longest[i]);
      log.addF("point[%i].x %i point[%i].y %i\n", 0, p0.col, 0, topRow(p0.row));
      log.addF("point[%i].x %i point[%i].y %i\n", last, p1.col, last, topRow(p1.row));
    };
    std::vector<Frame> stack;
    dumpOne(*tree.first_segment);
    stack.push_back({tree.first_segment.get(), 0});
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.nextChild >= top.segment->segment_children.size()) {
        stack.pop_back();
        continue;
      }
      const std::size_t index = top.nextChild++;
      const KW_Segment& child = *top.segment->segment_children[index];
      log.addF("indx %i\n", static_cast<int>(index));
      dumpOne(child);
      stack.push_back({&child, 0});
    }
  }
  log.add("end\n");
}
