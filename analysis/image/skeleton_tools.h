// Skeleton tools over a bare buffer of width x height pixels (row 0 at the
// bottom), shared by the document, the dialogs that work on a copy, and the
// root analysis that walks the skeleton lines.
//
// Neighbour weights: N 1, NE 2, E 4, SE 8, S 16, SW 32, W 64, NW 128, with
// row + 1 the row above. Neighbours outside the picture count as black.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Sum of the weights of the non-black neighbours of (col, row): 0..255.
int NeighbourCode(const std::uint32_t* pixels, int width, int height, int col, int row);
// How many of the eight neighbours have the brightness sum r + g + b: 0..8.
// Positions outside the picture are not counted.
int CountNeighboursOfSum(const std::uint32_t* pixels, int width, int height, int col, int row, int r, int g,
                         int b);
// Every non-black pixel gets 255 OR-ed into all three channels.
void Whiten(std::uint32_t* pixels, std::size_t count);

// Direction codes of the line follower, as (dcol, drow): 1 (0, -1), 2 (+1, -1),
// 3 (+1, 0), 4 (+1, +1), 5 (0, +1), 6 (-1, +1), 7 (-1, 0), 8 (-1, -1).
inline constexpr std::array<int, 9> kDirectionCol = {0, 0, 1, 1, 1, 0, -1, -1, -1};
inline constexpr std::array<int, 9> kDirectionRow = {0, -1, -1, 0, 1, 1, 1, 0, -1};

// The next skeleton-line pixel (pure red 255, 0, 0 or white) next to
// (col, row), tried in the order that puts the directions ahead of
// previousDirection first (-1 for the first step of a line). Returns its
// direction 1..8 and stores its position in nextCol, nextRow; returns -1 and
// stores (col, row) when there is none. Positions outside the picture are
// never line pixels.
int NextLinePixel(const std::uint32_t* pixels, int width, int height, int col, int row, int previousDirection,
                  int& nextCol, int& nextRow);
