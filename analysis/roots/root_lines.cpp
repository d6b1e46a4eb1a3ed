#include "roots/root_lines.h"

#include <cstddef>

namespace {

// The child that path leads to at depth, or null at its end or at an index
// the segment does not have.
const KW_Segment* PathChild(const KW_Segment& s, const std::vector<std::int32_t>& path, std::size_t depth) {
  if (depth >= path.size()) return nullptr;
  const std::int32_t i = path[depth];
  if (i < 0 || static_cast<std::size_t>(i) >= s.segment_children.size()) return nullptr;
  return s.segment_children[static_cast<std::size_t>(i)].get();
}

std::vector<ContourPoint> PathPoints(const KW_Segment& start, const std::vector<std::int32_t>& path) {
  std::vector<ContourPoint> points;
  const KW_Segment* s = &start;
  for (std::size_t depth = 0; s != nullptr; ++depth) {
    points.insert(points.end(), s->point.begin(), s->point.end());
    s = PathChild(*s, path, depth);
  }
  return points;
}

}  // namespace

std::vector<RootLine> RootLines(const RootTree& tree) {
  std::vector<RootLine> lines;
  if (!tree.first_segment) return lines;
  const KW_Segment& first = *tree.first_segment;
  RootLine main;
  main.points = PathPoints(first, tree.path_longest_total);
  main.length = tree.main_length;
  main.vector = tree.main_vector;
  main.angle = tree.main_angle;
  main.laterals = tree.nbr_LR;
  lines.push_back(std::move(main));

  // One frame per root being walked, as the result file walks them: along
  // the root, the laterals leaving each segment end, each followed at once
  // by its own laterals.
  struct Frame {
    const KW_Segment* segment;
    const std::vector<std::int32_t>* path;
    std::size_t depth;
    int line;
    std::vector<std::int32_t> label;  // the label of the laterals leaving the current segment
    std::size_t next = 0;
  };
  std::vector<Frame> frames;
  frames.push_back({&first, &tree.path_longest_total, 0, 0, {1}});
  while (!frames.empty()) {
    Frame& f = frames.back();
    const KW_Segment* onPath = PathChild(*f.segment, *f.path, f.depth);
    bool descended = false;
    while (f.next < f.segment->segment_children.size()) {
      const KW_Segment& x = *f.segment->segment_children[f.next++];
      if (&x == onPath) continue;
      RootLine lateral;
      lateral.parent = f.line;
      lateral.order = lines[static_cast<std::size_t>(f.line)].order + 1;
      lateral.points = PathPoints(x, x.path_longest);
      lateral.length = x.length_longest;
      lateral.vector = x.straightness;
      lateral.angle = x.angle;
      lateral.position = static_cast<double>(x.position_branch);
      lateral.laterals = x.Nbr_LR;
      lateral.label = f.label;
      std::vector<std::int32_t> below = f.label;
      below.push_back(1);
      lines.push_back(std::move(lateral));
      // f refers into frames: the push comes last.
      frames.push_back({&x, &x.path_longest, 0, static_cast<int>(lines.size() - 1), std::move(below)});
      descended = true;
      break;
    }
    if (descended) continue;
    if (onPath != nullptr) {
      f.segment = onPath;
      // One more in the last number at every step along the root.
      ++f.label.back();
      ++f.depth;
      f.next = 0;
    } else {
      frames.pop_back();
    }
  }
  return lines;
}
