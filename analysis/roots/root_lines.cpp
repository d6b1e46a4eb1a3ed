#include "roots/root_lines.h"

#include <cstddef>
#include <optional>

#include "roots/detail/lateral_walk.h"
#include "roots/root_measures.h"

namespace {

std::vector<ContourPoint> PathPoints(const KW_Segment& start, const std::vector<std::int32_t>& path,
                                     const KW_Segment* from = nullptr) {
  std::vector<ContourPoint> points;
  if (from != nullptr && !from->point.empty()) points.push_back(from->point.back());
  const KW_Segment* s = &start;
  for (std::size_t depth = 0; s != nullptr; ++depth) {
    points.insert(points.end(), s->point.begin(), s->point.end());
    s = PathChild(*s, path, depth);
  }
  return points;
}

}  // namespace

std::vector<ContourPoint> MainRootPoints(const RootTree& tree) {
  if (!tree.first_segment) return {};
  return PathPoints(*tree.first_segment, tree.path_longest_total);
}

std::vector<RootLine> RootLines(const RootTree& tree) {
  std::vector<RootLine> lines;
  if (!tree.first_segment) return lines;
  const KW_Segment& first = *tree.first_segment;
  RootLine main;
  main.points = MainRootPoints(tree);
  main.length = tree.main_length;
  main.vector = tree.main_vector;
  main.angle = tree.main_angle;
  main.laterals = tree.nbr_LR;
  main.baseExtension = first.baseExtension;
  main.tipExtension = PathEnd(first, tree.path_longest_total).tipExtension;
  lines.push_back(std::move(main));

  WalkLaterals(first, tree.path_longest_total, 0, {1}, 0,
               [&](const KW_Segment& x, const std::vector<std::int32_t>& label, int parent,
                   const KW_Segment& from) -> std::optional<int> {
                 RootLine lateral;
                 lateral.parent = parent;
                 lateral.order = lines[static_cast<std::size_t>(parent)].order + 1;
                 lateral.points = PathPoints(x, x.path_longest, &from);
                 lateral.length = x.length_longest;
                 lateral.vector = x.straightness;
                 lateral.angle = x.angle;
                 lateral.position = static_cast<double>(x.position_branch);
                 lateral.laterals = x.Nbr_LR;
                 lateral.baseExtension = x.baseExtension;
                 lateral.tipExtension = PathEnd(x, x.path_longest).tipExtension;
                 lateral.label = label;
                 lines.push_back(std::move(lateral));
                 return static_cast<int>(lines.size() - 1);
               });
  return lines;
}
