// Thinning of white shapes to lines one pixel wide that keep the shapes'
// connections and end points.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace thinning_rule {

// Neighbours in the order of their weights in a neighbour code (N 1, NE 2,
// E 4, SE 8, S 16, SW 32, W 64, NW 128), as (dcol, drow) with row + 1 above.
inline constexpr std::array<int, 8> kCol = {0, 1, 1, 1, 0, -1, -1, -1};
inline constexpr std::array<int, 8> kRow = {1, 1, 0, -1, -1, -1, 0, 1};

constexpr int neighbourCount(int code) {
  int n = 0;
  for (int bit = 0; bit < 8; ++bit) n += (code >> bit) & 1;
  return n;
}

// How many 8-connected groups the non-black neighbours form among themselves.
constexpr int neighbourGroups(int code) {
  std::array<int, 8> group{};
  for (int i = 0; i < 8; ++i) group[static_cast<std::size_t>(i)] = i;
  auto root = [&group](int i) {
    while (group[static_cast<std::size_t>(i)] != i) i = group[static_cast<std::size_t>(i)];
    return i;
  };
  for (int i = 0; i < 8; ++i)
    for (int j = i + 1; j < 8; ++j) {
      if (((code >> i) & 1) == 0 || ((code >> j) & 1) == 0) continue;
      const int dc = kCol[static_cast<std::size_t>(i)] - kCol[static_cast<std::size_t>(j)];
      const int dr = kRow[static_cast<std::size_t>(i)] - kRow[static_cast<std::size_t>(j)];
      if (dc >= -1 && dc <= 1 && dr >= -1 && dr <= 1) group[static_cast<std::size_t>(root(i))] = root(j);
    }
  int groups = 0;
  for (int i = 0; i < 8; ++i)
    if (((code >> i) & 1) != 0 && root(i) == i) ++groups;
  return groups;
}

// A border pixel may go when
// - it has at least two non-black neighbours: an end point or a lone pixel
//   stays, so lines keep their length;
// - its non-black neighbours hang together: removing it cannot split a shape;
// - its neighbours are not exactly a diagonal one and the edge one after it
//   clockwise (NE and E, SE and S, SW and W, NW and N): in a corner of two
//   such pixels the mirrored one (N and NE, ...) goes and this one stays.
constexpr bool isRemovable(int code) {
  if (neighbourCount(code) < 2 || neighbourGroups(code) != 1) return false;
  for (int diagonal = 1; diagonal < 8; diagonal += 2) {
    const int clockwiseEdge = (diagonal + 1) % 8;
    if (code == ((1 << diagonal) | (1 << clockwiseEdge))) return false;
  }
  return true;
}

constexpr std::array<bool, 256> makeTable() {
  std::array<bool, 256> table{};
  for (int code = 0; code < 256; ++code) table[static_cast<std::size_t>(code)] = isRemovable(code);
  return table;
}

}  // namespace thinning_rule

// kIsRemovable[code] is true when a border pixel with that neighbour code may
// be removed.
inline constexpr std::array<bool, 256> kIsRemovable = thinning_rule::makeTable();

// The removable codes, ascending.
inline constexpr std::size_t kRemovableCodeCount = 120;
inline constexpr std::array<std::uint8_t, kRemovableCodeCount> kRemovableCodes = [] {
  std::array<std::uint8_t, kRemovableCodeCount> codes{};
  std::size_t n = 0;
  for (std::size_t code = 0; code < 256; ++code)
    if (kIsRemovable[code] && n < kRemovableCodeCount) codes[n++] = static_cast<std::uint8_t>(code);
  return codes;
}();

// Thins the white shapes of width x height pixels in place to one-pixel lines
// (after whitening every non-black pixel): iterations of border marking,
// inner-corner protection, convex-corner removal and removal by neighbour
// code until one removes nothing; the result is black and white. Border: row
// 0, the top row and the two outer columns are never examined or removed.
// maxIterations < 0 runs to the end. Returns the number of iterations that
// removed a pixel.
int ThinPicture(std::uint32_t* pixels, int width, int height, int maxIterations = -1);
