// The segment trees: each plant's walk is cut into segments at junctions and
// tips; a new segment hangs under the first segment whose end touches its
// start, and every recorded segment is painted white so that the way back
// along a branch is recognised and passed over.
#include <algorithm>
#include <new>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "roots/detail/log_buffer.h"
#include "roots/detail/segment_walk.h"
#include "roots/detail/tree_index.h"
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

int KW_SciDoc::CreateTrees() {
  TruncateLog(logSink(), logname::kCreateTree);
  LogBuffer log(logSink(), logname::kCreateTree);
  const CommandLogScope scope(m_commandLog, log);
  m_outOfMemory = false;
  // What the command changes, kept so that running out of memory leaves the
  // document as it was: the trees, and the pixels of the plants' walks (the
  // only pixels it paints).
  std::vector<std::uint32_t> walkPixels;
  try {
    log.add("\n********Create_Tree\n");
    for (const Item& plant : item)
      for (const ContourPoint& p : plant.tab) walkPixels.push_back(pixelAt(p.col, p.row));
  } catch (const std::bad_alloc&) {
    reportOutOfMemory(log, "can't allocate memory\n", "Program error");
    return 0;
  }
  std::vector<RootTree> previousTrees = std::move(root);
  const std::int32_t previousCount = nbr_root;
  root.clear();
  try {
    // A plant whose walk is white was recorded by an earlier build (a second
    // Save experiment): give the plants their colours again, or every white
    // pixel would pass for a recorded segment and the tree would fall apart.
    const bool recorded = std::any_of(item.begin(), item.end(), [this](const Item& plant) {
      return !plant.tab.empty() && isWhite(plant.tab.front().col, plant.tab.front().row);
    });
    if (recorded) ColorItems();
    nbr_root = static_cast<std::int32_t>(item.size());
    root.resize(item.size());
    m_treeIndex = std::make_unique<TreeIndex>(item.size());
    for (std::size_t i = 0; i < item.size() && !m_outOfMemory; ++i) {
      const Item& plant = item[i];
      const std::size_t count =
          std::min(plant.tab.size(), static_cast<std::size_t>(std::max(plant.nbr_point, 0)));
      if (count == 0) continue;
      const std::vector<ContourPoint> walk(plant.tab.begin(),
                                           plant.tab.begin() + static_cast<std::ptrdiff_t>(count));
      appendPlantDump(log, 0, 0, walk);
      SplitWalk(walk, static_cast<int>(i));
    }
  } catch (const std::bad_alloc&) {
    if (!m_outOfMemory) reportOutOfMemory(log, "can't allocate memory\n", "Program error");
  }
  m_treeIndex.reset();
  if (m_outOfMemory) {
    root = std::move(previousTrees);
    nbr_root = previousCount;
    std::size_t k = 0;
    for (const Item& plant : item)
      for (const ContourPoint& p : plant.tab) paint(p.col, p.row, walkPixels[k++]);
    refreshView();
    return 0;
  }
  log.flush();
  refreshView();
  return 1;
}

void KW_SciDoc::SplitWalk(const std::vector<ContourPoint>& walk, int t) {
  const OperationLog operationLog(m_commandLog, logSink(), logname::kCreateTree);
  LogBuffer& log = *operationLog;
  const int n = static_cast<int>(walk.size());
  if (n == 0) return;
  const auto at = [&walk](int i) -> const ContourPoint& { return walk[static_cast<std::size_t>(i)]; };
  // The plant's colour: every pixel of its walk carries it until recorded.
  const std::uint32_t plantColour = pixelAt(at(0).col, at(0).row) & kWhitePixel;
  const auto sameColourAround = [&](const ContourPoint& p) {
    return SameColourNeighbours(p.col, p.row, plantColour);
  };
  const auto white = [&](const ContourPoint& p) { return isWhite(p.col, p.row); };

  ContourPoint prevEnd{-1, -1, 0};
  int segStart = 0;
  for (int i = 0; i < n - 1; ++i) {
    bool moved = false;
    const ContourPoint& p = at(i);
    const int neighbours = sameColourAround(p);
    const std::uint32_t px = pixelAt(p.col, p.row) & kWhitePixel;
    log.addF("indx %i\n", i);
    log.addF("xstart %i\tystart %i\n", p.col, topRow(p.row));
    log.addF("voisin %i\t%i\t %i %i\n", neighbours, p.direction, at(i + 1).col, topRow(at(i + 1).row));
    log.addF("couleur %i\t%i\t%i\n", RedOf(px), GreenOf(px), BlueOf(px));
    log.addF("couleur %i\t%i\t%i\n", RedOf(plantColour), GreenOf(plantColour), BlueOf(plantColour));
    // Pixels already recorded are white and are passed over.
    if (px != plantColour) continue;
    log.add("meme couleur\n");
    if (i == 0) continue;

    const ContourPoint& next = at(i + 1);
    const bool ends = neighbours > 2                                         // a junction
                      || (neighbours == 1 && Adjacent8(prevEnd, next))       // beside the last end
                      || (neighbours == 1 && SamePosition(next, at(i - 1)))  // a tip: the walk turns back
                      || SameColourNeighbours(p.col, next.row, plantColour) == 0  //
                      || white(next);  // runs into a recorded segment
    if (!ends) continue;

    const ContourPoint end = p;
    log.addF("xend %i\tyend %i\n", end.col, topRow(end.row));
    AddSegment(t, walk, segStart, i);
    if (m_outOfMemory) return;
    for (int j = segStart; j <= i; ++j) paint(at(j).col, at(j).row, kWhitePixel);

    const int nextNeighbours = sameColourAround(at(i + 1));
    log.addF("voisin1 %i\t %i %i\n", nextNeighbours, at(i + 1).col, topRow(at(i + 1).row));
    if (nextNeighbours > 2) {
      // The next point is a junction: pass over the junction pixels.
      prevEnd = end;
      segStart = i + 1;
      moved = true;
      while (i < n - 2) {
        ++i;
        log.addF("indx %i %i %i\n", i, at(i).col, topRow(at(i).row));
        if (sameColourAround(at(i + 1)) <= 2) break;
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
  if (t < 0 || static_cast<std::size_t>(t) >= root.size() || first < 0 || last < first ||
      static_cast<std::size_t>(last) >= walk.size())
    return nullptr;
  const OperationLog operationLog(m_commandLog, logSink(), logname::kCreateTree);
  LogBuffer& log = *operationLog;
  const auto tree = static_cast<std::size_t>(t);
  try {
    auto segment = std::make_unique<KW_Segment>();
    segment->point.assign(walk.begin() + first, walk.begin() + last + 1);
    segment->nbr_point = last - first + 1;
    const ContourPoint& s0 = segment->point.front();
    const ContourPoint& s1 = segment->point.back();
    const int lastIndex = segment->nbr_point - 1;
    log.addF("elem->nbr_point %i\n", segment->nbr_point);
    log.addF("elem->point[0].x %i elem->point[0].x %i\n", s0.col, topRow(s0.row));
    log.addF("elem->point[%i].x %i elem->point[%i].x %i\n", lastIndex, s1.col, lastIndex, topRow(s1.row));

    RootTree& rootTree = root[tree];
    if (!rootTree.first_segment) {
      rootTree.first_segment = std::move(segment);
      if (m_treeIndex) m_treeIndex->add(tree, rootTree.first_segment.get(), nullptr, 0);
      log.add("first segment\n");
      return rootTree.first_segment.get();
    }
    // While the log takes lines, the search walks the tree and logs each
    // segment it looks at; once the log is full the index answers the same.
    KW_Segment* parent = nullptr;
    const ContourPoint start = segment->point.front();
    if (log.full() && m_treeIndex) {
      parent = const_cast<KW_Segment*>(m_treeIndex->firstEndingNextTo(tree, start));
      if (parent == nullptr)
        parent = const_cast<KW_Segment*>(m_treeIndex->firstParentOfChildStartingNextTo(tree, start).first);
    } else {
      parent = FindParent(rootTree.first_segment.get(), *segment);
      if (parent == nullptr) parent = findSiblingParent(rootTree.first_segment.get(), *segment, log);
    }
    if (parent == nullptr) {
      // Touches no recorded segment: dropped, the rest of the tree goes on.
      log.add("Search_segment_parent=NULL\n");
      return nullptr;
    }
    const ContourPoint& p0 = parent->point.front();
    const ContourPoint& p1 = parent->point.back();
    const int parentLast = static_cast<int>(parent->point.size()) - 1;
    log.addF("result->point[0].x %i result->point[0].x %i\n", p0.col, topRow(p0.row));
    log.addF("result->point[%i].x %i result->point[%i].x %i\n", parentLast, p1.col, parentLast,
             topRow(p1.row));
    KW_Segment* added = parent->addChild(std::move(segment));
    if (m_treeIndex) m_treeIndex->add(tree, added, parent, parent->nbr_segment_children - 1);
    return added;
  } catch (const std::bad_alloc&) {
    reportOutOfMemory(log, "Error KW_Segment\n", "Error KW_Segment");
    return nullptr;
  }
}

KW_Segment* KW_SciDoc::FindParent(KW_Segment* s, const KW_Segment& added) const {
  if (s == nullptr) return nullptr;
  const OperationLog operationLog(m_commandLog, logSink(), logname::kCreateTree);
  LogBuffer& log = *operationLog;
  KW_Segment* found = nullptr;
  WalkSegments(*s, [&](KW_Segment& candidate, const WalkStep<KW_Segment>&) {
    const ContourPoint first = candidate.point.empty() ? ContourPoint{} : candidate.point.front();
    const ContourPoint last = candidate.point.empty() ? ContourPoint{} : candidate.point.back();
    const bool touches =
        !candidate.point.empty() && !added.point.empty() && Adjacent8(added.point.front(), last);
    log.addF("x %i y %i ", first.col, topRow(first.row));
    log.addF("x %i y %i ", last.col, topRow(last.row));
    log.addF("result %i ", touches ? 1 : 0);
    log.addF("elem->nbr_segment_children %i\n", candidate.nbr_segment_children);
    if (!touches) return WalkNext::Children;
    found = &candidate;
    return WalkNext::Stop;
  });
  return found;
}

KW_Segment* KW_SciDoc::findSiblingParent(KW_Segment* s, const KW_Segment& added, LogBuffer& log) const {
  // The walk can come back to a junction along a recorded branch and leave
  // it by a stretch that touches the start of that branch but no segment's
  // end: wherever the line follower passes a junction pixel by, as where
  // thinning leaves a small loop at a junction or where a branch leaves
  // against the follower's order of directions. Such a stretch leaves the
  // same junction as the branch: it becomes the branch's sibling. Without
  // this, it and everything beyond it would be lost.
  if (s == nullptr || added.point.empty()) return nullptr;
  KW_Segment* found = nullptr;
  WalkSegments(*s, [&](KW_Segment& parent, const WalkStep<KW_Segment>&) {
    for (const auto& child : parent.segment_children) {
      if (!child->point.empty() && Adjacent8(added.point.front(), child->point.front())) {
        const ContourPoint& first = child->point.front();
        log.addF("sibling of x %i y %i\n", first.col, topRow(first.row));
        found = &parent;
        return WalkNext::Stop;
      }
    }
    return WalkNext::Children;
  });
  return found;
}
