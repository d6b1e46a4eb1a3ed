#include "roots/result_records.h"

#include <iterator>
#include <new>
#include <utility>

void INFO_LR::copyOwnValues(const INFO_LR& other) {
  length = other.length;
  straightness = other.straightness;
  position = other.position;
  angle = other.angle;
  nbr_child = other.nbr_child;
  parent_id = other.parent_id;
  level = other.level;
  lr_id = other.lr_id;
}

INFO_LR::INFO_LR(const INFO_LR& other) {
  copyOwnValues(other);
  // Each copied root gets all its branches at once, so the addresses of
  // those branches stay put while they wait on the stack for their own.
  std::vector<std::pair<const INFO_LR*, INFO_LR*>> pending{{&other, this}};
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    to->children.reserve(from->children.size());
    for (const INFO_LR& branch : from->children) to->children.emplace_back().copyOwnValues(branch);
    for (std::size_t i = 0; i < from->children.size(); ++i)
      if (!from->children[i].children.empty()) pending.emplace_back(&from->children[i], &to->children[i]);
  }
}

INFO_LR& INFO_LR::operator=(const INFO_LR& other) {
  // Through a copy: other may be one of this root's own branches.
  if (this != &other) *this = INFO_LR(other);
  return *this;
}

INFO_LR::~INFO_LR() {
  // The branches are taken over level by level, so that every root destroyed
  // here has no branches left of its own.
  std::vector<INFO_LR> pending = std::move(children);
  while (!pending.empty()) {
    INFO_LR last = std::move(pending.back());
    pending.pop_back();
    try {
      pending.insert(pending.end(), std::make_move_iterator(last.children.begin()),
                     std::make_move_iterator(last.children.end()));
      last.children.clear();
    } catch (const std::bad_alloc&) {
      // Nothing was moved; without memory for the stack these branches go
      // one call per level.
    }
  }
}
