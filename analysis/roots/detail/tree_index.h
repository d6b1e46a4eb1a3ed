// Where the segments of the trees being built end and start, so that a new
// segment finds the segment it hangs under by looking at the eight pixels
// around its start instead of walking the whole tree: on a picture of noise
// a tree has thousands of segments, and a walk per segment made tree
// building quadratic.
#pragma once

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "roots/root_records.h"

class TreeIndex {
 public:
  explicit TreeIndex(std::size_t trees) : m_trees(trees) {}

  // Records s, hung under parent (null for a tree's first segment) as its
  // child number childIndex.
  void add(std::size_t tree, const KW_Segment* s, const KW_Segment* parent, std::int32_t childIndex) {
    if (tree >= m_trees.size() || s->point.empty()) return;
    Tree& t = m_trees[tree];
    t.nodes[s] = Node{parent, childIndex};
    t.ends[key(s->point.back())].push_back(s);
    if (parent != nullptr) t.starts[key(s->point.front())].push_back(s);
  }

  // The segment the walk search finds first (depth first, a parent before
  // its children, children in attachment order) among those whose last
  // point touches p; null when none does.
  const KW_Segment* firstEndingNextTo(std::size_t tree, const ContourPoint& p) const {
    if (tree >= m_trees.size()) return nullptr;
    const Tree& t = m_trees[tree];
    const KW_Segment* best = nullptr;
    forAround(t.ends, p, [&](const KW_Segment* s) {
      if (best == nullptr || comesFirst(t, s, best)) best = s;
    });
    return best;
  }

  // The parent the walk search finds first among those with a child whose
  // first point touches p, and the first such child of it; nulls when none.
  std::pair<const KW_Segment*, const KW_Segment*> firstParentOfChildStartingNextTo(
      std::size_t tree, const ContourPoint& p) const {
    if (tree >= m_trees.size()) return {nullptr, nullptr};
    const Tree& t = m_trees[tree];
    const KW_Segment* bestChild = nullptr;
    forAround(t.starts, p, [&](const KW_Segment* child) {
      if (bestChild == nullptr) {
        bestChild = child;
        return;
      }
      const Node& n = t.nodes.at(child);
      const Node& b = t.nodes.at(bestChild);
      const bool better =
          n.parent == b.parent ? n.childIndex < b.childIndex : comesFirst(t, n.parent, b.parent);
      if (better) bestChild = child;
    });
    if (bestChild == nullptr) return {nullptr, nullptr};
    return {t.nodes.at(bestChild).parent, bestChild};
  }

 private:
  struct Node {
    const KW_Segment* parent;
    std::int32_t childIndex;
  };
  using PositionMap = std::unordered_map<std::uint64_t, std::vector<const KW_Segment*>>;
  struct Tree {
    std::unordered_map<const KW_Segment*, Node> nodes;
    PositionMap ends;
    PositionMap starts;
  };

  static std::uint64_t key(const ContourPoint& p) { return key(p.col, p.row); }
  static std::uint64_t key(std::int32_t col, std::int32_t row) {
    return (std::uint64_t{static_cast<std::uint32_t>(col)} << 32) | static_cast<std::uint32_t>(row);
  }

  // Visits the segments recorded at the eight pixels around p (p itself is
  // not next to p).
  template <class Visit>
  static void forAround(const PositionMap& map, const ContourPoint& p, Visit&& visit) {
    for (int dr = -1; dr <= 1; ++dr)
      for (int dc = -1; dc <= 1; ++dc) {
        if (dr == 0 && dc == 0) continue;
        const auto it = map.find(key(p.col + dc, p.row + dr));
        if (it == map.end()) continue;
        for (const KW_Segment* s : it->second) visit(s);
      }
  }

  // True when a comes before b in the walk order: compare the child indices
  // on the way down from the first segment; an ancestor comes first.
  static bool comesFirst(const Tree& t, const KW_Segment* a, const KW_Segment* b) {
    if (a == b) return false;
    std::vector<std::int32_t> pathA = pathOf(t, a);
    std::vector<std::int32_t> pathB = pathOf(t, b);
    return std::lexicographical_compare(pathA.begin(), pathA.end(), pathB.begin(), pathB.end());
  }
  static std::vector<std::int32_t> pathOf(const Tree& t, const KW_Segment* s) {
    std::vector<std::int32_t> path;
    for (const Node* n = &t.nodes.at(s); n->parent != nullptr; n = &t.nodes.at(n->parent))
      path.push_back(n->childIndex);
    std::reverse(path.begin(), path.end());
    return path;
  }

  std::vector<Tree> m_trees;
};
