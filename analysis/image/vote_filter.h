// The vote filters of noise removal: a pixel stays white when the weighted
// vote of the white pixels of its 5 x 5 window exceeds the filter's limit.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// One row per entry of the erosion-method list, in list order. Weights are
// given per ring of the 5 x 5 window: the centre, the four edge neighbours at
// distance 1, the four diagonal neighbours, the four pixels at distance 2 in
// the row or column, the eight knight positions and the four corners at
// (+-2, +-2).
struct VoteFilterRow {
  std::string_view name;
  int centre;
  int edge1;
  int corner1;
  int edge2;
  int knight;
  int corner2;
  int limit;
};

inline constexpr int kVoteMethodCount = 7;
// Index of "Original" in kVoteFilters: no filter, the picture as it is.
inline constexpr int kOriginalMethod = 6;
// Index of "Gaussian2", the entry selected when the list opens.
inline constexpr int kDefaultVoteMethod = 3;

inline constexpr std::array<VoteFilterRow, kVoteMethodCount> kVoteFilters = {{
    {"Gaussian", 10, 8, 6, 3, 2, 1, 40},
    {"Conical", 5, 2, 2, 1, 0, 0, 13},
    {"Pyramide Shaped", 9, 6, 4, 3, 2, 1, 35},
    {"Gaussian2", 16, 7, 3, 3, 1, 1, 25},
    {"Exponential", 80, 62, 48, 29, 23, 11, 275},
    {"Average", 1, 1, 1, 1, 1, 1, 4},
    {"Original", 0, 0, 0, 0, 0, 0, 0},
}};

// Index of the row whose name is exactly name, or -1.
int VoteMethodIndex(std::string_view name);

// target = the vote filter of row method (an index into kVoteFilters) over
// source. Border: pixels closer than 2 to an edge come out black; pictures
// under 5 x 5 all black. "Original" copies source unchanged. source and
// target may be the same buffer but must not overlap otherwise. Returns 1, or
// 0 for an unknown method (target untouched).
int VoteFilter(const std::uint32_t* source, std::uint32_t* target, int width, int height, int method);
// The same, with the method named as in the list; 0 for an unknown name.
int VoteFilter(const std::uint32_t* source, std::uint32_t* target, int width, int height,
               std::string_view method);
