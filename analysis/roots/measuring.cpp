// The measurements of the segment trees: main root and lateral roots of
// every order, each from its branching point to the farthest tip of its
// own subtree.
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <unordered_set>
#include <utility>

#include "base/kw_log.h"
#include "roots/detail/log_buffer.h"
#include "roots/detail/segment_walk.h"
#include "roots/root_ends.h"
#include "roots/root_measures.h"
#include "roots/sci_doc.h"

namespace {

// Calls f(segment, parent) for s and every segment below it, in walk order.
template <class F>
void ForEachSegment(KW_Segment& s, F&& f) {
  WalkSegments(s, [&](KW_Segment& segment, const WalkStep<KW_Segment>& step) {
    f(segment, static_cast<const KW_Segment*>(step.parent));
    return WalkNext::Children;
  });
}

// The measures a tree walk writes, kept so that running out of memory
// leaves the trees as they were.
struct SegmentMeasures {
  double length;
  float position_root;
  float position_branch;
  double length_total_begin;
  double length_longest;
  double straightness;
  double angle;
  std::int32_t Nbr_LR;
  std::vector<std::int32_t> path_longest;
};
struct TreeMeasures {
  double main_length;
  double main_vector;
  double main_angle;
  std::int32_t nbr_LR;
  std::vector<std::int32_t> path_longest_total;
  std::vector<SegmentMeasures> segments;  // in walk order
  std::vector<KW_Segment*> order;         // the segments, in the same order
};

std::vector<TreeMeasures> KeepMeasures(std::vector<RootTree>& trees) {
  std::vector<TreeMeasures> kept;
  kept.reserve(trees.size());
  for (RootTree& tree : trees) {
    TreeMeasures m{
        tree.main_length, tree.main_vector, tree.main_angle, tree.nbr_LR, tree.path_longest_total, {}, {}};
    if (tree.first_segment)
      ForEachSegment(*tree.first_segment, [&](KW_Segment& x, const KW_Segment*) {
        m.order.push_back(&x);
        m.segments.push_back({x.length, x.position_root, x.position_branch, x.length_total_begin,
                              x.length_longest, x.straightness, x.angle, x.Nbr_LR, x.path_longest});
      });
    kept.push_back(std::move(m));
  }
  return kept;
}

// Gives the measures back without allocating: every vector moves back.
void RestoreMeasures(std::vector<RootTree>& trees, std::vector<TreeMeasures>& kept) {
  for (std::size_t t = 0; t < trees.size() && t < kept.size(); ++t) {
    RootTree& tree = trees[t];
    TreeMeasures& m = kept[t];
    tree.main_length = m.main_length;
    tree.main_vector = m.main_vector;
    tree.main_angle = m.main_angle;
    tree.nbr_LR = m.nbr_LR;
    tree.path_longest_total = std::move(m.path_longest_total);
    for (std::size_t k = 0; k < m.order.size(); ++k) {
      KW_Segment& x = *m.order[k];
      SegmentMeasures& v = m.segments[k];
      x.length = v.length;
      x.position_root = v.position_root;
      x.position_branch = v.position_branch;
      x.length_total_begin = v.length_total_begin;
      x.length_longest = v.length_longest;
      x.straightness = v.straightness;
      x.angle = v.angle;
      x.Nbr_LR = v.Nbr_LR;
      x.path_longest = std::move(v.path_longest);
    }
  }
}

ContourPoint FirstPoint(const KW_Segment& s) { return s.point.empty() ? ContourPoint{} : s.point.front(); }
ContourPoint LastPoint(const KW_Segment& s) { return s.point.empty() ? ContourPoint{} : s.point.back(); }

}  // namespace

int KW_SciDoc::MeasurePlate() {
  FixedBinarise();
  if (RemoveBox() != 1) return kNoPlateFrame;
  CutMargins();
  Dilate();
  Skeletonize();
  if (FindRoots() != 1 || CreateTrees() != 1 || MeasureTrees() != 1) return kPlateOutOfMemory;
  return kPlateMeasured;
}

bool KW_SciDoc::keepsThinnedShapes() const { return settings.lengths == LengthMode::True; }

int KW_SciDoc::MeasureTrees() {
  TruncateLog(logSink(), logname::kMath);
  LogBuffer log(logSink(), logname::kMath);
  const CommandLogScope scope(m_commandLog, log);
  m_outOfMemory = false;
  std::vector<TreeMeasures> kept;
  try {
    kept = KeepMeasures(root);
  } catch (const std::bad_alloc&) {
    reportOutOfMemory(log, "can't allocate memory\n", "Program error");
    return 0;
  }
  const bool trueLengths = settings.lengths == LengthMode::True;
  try {
    // True lengths reach each root's tip past its skeleton's free end.
    if (trueLengths)
      for (RootTree& tree : root) ExtendFreeEnds(tree, ShapeMask{thinnedShapes, width, height});
    // Lengths along the tree; a segment's position is where it starts.
    for (RootTree& tree : root) {
      if (!tree.first_segment) continue;
      ForEachSegment(*tree.first_segment, [trueLengths](KW_Segment& s, const KW_Segment* parent) {
        s.length = trueLengths ? TrueSegmentLength(s, parent) + s.tipExtension : PathLength(s);
        s.length_total_begin = s.length + (parent != nullptr ? parent->length_total_begin : 0.0);
        const float start = parent != nullptr ? static_cast<float>(parent->length_total_begin) : 0.0F;
        s.position_root = start;
        s.position_branch = start;
      });
    }
    // The main root: from the plant's start to its farthest tip. Directions
    // are judged over a length on the plate, whatever the resolution.
    const double cmPerPixel = static_cast<double>(scale);
    const ShapeMask shapes{thinnedShapes, width, height};
    const double directionReach = std::isfinite(cmPerPixel) && cmPerPixel > 0.0
                                      ? std::clamp(kDirectionReachCm / cmPerPixel, 8.0, 400.0)
                                      : 40.0;
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
      // On photographs, root hairs, spurs of thinning and neighbours' laterals
      // crowd every junction: the adaptive pipeline's main root is the path
      // to the farthest tip, measured along its smoothed points.
      if (trueLengths && settings.pipeline != Pipeline::Adaptive)
        StraightestPath(first, directionReach, tree.path_longest_total, &shapes);
      const ContourPoint p = FirstPoint(first);
      const ContourPoint q = LastPoint(PathEnd(first, tree.path_longest_total));
      tree.main_angle = DirectionAngle(p, q);
      first.angle = tree.main_angle;
      tree.main_vector = vectorLength(p, q, log);
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
      MeasureLaterals(*tree.first_segment, tree.path_longest_total, 0, tree.first_segment->length, 0.0);
    }
    if (trueLengths) {
      log.add("\ntrue lengths along the smoothed roots\n");
      for (RootTree& tree : root) {
        ExtendLateralBases(tree, ShapeMask{thinnedShapes, width, height});
        RefineTrueLengths(tree);
      }
    }
    for (std::size_t t = 0; t < root.size(); ++t) AppendTreeDump(static_cast<int>(t));
    if (settings.pipeline == Pipeline::Adaptive)
      for (std::size_t t = 0; t < root.size(); ++t) root[t].flags = PlantFlags(t);
  } catch (const std::bad_alloc&) {
    RestoreMeasures(root, kept);
    reportOutOfMemory(log, "can't allocate memory\n", "Program error");
    return 0;
  }
  return 1;
}

void KW_SciDoc::MeasureLaterals(KW_Segment& s, const std::vector<std::int32_t>& path, int depth,
                                double endDistance, double baseDistance) {
  const OperationLog operationLog(m_commandLog, logSink(), logname::kMath);
  LogBuffer& log = *operationLog;
  // Per depth of the walk below s, the root the segment there belongs to:
  // the path that root follows and where along it the segment stands, the
  // distance from the plant's start to the segment's end (b) and to the
  // base of its root (c).
  struct RootFrame {
    const std::vector<std::int32_t>* path;
    int depth;
    double endDistance;   // b
    double baseDistance;  // c
  };
  std::vector<RootFrame> frames;
  const auto enter = [&](const KW_Segment& segment, std::size_t walkDepth, RootFrame frame) {
    // The path is logged where its root starts, not again at every segment
    // along it: a root of n segments would otherwise log n * n lines.
    if (frame.depth == 0 || walkDepth == 0)
      for (const std::int32_t entry : *frame.path) log.addF("path_longest_total2[indx1] %i\n", entry);
    log.addF("this->nbr_segment_children %i\n", segment.nbr_segment_children);
    frames.resize(walkDepth);
    frames.push_back(frame);
  };
  WalkSegments(s, [&](KW_Segment& x, const WalkStep<KW_Segment>& step) {
    const std::size_t walkDepth = step.depth();
    if (walkDepth == 0) {
      enter(x, 0, {&path, depth, endDistance, baseDistance});
      return WalkNext::Children;
    }
    const auto index = static_cast<std::size_t>(step.path.back());
    log.addF("indx %i\n", static_cast<int>(index));
    const RootFrame parent = frames[walkDepth - 1];
    const std::vector<std::int32_t>& parentPath = *parent.path;
    const auto d = static_cast<std::size_t>(parent.depth);
    const bool continues = parent.depth >= 0 && d < parentPath.size() && parentPath[d] >= 0 &&
                           static_cast<std::size_t>(parentPath[d]) == index;
    if (continues) {
      // The root goes on into x.
      enter(x, walkDepth, {parent.path, parent.depth + 1, x.length_total_begin, parent.baseDistance});
      return WalkNext::Children;
    }
    // x starts a lateral root, measured from its branching point to the
    // farthest tip of its subtree.
    double farthest = 0.0;
    ForEachSegment(
        x, [&](KW_Segment& y, const KW_Segment*) { farthest = std::max(farthest, y.length_total_begin); });
    x.length_longest = farthest - static_cast<double>(x.position_root);
    x.position_branch = static_cast<float>(parent.endDistance - parent.baseDistance);
    LongestPath(x, farthest, x.path_longest);
    const ContourPoint p = FirstPoint(x);
    const ContourPoint q = LastPoint(PathEnd(x, x.path_longest));
    x.angle = DirectionAngle(p, q);
    x.straightness = vectorLength(p, q, log);
    x.Nbr_LR = LateralCount(x, x.path_longest);
    log.addF("size %f\n", x.length_longest);
    log.addF("position_parent %f\n", parent.endDistance);
    log.addF("position_branche_parent %f\n", parent.baseDistance);
    log.addF("nbr %i\n", x.Nbr_LR);
    log.addF(
        "this->segment_children[indx]->length_total_begin %f\nposition_parent %f\n"
        "this->segment_children[indx]->length_total_begin-position_parent %f\n",
        x.length_total_begin, static_cast<double>(x.position_root),
        x.length_total_begin - static_cast<double>(x.position_root));
    // Its own laterals are measured from its base, the end of the parent's segment.
    enter(x, walkDepth, {&x.path_longest, 0, x.length_total_begin, parent.endDistance});
    return WalkNext::Children;
  });
}

int KW_SciDoc::DropShortLaterals() {
  const double cmPerPixel = static_cast<double>(scale);
  if (!(settings.minLateralCm > 0.0) || !(cmPerPixel > 0.0) || !std::isfinite(cmPerPixel)) return 0;
  int dropped = 0;
  bool outOfMemory = false;
  try {
    for (RootTree& tree : root) {
      if (!tree.first_segment) continue;
      // The segments that carry a root on (main or lateral): every other
      // segment but the first starts a lateral root.
      std::unordered_set<const KW_Segment*> continues;
      const auto markPath = [&](const KW_Segment& start, const std::vector<std::int32_t>& path) {
        const KW_Segment* at = &start;
        for (const std::int32_t entry : path) {
          if (entry < 0 || static_cast<std::size_t>(entry) >= at->segment_children.size()) break;
          at = at->segment_children[static_cast<std::size_t>(entry)].get();
          continues.insert(at);
        }
      };
      markPath(*tree.first_segment, tree.path_longest_total);
      std::vector<std::pair<KW_Segment*, KW_Segment*>> shortOnes;  // (parent, lateral), in walk order
      WalkSegments(*tree.first_segment, [&](KW_Segment& x, const WalkStep<KW_Segment>& step) {
        if (step.parent == nullptr || continues.count(&x) != 0) return WalkNext::Children;
        if (x.length_longest * cmPerPixel >= settings.minLateralCm) {
          markPath(x, x.path_longest);
          return WalkNext::Children;
        }
        // Everything below a short lateral goes with it.
        shortOnes.emplace_back(step.parent, &x);
        return WalkNext::SkipChildren;
      });
      for (const auto& shortOne : shortOnes) {
        KW_Segment* parent = shortOne.first;
        const KW_Segment* lateral = shortOne.second;
        auto& children = parent->segment_children;
        const auto found =
            std::find_if(children.begin(), children.end(),
                         [lateral](const std::unique_ptr<KW_Segment>& c) { return c.get() == lateral; });
        if (found == children.end()) continue;
        children.erase(found);
        parent->nbr_segment_children = static_cast<std::int32_t>(children.size());
        ++dropped;
      }
    }
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  }
  // The paths and counts of the trees that changed are measured anew; the
  // lengths stay, since no root loses a segment of its own path.
  if (dropped > 0 && MeasureTrees() != 1) return -1;
  return outOfMemory ? -1 : dropped;
}

double KW_SciDoc::vectorLength(const ContourPoint& p, const ContourPoint& q, LogBuffer& log) const {
  // The pixel count of a straight line holds one pixel more than the
  // distance between its end pixels' centres, along which true lengths run.
  const double chord = ChordLength(p, q, log);
  return settings.lengths == LengthMode::True ? chord - 1.0 : chord;
}

void KW_SciDoc::AppendTreeDump(int t) const {
  if (t < 0 || static_cast<std::size_t>(t) >= root.size()) return;
  const RootTree& tree = root[static_cast<std::size_t>(t)];
  const OperationLog operationLog(m_commandLog, logSink(), logname::kMath);
  LogBuffer& log = *operationLog;
  log.add("affichage\n");
  for (std::size_t i = 0; i < tree.path_longest_total.size(); ++i)
    log.addF("%i %i\n", static_cast<int>(i), tree.path_longest_total[i]);
  if (tree.first_segment) {
    log.addF("length max %f\n", tree.main_length);
    log.addF("angle max %f\n", tree.main_angle);
    log.addF("Nombre_LR max %i\n", tree.nbr_LR);
    // Segment dumps, each child's preceded by "indx" and its index.
    const KW_Segment& first = *tree.first_segment;
    WalkSegments(first, [&](const KW_Segment& s, const WalkStep<const KW_Segment>& step) {
      if (step.depth() > 0) log.addF("indx %i\n", step.path.back());
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
      return WalkNext::Children;
    });
  }
  log.add("end\n");
}
