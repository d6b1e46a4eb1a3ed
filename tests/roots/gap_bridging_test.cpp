// Pieces of skeleton a faint stretch of root left apart, joined again: the
// piece that begins straight below another's end, within reach, and only
// that one.
#include "roots/detail/gap_bridging.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "roots/sci_doc.h"

namespace {

constexpr int kWidth = 60, kHeight = 100;

std::size_t Index(int c, int r) { return static_cast<std::size_t>(r) * kWidth + static_cast<std::size_t>(c); }

struct Skeleton {
  std::vector<std::uint32_t> pixels =
      std::vector<std::uint32_t>(static_cast<std::size_t>(kWidth) * kHeight, 0U);
  // A vertical line at column c from row `from` down to row `to` (rows
  // counted from the bottom).
  void line(int c, int from, int to) {
    for (int r = to; r <= from; ++r) pixels[Index(c, r)] = kWhitePixel;
  }
  bool white(int c, int r) const { return pixels[Index(c, r)] == kWhitePixel; }
  int count() const {
    int n = 0;
    for (const std::uint32_t p : pixels) n += p == kWhitePixel ? 1 : 0;
    return n;
  }
};

TEST(BridgeRootGaps, APieceStraightBelowAnEndWithinReachIsJoinedToIt) {
  Skeleton s;
  s.line(20, 90, 60);  // a root down to row 60
  s.line(22, 50, 10);  // its rest, 10 rows lower and 2 columns aside
  BridgeRootGaps(s.pixels, kWidth, kHeight, 12);
  // The gap rows 51..59 now hold one pixel each between the two.
  for (int r = 51; r < 60; ++r)
    EXPECT_TRUE(s.white(20, r) || s.white(21, r) || s.white(22, r)) << "row " << r;
  EXPECT_EQ(s.count(), 31 + 41 + 9);
}

TEST(BridgeRootGaps, AnEndAboveThePieceJoinsItWhereALateralReachesLower) {
  Skeleton s;
  s.line(20, 90, 60);  // a root down to row 60
  // A lateral of it down to row 50, and the root's rest below.
  for (int k = 1; k <= 30; ++k) s.pixels[Index(20 + k / 2, 80 - k)] = kWhitePixel;
  s.line(21, 55, 10);
  BridgeRootGaps(s.pixels, kWidth, kHeight, 12);
  for (int r = 56; r < 60; ++r) EXPECT_TRUE(s.white(20, r) || s.white(21, r)) << "row " << r;
}

TEST(BridgeRootGaps, PiecesOutOfReachOrFarAsideStayApart) {
  Skeleton far;
  far.line(20, 90, 60);
  far.line(20, 45, 10);  // 15 rows below: out of a reach of 12
  Skeleton aside;
  aside.line(20, 90, 60);
  aside.line(30, 52, 10);  // 8 rows below but 10 columns aside: over 30 degrees
  Skeleton above;
  above.line(20, 90, 60);
  above.line(22, 95, 70);  // begins above the end: a neighbour, not the rest
  for (Skeleton* s : {&far, &aside, &above}) {
    const std::vector<std::uint32_t> before = s->pixels;
    BridgeRootGaps(s->pixels, kWidth, kHeight, 12);
    EXPECT_EQ(s->pixels, before);
  }
}

TEST(BridgeRootGaps, EachPieceJoinsOnlyTheNearestEnd) {
  Skeleton s;
  s.line(20, 90, 60);
  s.line(26, 90, 64);  // a second end, farther from the piece below
  s.line(21, 55, 10);
  BridgeRootGaps(s.pixels, kWidth, kHeight, 12);
  // Joined to the end at (20, 60): the pixels between (21, 55) and it, and
  // nothing towards (26, 64).
  EXPECT_EQ(s.count(), 31 + 27 + 46 + 4);
  for (int r = 56; r < 64; ++r) EXPECT_FALSE(s.white(25, r) || s.white(24, r)) << "row " << r;
}

}  // namespace
