// The segment trees: each plant's walk is cut into segments at junctions and
// tips; a new segment hangs under the first segment whose end touches its
// start, and every recorded segment is painted white so that the way back
// along a branch is recognised and passed over.
#include <algorithm>
#include <new>

#include "database/kw_log.h"
#include "roots/detail/log_buffer.h"
#include "roots/detail/memory_exhaustion.h"
#include "roots/sci_doc.h"

namespace {

int RedOf(std::uint32_t px) { return static_cast<int>((px >> 16) & 0xFFU); }
int GreenOf(std::uint32_t px) { return static_cast<int>((px >> 8) & 0xFFU); }
int BlueOf(std::uint32_t px) { return static_cast<int>(px & 0xFFU); }

}  // namespace

int KW_SciDoc::SameColourNeighbours(int c, int r, std::uint32_t colour) const {
  const int sum = PixelSum(colour);
  int count = 0;
  if (c >= 1 && r >= 1 && c < width - 1 && r < height - 1) {
    // All eight neighbours inside: read them through row pointers.
    const std::uint32_t* above = rowPointer(r + 1) + (c - 1);
    const std::uint32_t* here = rowPointer(r) + (c - 1);
    const std::uint32_t* below = rowPointer(r - 1) + (c - 1);
    const std::uint32_t around[8] = {above[0], above[1], above[2], here[0],
                                     here[2],  below[0], below[1], below[2]};
    for (const std::uint32_t px : around) count += PixelSum(px) == sum ? 1 : 0;
    return count;
  }
  for (int dr = -1; dr <= 1; ++dr) {
    for (int dc = -1; dc <= 1; ++dc) {
      if (dc == 0 && dr == 0) continue;
      if (inside(c + dc, r + dr) && PixelSum(At(c + dc, r + dr)) == sum) ++count;
    }
  }
  return count;
}

void KW_SciDoc::CreateTrees() {
  try {
    TruncateLog(logname::kCreateTree);
    LogBuffer log(logname::kCreateTree);
    log.add("\n********Create_Tree\n");
    // A plant whose walk is white was recorded by an earlier build (a second
    // Save experiment): give the plants their colours again, or every white
    // pixel would pass for a recorded segment and the tree would fall apart.
    const bool recorded = std::any_of(item.begin(), item.end(), [this](const Item& plant) {
      return !plant.tab.empty() && isWhite(plant.tab.front().col, plant.tab.front().row);
    });
    if (recorded) colorItems();
    root.clear();
    nbr_root = static_cast<std::int32_t>(item.size());
    root.resize(item.size());
    for (std::size_t i = 0; i < item.size(); ++i) {
      const Item& plant = item[i];
      const std::size_t count =
          std::min(plant.tab.size(), static_cast<std::size_t>(std::max(plant.nbr_point, 0)));
      if (count == 0) continue;
      const std::vector<ContourPoint> walk(plant.tab.begin(),
                                           plant.tab.begin() + static_cast<std::ptrdiff_t>(count));
      appendPlantDump(log, 0, 0, walk);
      splitWalk(walk, static_cast<int>(i), log);
    }
    log.flush();
    refreshView();
  } catch (const std::bad_alloc&) {
    EndOnMemoryExhaustion(nullptr, logname::kCreateTree, "can't allocate memory\n", "Program error");
  }
}

void KW_SciDoc::SplitWalk(const std::vector<ContourPoint>& walk, int t) {
  LogBuffer log(logname::kCreateTree);
  splitWalk(walk, t, log);
}

void KW_SciDoc::splitWalk(const std::vector<ContourPoint>& P, int t, LogBuffer& log) {
  const int n = static_cast<int>(P.size());
  if (n == 0) return;
  const auto at = [&P](int i) -> const ContourPoint& { return P[static_cast<std::size_t>(i)]; };
  // The plant's colour: every pixel of its walk carries it until recorded.
  const std::uint32_t C = pixelAt(at(0).col, at(0).row) & kWhitePixel;
  const auto N = [&](const ContourPoint& p) { return SameColourNeighbours(p.col, p.row, C); };
  const auto white = [&](const ContourPoint& p) { return isWhite(p.col, p.row); };

  ContourPoint prevEnd{-1, -1, 0};
  int segStart = 0;
  for (int i = 0; i < n - 1; ++i) {
    bool moved = false;
    const ContourPoint& p = at(i);
    const int neighbours = N(p);
    const std::uint32_t px = pixelAt(p.col, p.row) & kWhitePixel;
    log.addF("indx %i\n", i);
    log.addF("xstart %i\tystart %i\n", p.col, topRow(p.row));
    log.addF("voisin %i\t%i\t %i %i\n", neighbours, p.direction, at(i + 1).col, topRow(at(i + 1).row));
    log.addF("couleur %i\t%i\t%i\n", RedOf(px), GreenOf(px), BlueOf(px));
    log.addF("couleur %i\t%i\t%i\n", RedOf(C), GreenOf(C), BlueOf(C));
    // Pixels already recorded are white and are passed over.
    if (px != C) continue;
    log.add("meme couleur\n");
    if (i == 0) continue;

    const ContourPoint& next = at(i + 1);
    const bool ends = neighbours > 2                                         // a junction
                      || (neighbours == 1 && Adjacent8(prevEnd, next))       // beside the last end
                      || (neighbours == 1 && SamePosition(next, at(i - 1)))  // a tip: the walk turns back
                      || SameColourNeighbours(p.col, next.row, C) == 0       //
                      || white(next);                                        // runs into a recorded segment
    if (!ends) continue;

    const ContourPoint end = p;
    log.addF("xend %i\tyend %i\n", end.col, topRow(end.row));
    addSegment(t, P, segStart, i, log);
    for (int j = segStart; j <= i; ++j) paint(at(j).col, at(j).row, kWhitePixel);

    const int nextNeighbours = N(at(i + 1));
    log.addF("voisin1 %i\t %i %i\n", nextNeighbours, at(i + 1).col, topRow(at(i + 1).row));
    if (nextNeighbours > 2) {
      // The next point is a junction: pass over the junction pixels.
      prevEnd = end;
      segStart = i + 1;
      moved = true;
      while (i < n - 2) {
        ++i;
        log.addF("indx %i %i %i\n", i, at(i).col, topRow(at(i).row));
        if (N(at(i + 1)) <= 2) break;
      }
      log.addF("number indx %i %i %i\n", i, at(i).col, topRow(at(i).row));
    }
    if (!white(at(i + 1)) && moved) {
      log.add("not white\n");
      continue;
    }
    if (white(at(i + 1))) {
      // Pass over a recorded stretch.
      int k = i + 2;
      while (k < n) {
        ++k;
        ++i;
        if (!white(at(i + 1))) break;
      }
      log.addF("getgray indx %i %i %i\n", i, at(i).col, topRow(at(i).row));
    }
    if (i >= n - 1 || white(at(i + 1))) {
      log.addF("size %i indx %i\n", n, i);
      continue;
    }
    // The next segment starts at the next unrecorded point.
    prevEnd = end;
    segStart = i + 1;
    log.addF("size %i\t indx %i\t%i\t%i\n", n, segStart, at(segStart).col, topRow(at(segStart).row));
    log.addF("%i\t%i\n", prevEnd.col, topRow(prevEnd.row));
  }
}

KW_Segment* KW_SciDoc::AddSegment(int t, const std::vector<ContourPoint>& walk, int first, int last) {
  LogBuffer log(logname::kCreateTree);
  return addSegment(t, walk, first, last, log);
}

KW_Segment* KW_SciDoc::addSegment(int t, const std::vector<ContourPoint>& P, int a, int b, LogBuffer& log) {
  if (t < 0 || static_cast<std::size_t>(t) >= root.size() || a < 0 || b < a ||
      static_cast<std::size_t>(b) >= P.size())
    return nullptr;
  try {
    auto segment = std::make_unique<KW_Segment>();
    segment->point.assign(P.begin() + a, P.begin() + b + 1);
    segment->nbr_point = b - a + 1;
    const ContourPoint& s0 = segment->point.front();
    const ContourPoint& s1 = segment->point.back();
    const int lastIndex = segment->nbr_point - 1;
    log.addF("elem->nbr_point %i\n", segment->nbr_point);
    log.addF("elem->point[0].x %i elem->point[0].x %i\n", s0.col, topRow(s0.row));
    log.addF("elem->point[%i].x %i elem->point[%i].x %i\n", lastIndex, s1.col, lastIndex, topRow(s1.row));

    RootTree& tree = root[static_cast<std::size_t>(t)];
    if (!tree.first_segment) {
      tree.first_segment = std::move(segment);
      log.add("first segment\n");
      return tree.first_segment.get();
    }
    KW_Segment* parent = findParent(tree.first_segment.get(), *segment, log);
    if (parent == nullptr) parent = findSiblingParent(tree.first_segment.get(), *segment, log);
    if (parent == nullptr) {
      // Touches no recorded end: dropped, the rest of the tree goes on.
      log.add("Search_segment_parent=NULL\n");
      return nullptr;
    }
    const ContourPoint& p0 = parent->point.front();
    const ContourPoint& p1 = parent->point.back();
    const int parentLast = static_cast<int>(parent->point.size()) - 1;
    log.addF("result->point[0].x %i result->point[0].x %i\n", p0.col, topRow(p0.row));
    log.addF("result->point[%i].x %i result->point[%i].x %i\n", parentLast, p1.col, parentLast,
             topRow(p1.row));
    return parent->addChild(std::move(segment));
  } catch (const std::bad_alloc&) {
    EndOnMemoryExhaustion(&log, logname::kCreateTree, "Error KW_Segment\n", "Error KW_Segment");
  }
}

KW_Segment* KW_SciDoc::FindParent(KW_Segment* s, const KW_Segment& added) const {
  LogBuffer log(logname::kCreateTree);
  return findParent(s, added, log);
}

KW_Segment* KW_SciDoc::findParent(KW_Segment* s, const KW_Segment& added, LogBuffer& log) const {
  if (s == nullptr) return nullptr;
  // Depth first, parent before children, children in attachment order;
  // an explicit stack, as a chain of segments can be thousands deep.
  std::vector<KW_Segment*> pending{s};
  while (!pending.empty()) {
    KW_Segment* candidate = pending.back();
    pending.pop_back();
    const ContourPoint first = candidate->point.empty() ? ContourPoint{} : candidate->point.front();
    const ContourPoint last = candidate->point.empty() ? ContourPoint{} : candidate->point.back();
    const bool touches =
        !candidate->point.empty() && !added.point.empty() && Adjacent8(added.point.front(), last);
    log.addF("x %i y %i ", first.col, topRow(first.row));
    log.addF("x %i y %i ", last.col, topRow(last.row));
    log.addF("result %i ", touches ? 1 : 0);
    log.addF("elem->nbr_segment_children %i\n", candidate->nbr_segment_children);
    if (touches) return candidate;
    for (auto it = candidate->segment_children.rbegin(); it != candidate->segment_children.rend(); ++it)
      pending.push_back(it->get());
  }
  return nullptr;
}

KW_Segment* KW_SciDoc::findSiblingParent(KW_Segment* s, const KW_Segment& added, LogBuffer& log) const {
  // The walk can come back to a junction along a recorded branch and leave
  // it by a stretch that touches the start of that branch but no segment's
  // end (where thinning leaves a small loop at the junction). Such a stretch
  // leaves the same junction as the branch: it becomes the branch's sibling.
  // Without this, it and everything beyond it would be lost.
  if (s == nullptr || added.point.empty()) return nullptr;
  std::vector<KW_Segment*> pending{s};
  while (!pending.empty()) {
    KW_Segment* parent = pending.back();
    pending.pop_back();
    for (const auto& child : parent->segment_children) {
      if (!child->point.empty() && Adjacent8(added.point.front(), child->point.front())) {
        const ContourPoint& first = child->point.front();
        log.addF("sibling of x %i y %i\n", first.col, topRow(first.row));
        return parent;
      }
    }
    for (auto it = parent->segment_children.rbegin(); it != parent->segment_children.rend(); ++it)
      pending.push_back(it->get());
  }
  return nullptr;
}
