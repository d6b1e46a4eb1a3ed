#include "roots/root_records.h"

#include <utility>

bool Adjacent8(const ContourPoint& p, const ContourPoint& q) {
  if (SamePosition(p, q)) return false;
  const std::int64_t dc = std::int64_t{p.col} - q.col;
  const std::int64_t dr = std::int64_t{p.row} - q.row;
  return dc >= -1 && dc <= 1 && dr >= -1 && dr <= 1;
}

KW_Segment::~KW_Segment() {
  // Take the children over one level at a time: each segment dies with an
  // empty child list, so the call depth stays one whatever the tree's depth.
  std::vector<std::unique_ptr<KW_Segment>> pending = std::move(segment_children);
  while (!pending.empty()) {
    std::unique_ptr<KW_Segment> s = std::move(pending.back());
    pending.pop_back();
    for (auto& child : s->segment_children) pending.push_back(std::move(child));
    s->segment_children.clear();
  }
}

KW_Segment* KW_Segment::addChild(std::unique_ptr<KW_Segment> child) {
  segment_children.push_back(std::move(child));
  nbr_segment_children = static_cast<std::int32_t>(segment_children.size());
  return segment_children.back().get();
}

std::string PlantFlagsText(std::uint32_t flags) {
  static constexpr struct {
    std::uint32_t bit;
    const char* name;
  } kNames[] = {{kFlagTouchesEdge, "touches-edge"},
                {kFlagMerged, "merged"},
                {kFlagImplausibleLength, "implausible-length"},
                {kFlagLowContrast, "low-contrast"}};
  std::string text;
  for (const auto& entry : kNames) {
    if ((flags & entry.bit) == 0U) continue;
    if (!text.empty()) text += ';';
    text += entry.name;
  }
  return text;
}
