#include "image/skeleton_tools.h"

#include "image/detail/pixels.h"

namespace {

constexpr std::uint32_t kLineRed = 0xFF0000U;

// Neighbour offsets in the order of their weights 1, 2, 4, ..., 128:
// N, NE, E, SE, S, SW, W, NW.
constexpr std::array<int, 8> kCodeCol = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr std::array<int, 8> kCodeRow = {1, 1, 0, -1, -1, -1, 0, 1};

// The direction tried first after each previous direction: the follower
// looks ahead before it looks back.
int firstDirectionAfter(int previousDirection) {
  switch (previousDirection) {
    case 1:
    case 2:
      return 8;
    case 3:
    case 4:
      return 2;
    case 5:
    case 6:
    case -1:
      return 4;
    case 7:
    case 8:
      return 6;
    default:
      return 0;
  }
}

}  // namespace

int NeighbourCode(const std::uint32_t* pixels, int width, int height, int col, int row) {
  int code = 0;
  for (std::size_t d = 0; d < 8; ++d) {
    const int c = col + kCodeCol[d];
    const int r = row + kCodeRow[d];
    if (!pix::inside(c, r, width, height)) continue;
    if (pix::nonBlack(pixels[pix::indexOf(c, r, width)])) code += 1 << d;
  }
  return code;
}

int CountNeighboursOfSum(const std::uint32_t* pixels, int width, int height, int col, int row, int r, int g,
                         int b) {
  const int sum = r + g + b;
  int count = 0;
  for (int dr = -1; dr <= 1; ++dr)
    for (int dc = -1; dc <= 1; ++dc) {
      if (dr == 0 && dc == 0) continue;
      const int c2 = col + dc;
      const int r2 = row + dr;
      if (!pix::inside(c2, r2, width, height)) continue;
      if (pix::brightness(pixels[pix::indexOf(c2, r2, width)]) == sum) ++count;
    }
  return count;
}

void Whiten(std::uint32_t* pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (pix::nonBlack(pixels[i])) pixels[i] |= pix::kWhite;
}

int NextLinePixel(const std::uint32_t* pixels, int width, int height, int col, int row, int previousDirection,
                  int& nextCol, int& nextRow) {
  nextCol = col;
  nextRow = row;
  const int first = firstDirectionAfter(previousDirection);
  if (first == 0) return -1;
  for (int k = 0; k < 8; ++k) {
    const int dir = (first - 1 + k) % 8 + 1;
    const int c = col + kDirectionCol[static_cast<std::size_t>(dir)];
    const int r = row + kDirectionRow[static_cast<std::size_t>(dir)];
    if (!pix::inside(c, r, width, height)) continue;
    const std::uint32_t p = pixels[pix::indexOf(c, r, width)] & pix::kColourMask;
    if (p == kLineRed || p == pix::kWhite) {
      nextCol = c;
      nextRow = r;
      return dir;
    }
  }
  return -1;
}
