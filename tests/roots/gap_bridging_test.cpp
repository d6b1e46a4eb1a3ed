// Pieces of skeleton a faint stretch of root left apart, joined again: the
// piece that begins straight below another's end, within reach, and only
// that one.
#include "roots/detail/gap_bridging.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "roots/detail/level_lines.h"
#include "roots/sci_doc.h"
#include "roots_test_util.h"

namespace {

constexpr int kWidth = 60, kHeight = 100;

// Skeleton lines in a picture of kWidth x kHeight.
struct Skeleton : rootstest::Skeleton {
  Skeleton() : rootstest::Skeleton(kWidth, kHeight) {}
};

TEST(BridgeRootGaps, APieceStraightBelowAnEndWithinReachIsJoinedToIt) {
  Skeleton s;
  s.line(20, 90, 20, 60);  // a root down to row 60
  s.line(22, 50, 22, 10);  // its rest, 10 rows lower and 2 columns aside
  BridgeRootGaps(s.pixels, kWidth, kHeight, 12);
  // The gap rows 51..59 now hold one pixel each between the two.
  for (int r = 51; r < 60; ++r)
    EXPECT_TRUE(s.white(20, r) || s.white(21, r) || s.white(22, r)) << "row " << r;
  EXPECT_EQ(s.count(), 31 + 41 + 9);
}

TEST(BridgeRootGaps, AnEndAboveThePieceJoinsItWhereALateralReachesLower) {
  Skeleton s;
  s.line(20, 90, 20, 60);  // a root down to row 60
  // A lateral of it down to row 50, and the root's rest below.
  for (int k = 1; k <= 30; ++k) s.pixels[s.index(20 + k / 2, 80 - k)] = kWhitePixel;
  s.line(21, 55, 21, 10);
  BridgeRootGaps(s.pixels, kWidth, kHeight, 12);
  for (int r = 56; r < 60; ++r) EXPECT_TRUE(s.white(20, r) || s.white(21, r)) << "row " << r;
}

TEST(BridgeRootGaps, PiecesOutOfReachOrFarAsideStayApart) {
  Skeleton far;
  far.line(20, 90, 20, 60);
  far.line(20, 45, 20, 10);  // 15 rows below: out of a reach of 12
  Skeleton aside;
  aside.line(20, 90, 20, 60);
  aside.line(30, 52, 30, 10);  // 8 rows below but 10 columns aside: over 30 degrees
  Skeleton above;
  above.line(20, 90, 20, 60);
  above.line(22, 95, 22, 70);  // begins above the end: a neighbour, not the rest
  for (Skeleton* s : {&far, &aside, &above}) {
    const std::vector<std::uint32_t> before = s->pixels;
    BridgeRootGaps(s->pixels, kWidth, kHeight, 12);
    EXPECT_EQ(s->pixels, before);
  }
}

TEST(BridgeRootGaps, EachPieceJoinsOnlyTheNearestEnd) {
  Skeleton s;
  s.line(20, 90, 20, 60);
  s.line(26, 90, 26, 64);  // a second end, farther from the piece below
  s.line(21, 55, 21, 10);
  BridgeRootGaps(s.pixels, kWidth, kHeight, 12);
  // Joined to the end at (20, 60): the pixels between (21, 55) and it, and
  // nothing towards (26, 64).
  EXPECT_EQ(s.count(), 31 + 27 + 46 + 4);
  for (int r = 56; r < 64; ++r) EXPECT_FALSE(s.white(25, r) || s.white(24, r)) << "row " << r;
}

TEST(BridgeRootGaps, TheJoinEndsAtTheFirstLineItMeets) {
  Skeleton s;
  s.line(30, 90, 30, 10);  // a root
  s.line(30, 63, 32, 61);  // a spur of its thinning, whose free end is the nearest end above
  s.line(28, 48, 18, 38);  // a lateral broken off the root just beside it
  BridgeRootGaps(s.pixels, kWidth, kHeight, 20);
  // Joined where its way up to the spur's end first meets the root, without
  // crossing it or running alongside: a line of single pixels, no block of
  // four, nothing drawn right of the root.
  EXPECT_EQ(s.pieces(), 1);
  for (int r = 0; r + 1 < kHeight; ++r)
    for (int c = 0; c + 1 < kWidth; ++c)
      EXPECT_FALSE(s.white(c, r) && s.white(c + 1, r) && s.white(c, r + 1) && s.white(c + 1, r + 1))
          << c << "," << r;
  for (int r = 40; r < 61; ++r) EXPECT_FALSE(s.white(31, r) || s.white(32, r)) << "row " << r;
  EXPECT_LE(s.count(), 81 + 3 + 11 + 3);
}

}  // namespace

namespace {

TEST(ClearLevelLines, AStraightLevelLineGoesAndTheRootCrossingItIsJoinedAgain) {
  Skeleton s;
  // The agar's surface at row 70, one row higher for half its length, and a
  // root from its seed above down through it; a lateral slanting at 1 in 3.
  s.line(2, 70, 30, 70);
  s.line(31, 71, 57, 71);
  s.line(20, 85, 20, 10);
  s.line(21, 40, 45, 32);
  ClearLevelLines(s.pixels, kWidth, kHeight, 30);
  for (const int c : {5, 15, 25, 35, 50}) EXPECT_FALSE(s.white(c, 70) || s.white(c, 71)) << c;
  EXPECT_TRUE(s.white(20, 85) && s.white(20, 73) && s.white(20, 67) && s.white(20, 10));
  EXPECT_TRUE(s.white(33, 36) && s.white(45, 32));
  EXPECT_EQ(s.pieces(), 2);
  // Short level stretches stay.
  const int before = s.count();
  ClearLevelLines(s.pixels, kWidth, kHeight, 40);
  EXPECT_EQ(s.count(), before);
  BridgeRootGaps(s.pixels, kWidth, kHeight, 12);
  EXPECT_EQ(s.pieces(), 1);
}

}  // namespace
