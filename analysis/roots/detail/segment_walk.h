// The one walk over a segment tree: depth first, a parent before its
// children, children in attachment order, without recursion (a chain of
// segments can be thousands deep). Measuring, dumping and searching all go
// through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

enum class WalkNext { Children, SkipChildren, Stop };

// Where the walk stands: the parent of the visited segment (null for the
// first one) and the child indices from the first segment down to it.
template <class Segment>
struct WalkStep {
  Segment* parent;
  std::span<const std::int32_t> path;
  std::size_t depth() const { return path.size(); }
};

// Calls visit(segment, step) for first and every segment below it; visit
// returns what to do next. Returns true when a visit stopped the walk.
template <class Segment, class Visit>
bool WalkSegments(Segment& first, Visit&& visit) {
  std::vector<std::int32_t> path;
  WalkNext next = visit(first, WalkStep<Segment>{nullptr, path});
  if (next != WalkNext::Children) return next == WalkNext::Stop;
  // Each frame: a segment and the index of its next child to visit; the
  // frames below the first match path one for one.
  std::vector<std::pair<Segment*, std::size_t>> stack{{&first, 0}};
  while (!stack.empty()) {
    Segment* parent = stack.back().first;
    const std::size_t index = stack.back().second++;
    if (index >= parent->segment_children.size()) {
      stack.pop_back();
      if (!path.empty()) path.pop_back();
      continue;
    }
    Segment* child = parent->segment_children[index].get();
    path.push_back(static_cast<std::int32_t>(index));
    next = visit(*child, WalkStep<Segment>{parent, path});
    if (next == WalkNext::Stop) return true;
    if (next == WalkNext::SkipChildren) {
      path.pop_back();
      continue;
    }
    stack.emplace_back(child, 0);
  }
  return false;
}
