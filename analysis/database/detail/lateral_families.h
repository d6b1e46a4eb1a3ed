// The lateral roots an inquiry fetched, by their parent and order: how the
// fetch, the derived values and the output walk them as trees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "database/sql_records.h"

namespace queryrun {

// Lateral root orders the output follows: no plate comes near this, and a
// table edited by hand must not make the branch-number path unbounded.
inline constexpr int kMaxLrOrder = 1000;

// Roots by their parent and order.
inline std::uint64_t familyKey(std::int32_t parent, std::int32_t level) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(parent)) << 32U) |
         static_cast<std::uint32_t>(level);
}

using Family = std::unordered_map<std::uint64_t, std::vector<std::size_t>>;

inline Family familiesOf(const std::vector<SQL_LR>& laterals) {
  Family f;
  for (std::size_t i = 0; i < laterals.size(); ++i)
    f[familyKey(laterals[i].parent_id, laterals[i].level)].push_back(i);
  return f;
}

inline const std::vector<std::size_t>& familyOf(const Family& f, std::int32_t parent, std::int32_t level) {
  static const std::vector<std::size_t> kNone;
  const auto it = f.find(familyKey(parent, level));
  return it == f.end() ? kNone : it->second;
}

}  // namespace queryrun
