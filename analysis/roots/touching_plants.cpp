#include "roots/touching_plants.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "roots/detail/seedling_split.h"
#include "roots/detail/segment_walk.h"
#include "roots/sci_doc.h"

namespace {

bool UsableScale(double cmPerPixel) { return cmPerPixel > 0.0 && std::isfinite(cmPerPixel); }

}  // namespace

std::vector<ContourPoint> SeedlingStarts(std::span<const ContourPoint> ends, int highest, double cmPerPixel) {
  std::vector<ContourPoint> starts;
  if (!UsableScale(cmPerPixel)) return starts;
  const double band = kSeedlingBandCm / cmPerPixel;
  std::vector<ContourPoint> top;
  for (const ContourPoint& p : ends)
    if (highest - p.row <= band) top.push_back(p);
  std::sort(top.begin(), top.end(), [](const ContourPoint& a, const ContourPoint& b) {
    return a.col != b.col ? a.col < b.col : a.row > b.row;
  });
  int groupFirst = 0;
  for (const ContourPoint& p : top) {
    if (starts.empty() || (p.col - groupFirst) * cmPerPixel >= kSeedlingApartCm) {
      groupFirst = p.col;
      starts.push_back(p);
    } else if (p.row > starts.back().row) {
      starts.back() = p;
    }
  }
  return starts;
}

bool GrowsFromTwoSeedlings(const RootTree& tree, double cmPerPixel) {
  if (!tree.first_segment || !UsableScale(cmPerPixel)) return false;
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
  return SeedlingStarts(ends, highest, cmPerPixel).size() >= 2;
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

std::vector<std::size_t> TouchingPlantCuts(const KW_SciDoc& doc) {
  std::vector<std::size_t> cuts;
  const auto cmPerPixel = static_cast<double>(doc.scale);
  const int width = doc.width;
  const int height = doc.height;
  const std::size_t count =
      static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
  if (!UsableScale(cmPerPixel) || count == 0 || doc.pixels.size() != count) return cuts;
  const auto index = [width](int c, int r) {
    return static_cast<std::size_t>(c) + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
  };
  const auto line = [&](int c, int r) {
    return c >= 0 && r >= 0 && c < width && r < height && (doc.pixels[index(c, r)] & kWhitePixel) != 0U;
  };
  std::vector<SeedlingMark> marks;
  std::vector<ContourPoint> ends;
  for (const Item& plant : doc.item) {
    if (plant.tab.empty()) continue;
    ends.clear();
    int highest = plant.tab.front().row;
    for (const ContourPoint& p : plant.tab) highest = std::max(highest, p.row);
    // Only ends near the top can be seedlings' starts.
    const double band = kSeedlingBandCm / cmPerPixel;
    for (const ContourPoint& p : plant.tab) {
      if (highest - p.row > band) continue;
      int neighbours = 0;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) neighbours += (dr != 0 || dc != 0) && line(p.col + dc, p.row + dr);
      if (neighbours == 1) ends.push_back(p);
    }
    const std::vector<ContourPoint> starts = SeedlingStarts(ends, highest, cmPerPixel);
    if (starts.size() < 2) continue;
    for (const ContourPoint& p : starts) marks.push_back({p.col, height - 1 - p.row});
  }
  if (marks.empty()) return cuts;
  // The line pixels in white, as the split walks them.
  std::vector<std::uint32_t> skeleton(count, 0U);
  for (std::size_t i = 0; i < count; ++i)
    if ((doc.pixels[i] & kWhitePixel) != 0U) skeleton[i] = kWhitePixel;
  // Each mark is a line pixel itself.
  SplitAtSeedlings(skeleton, width, height, marks, 1);
  for (std::size_t i = 0; i < count; ++i)
    if (skeleton[i] == 0U && (doc.pixels[i] & kWhitePixel) != 0U) cuts.push_back(i);
  return cuts;
}
