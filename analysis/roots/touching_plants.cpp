#include "roots/touching_plants.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "roots/detail/segment_walk.h"
#include "roots/sci_doc.h"

bool GrowsFromTwoSeedlings(const RootTree& tree, double cmPerPixel) {
  if (!tree.first_segment || !(cmPerPixel > 0.0) || !std::isfinite(cmPerPixel)) return false;
  // The free ends: the tree's start and the end of every segment without
  // children; and the highest point of all.
  std::vector<ContourPoint> ends;
  int highest = tree.first_segment->point.empty() ? 0 : tree.first_segment->point.front().row;
  if (!tree.first_segment->point.empty()) ends.push_back(tree.first_segment->point.front());
  WalkSegments(std::as_const(*tree.first_segment),
               [&](const KW_Segment& s, const WalkStep<const KW_Segment>&) {
                 for (const ContourPoint& p : s.point) highest = std::max(highest, p.row);
                 if (s.segment_children.empty() && !s.point.empty()) ends.push_back(s.point.back());
                 return WalkNext::Children;
               });
  const double band = kSeedlingBandCm / cmPerPixel;
  int left = 0, right = 0;
  bool any = false;
  for (const ContourPoint& p : ends) {
    if (highest - p.row > band) continue;
    left = any ? std::min(left, p.col) : p.col;
    right = any ? std::max(right, p.col) : p.col;
    any = true;
  }
  return any && (right - left) * cmPerPixel >= kSeedlingApartCm;
}

int FlagMergedPlants(KW_SciDoc& doc) {
  int flagged = 0;
  for (RootTree& tree : doc.root)
    if (GrowsFromTwoSeedlings(tree, static_cast<double>(doc.scale))) {
      tree.flags |= kFlagMerged;
      ++flagged;
    }
  return flagged;
}
