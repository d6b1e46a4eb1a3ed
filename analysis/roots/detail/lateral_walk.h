// The walk of the lateral roots below a root in the order of the result
// file: along the root, the laterals leaving each segment end, each followed
// at once by its own laterals. One explicit stack, so deep trees need no
// deep call stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "roots/sci_doc.h"

// The child that path leads to at depth, or null at its end or at an index
// the segment does not have.
inline const KW_Segment* PathChild(const KW_Segment& s, const std::vector<std::int32_t>& path,
                                   std::size_t depth) {
  if (depth >= path.size()) return nullptr;
  const std::int32_t i = path[depth];
  if (i < 0 || static_cast<std::size_t>(i) >= s.segment_children.size()) return nullptr;
  return s.segment_children[static_cast<std::size_t>(i)].get();
}

// Walks the laterals below the root that starts at start and follows path
// from depth on. label is the label of the laterals leaving start (the root's
// numbers and 1: {plant, 1} for a main root); along the root its last number
// grows by one at every segment. visit(lateral, label, tag, from) gets the
// tag of the root the lateral leaves (rootTag for the first root) and the
// segment it hangs under, whose last point is its branching point, and
// returns the tag of the lateral's own laterals, or nothing to leave them
// out.
template <typename Tag, typename Visit>
void WalkLaterals(const KW_Segment& start, const std::vector<std::int32_t>& path, std::size_t depth,
                  std::vector<std::int32_t> label, Tag rootTag, Visit&& visit) {
  if (label.empty()) return;
  struct Frame {
    const KW_Segment* segment;
    const std::vector<std::int32_t>* path;
    std::size_t depth;
    std::vector<std::int32_t> label;
    Tag tag;
    std::size_t next = 0;  // the next child of segment to look at
  };
  std::vector<Frame> frames;
  frames.push_back({&start, &path, depth, std::move(label), std::move(rootTag)});
  while (!frames.empty()) {
    Frame& f = frames.back();
    const KW_Segment* onPath = PathChild(*f.segment, *f.path, f.depth);
    bool descended = false;
    while (f.next < f.segment->segment_children.size()) {
      const KW_Segment& x = *f.segment->segment_children[f.next++];
      if (&x == onPath) continue;
      std::optional<Tag> below = visit(x, f.label, f.tag, *f.segment);
      if (!below) continue;
      std::vector<std::int32_t> belowLabel = f.label;
      belowLabel.push_back(1);
      // f refers into frames: the push comes last.
      frames.push_back({&x, &x.path_longest, 0, std::move(belowLabel), std::move(*below)});
      descended = true;
      break;
    }
    if (descended) continue;
    // The root goes on to its next segment: one more in the last number.
    if (onPath != nullptr) {
      f.segment = onPath;
      ++f.label.back();
      ++f.depth;
      f.next = 0;
    } else {
      frames.pop_back();
    }
  }
}

// Walks every root of tree once, the main root first, each root's laterals
// after it. visit(along, points, ends) gets the segments along the root's
// path, their points in order (first the branching point, the last point of
// the segment the root leaves, when withBranchPoint and the root is a
// lateral) and the index among them of each segment's last point. One
// explicit stack, so deep trees need no deep call stack.
template <typename Visit>
void WalkRootPaths(RootTree& tree, bool withBranchPoint, Visit&& visit) {
  if (!tree.first_segment) return;
  struct Root {
    KW_Segment* start;
    const KW_Segment* parent;  // null for the main root
    const std::vector<std::int32_t>* path;
  };
  std::vector<Root> roots{{tree.first_segment.get(), nullptr, &tree.path_longest_total}};
  std::vector<KW_Segment*> along;
  std::vector<ContourPoint> points;
  std::vector<std::size_t> ends;
  while (!roots.empty()) {
    const Root r = roots.back();
    roots.pop_back();
    along.clear();
    points.clear();
    ends.clear();
    if (withBranchPoint && r.parent != nullptr && !r.parent->point.empty())
      points.push_back(r.parent->point.back());
    KW_Segment* at = r.start;
    for (std::size_t depth = 0;; ++depth) {
      along.push_back(at);
      points.insert(points.end(), at->point.begin(), at->point.end());
      ends.push_back(points.empty() ? 0 : points.size() - 1);
      if (PathChild(*at, *r.path, depth) == nullptr) break;
      at = at->segment_children[static_cast<std::size_t>((*r.path)[depth])].get();
    }
    visit(std::as_const(along), std::as_const(points), std::as_const(ends));
    for (std::size_t k = 0; k < along.size(); ++k) {
      const KW_Segment* next = k + 1 < along.size() ? along[k + 1] : nullptr;
      for (const auto& child : along[k]->segment_children)
        if (child.get() != next) roots.push_back({child.get(), along[k], &child->path_longest});
    }
  }
}
