// Vote filters, margin cut, segments and dilatation.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

#include "image/ima_ana.h"
#include "picture_text.h"
#include "support/test_env.h"

namespace {

using Pixels = std::vector<std::uint32_t>;
using Points = std::set<std::pair<int, int>>;

Points whitePoints(const KW_PicDoc& doc) {
  Points out;
  for (int r = 0; r < doc.height; ++r)
    for (int c = 0; c < doc.width; ++c)
      if (doc.At(c, r) != 0) out.insert({c, r});
  return out;
}

Pixels randomPicture(std::mt19937& rng, int width, int height, double density) {
  std::bernoulli_distribution white(density);
  std::uniform_int_distribution<std::uint32_t> colour(1, 0xFFFFFF);
  Pixels p(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  // Non-black pixels of any colour: the filter only asks whether a pixel is black.
  for (auto& v : p) v = white(rng) ? (colour(rng) % 3 == 0 ? colour(rng) : 0xFFFFFFU) : 0U;
  return p;
}

// The vote as the table describes it: one weight per window position.
Pixels naiveVote(const Pixels& src, int width, int height, const VoteFilterRow& f) {
  Pixels out(src.size(), 0);
  for (int r = 2; r <= height - 3; ++r)
    for (int c = 2; c <= width - 3; ++c) {
      int vote = 0;
      for (int dr = -2; dr <= 2; ++dr)
        for (int dc = -2; dc <= 2; ++dc) {
          const int ar = dr < 0 ? -dr : dr, ac = dc < 0 ? -dc : dc;
          int w = 0;
          if (ar == 0 && ac == 0)
            w = f.centre;
          else if (ar + ac == 1)
            w = f.edge1;
          else if (ar == 1 && ac == 1)
            w = f.corner1;
          else if ((ar == 2 && ac == 0) || (ar == 0 && ac == 2))
            w = f.edge2;
          else if (ar == 2 && ac == 2)
            w = f.corner2;
          else
            w = f.knight;
          const int at = (c + dc) + (r + dr) * width;
          if (src[static_cast<std::size_t>(at)] != 0) vote += w;
        }
      const int at = c + r * width;
      if (vote > f.limit) out[static_cast<std::size_t>(at)] = 0xFFFFFF;
    }
  return out;
}

}  // namespace

TEST(VoteTable, RowsMatchTheListAndTheirFullWindowSums) {
  struct Expected {
    const char* name;
    int limit;
    int fullWindow;
  };
  const Expected expected[] = {{"Gaussian", 40, 98},  {"Conical", 13, 25},       {"Pyramide Shaped", 35, 81},
                               {"Gaussian2", 25, 80}, {"Exponential", 275, 864}, {"Average", 4, 25}};
  for (int i = 0; i < 6; ++i) {
    const VoteFilterRow& f = kVoteFilters[static_cast<std::size_t>(i)];
    EXPECT_EQ(f.name, expected[i].name);
    EXPECT_EQ(f.limit, expected[i].limit);
    // 1 centre, 4 edge 1, 4 corner 1, 4 edge 2, 8 knight, 4 corner 2.
    EXPECT_EQ(f.centre + 4 * f.edge1 + 4 * f.corner1 + 4 * f.edge2 + 8 * f.knight + 4 * f.corner2,
              expected[i].fullWindow)
        << f.name;
    EXPECT_EQ(VoteMethodIndex(f.name), i);
  }
  EXPECT_EQ(kVoteFilters[kOriginalMethod].name, "Original");
  EXPECT_EQ(kVoteFilters[kDefaultVoteMethod].name, "Gaussian2");
  EXPECT_EQ(VoteMethodIndex("gaussian2"), -1);
  EXPECT_EQ(VoteMethodIndex(""), -1);
}

TEST(VoteFilter, AverageKeepsAPixelWithFiveNonBlackInItsWindow) {
  for (const int others : {3, 4}) {
    KW_ImaAna doc;
    pictext::Blank(doc, 9, 9);
    doc.At(4, 4) = 0xFFFFFF;
    const std::pair<int, int> around[] = {{2, 2}, {6, 6}, {3, 5}, {6, 2}};
    for (int i = 0; i < others; ++i)
      doc.At(around[i].first, around[i].second) = 0x010000;  // dark but not black
    Pixels out(doc.pixels.size(), 7);
    ASSERT_EQ(VoteFilter(doc.pixels.data(), out.data(), 9, 9, "Average"), 1);
    EXPECT_EQ(out[4 + 4 * 9], others == 4 ? 0xFFFFFFU : 0U) << others;
  }
}

// Pictures are drawn row by row.
// clang-format off
TEST(VoteFilter, Gaussian2DropsALonePixelAndKeepsAShortLine) {
  KW_ImaAna doc;
  pictext::Load(doc, {".........",
                      ".........",
                      "..#......",
                      ".........",
                      "...###...",
                      ".........",
                      ".........",
                      ".........",
                      "........."});
  ASSERT_EQ(doc.ApplyVoteFilter(VoteMethodIndex("Gaussian2")), 1);
  // The centre of the line has 16 + 7 + 7 = 30, its ends 16 + 7 + 3 = 26;
  // the lone pixel only its own 16.
  EXPECT_EQ(pictext::Show(doc), (std::vector<std::string>{".........",
                                                          ".........",
                                                          ".........",
                                                          ".........",
                                                          "...###...",
                                                          ".........",
                                                          ".........",
                                                          ".........",
                                                          "........."}));
}
// clang-format on

// Pictures are drawn row by row.
// clang-format off
TEST(VoteFilter, ConicalGivesKnightAndFarCornerPositionsNoWeight) {
  KW_ImaAna doc;
  pictext::Load(doc, {".##.##.",
                      ".#...#.",
                      "...#...",
                      ".#...#.",
                      ".##.##.",
                      ".......",
                      "......."});
  // (3, 4) sees only knight and corner-2 pixels: 5, not above 13.
  doc.ApplyVoteFilter(VoteMethodIndex("Conical"));
  EXPECT_EQ(doc.At(3, 4), 0U);
  EXPECT_TRUE(whitePoints(doc).empty());
  // The same ring with Average: 13 non-black, well above 4.
  pictext::Load(doc, {".##.##.", ".#...#.", "...#...", ".#...#.", ".##.##.", ".......", "......."});
  doc.ApplyVoteFilter(VoteMethodIndex("Average"));
  EXPECT_EQ(doc.At(3, 4), 0xFFFFFFU);
}
// clang-format on

TEST(VoteFilter, EdgesStayBlackAndSmallPicturesComeOutBlack) {
  KW_ImaAna doc;
  pictext::Load(doc, {"#####", "#####", "#####", "#####", "#####"});
  doc.ApplyVoteFilter(VoteMethodIndex("Average"));
  EXPECT_EQ(whitePoints(doc), (Points{{2, 2}}));
  for (const auto& size : {std::pair{4, 9}, std::pair{9, 4}, std::pair{1, 1}}) {
    Pixels white(static_cast<std::size_t>(size.first * size.second), 0xFFFFFF);
    Pixels out(white.size(), 5);
    EXPECT_EQ(VoteFilter(white.data(), out.data(), size.first, size.second, 0), 1);
    EXPECT_EQ(out, Pixels(white.size(), 0));
  }
}

TEST(VoteFilter, OriginalCopiesAndUnknownMethodsChangeNothing) {
  std::mt19937 rng(3);
  const Pixels src = randomPicture(rng, 12, 10, 0.4);
  Pixels out(src.size(), 9);
  EXPECT_EQ(VoteFilter(src.data(), out.data(), 12, 10, "Original"), 1);
  EXPECT_EQ(out, src);
  Pixels untouched(src.size(), 9);
  EXPECT_EQ(VoteFilter(src.data(), untouched.data(), 12, 10, "Median"), 0);
  EXPECT_EQ(VoteFilter(src.data(), untouched.data(), 12, 10, 7), 0);
  EXPECT_EQ(VoteFilter(src.data(), untouched.data(), 12, 10, -1), 0);
  EXPECT_EQ(untouched, Pixels(src.size(), 9));
  KW_ImaAna doc;
  doc.pixels = src;
  doc.width = 12;
  doc.height = 10;
  EXPECT_EQ(doc.ApplyVoteFilter(9), 0);
  EXPECT_EQ(doc.pixels, src);
}

TEST(VoteFilter, EveryRowAgreesWithTheWindowSumOnRandomPicturesAlsoInPlace) {
  std::mt19937 rng(11);
  for (int round = 0; round < 12; ++round) {
    const int width = 5 + static_cast<int>(rng() % 40), height = 5 + static_cast<int>(rng() % 30);
    const Pixels src = randomPicture(rng, width, height, 0.1 + 0.07 * round);
    for (int m = 0; m < kOriginalMethod; ++m) {
      const Pixels expected = naiveVote(src, width, height, kVoteFilters[static_cast<std::size_t>(m)]);
      Pixels out(src.size(), 3);
      ASSERT_EQ(VoteFilter(src.data(), out.data(), width, height, m), 1);
      EXPECT_EQ(out, expected) << kVoteFilters[static_cast<std::size_t>(m)].name << " " << width << "x"
                               << height;
      Pixels inPlace = src;
      VoteFilter(inPlace.data(), inPlace.data(), width, height, m);
      EXPECT_EQ(inPlace, expected);
    }
  }
}

// ---------------------------------------------------------------------------

namespace {

// Whether the margin cut clears (c, r) of a W x H picture, band by band as
// the table of bands gives them.
bool bandClears(int c, int r, int W, int H) {
  auto t = [](double d, double a) { return d * d / (a * a); };
  const double w = W, h = H;
  if (c <= 99 && t(c - 100, 100) + t(r - h, h) >= 1) return true;
  if (r <= 99 && t(r - 100, 100) + t(c - w, w) >= 1) return true;
  if (c >= W - 50 && t(c - (w - 50), 50) + t(r, h) >= 1) return true;
  if (r >= H - 50 && t(r - (h - 50), 50) + t(c, w) >= 1) return true;
  if (c <= 49 && t(c - 50, 50) + t(r, h) >= 1) return true;
  if (r >= H - 50 && t(r - (h - 50), 50) + t(c - w, w) >= 1) return true;
  if (c >= W - 100 && t(c - (w - 100), 100) + t(r - h, h) >= 1) return true;
  if (r <= 99 && t(r - 100, 100) + t(c, w) >= 1) return true;
  return false;
}

}  // namespace

TEST(CutMargins, ClearsTheCornerAndTheBottomEdgeButKeepsRow99AtTheMiddle) {
  KW_ImaAna doc;
  doc.width = doc.height = 1000;
  doc.pixels.assign(std::size_t{1000} * 1000U, 0xFFFFFF);
  doc.CutMargins();
  EXPECT_EQ(doc.At(0, 0), 0U);
  EXPECT_EQ(doc.At(500, 0), 0U);
  EXPECT_EQ(doc.At(500, 99), 0xFFFFFFU);  // bands 2 and 8: 0.0001 + 0.25
  EXPECT_EQ(doc.At(500, 500), 0xFFFFFFU);
  EXPECT_EQ(doc.At(0, 500), 0U);  // the left edge, column 0, is always cleared
  EXPECT_EQ(doc.At(999, 500), 0U);
  EXPECT_EQ(doc.At(500, 999), 0U);
  EXPECT_EQ(doc.At(500, 960), 0xFFFFFFU);  // 10 rows below the top band's centre line
  for (int r = 0; r < 1000; r += 7)
    for (int c = 0; c < 1000; c += 3)
      ASSERT_EQ(doc.At(c, r) == 0, bandClears(c, r, 1000, 1000)) << c << "," << r;
}

TEST(CutMargins, SmallAndOblongPicturesAreLimitedToThePictureAndMarksPaintTheSameSet) {
  for (const auto& size : {std::pair{30, 20}, std::pair{260, 140}, std::pair{150, 420}, std::pair{1, 1}}) {
    const int w = size.first, h = size.second;
    KW_ImaAna doc;
    doc.width = w;
    doc.height = h;
    doc.pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0x808080);
    KW_ImaAna marked;
    marked.width = w;
    marked.height = h;
    marked.pixels = doc.pixels;
    doc.CutMargins(false);
    marked.CutMargins(true);
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) {
        const bool cleared = bandClears(c, r, w, h);
        ASSERT_EQ(doc.At(c, r), cleared ? 0U : 0x808080U) << w << "x" << h << " at " << c << "," << r;
        // Marks paint the cleared pixels in colours instead of black.
        EXPECT_EQ(marked.At(c, r) != 0x808080U, cleared);
        EXPECT_NE(marked.At(c, r), 0U);
      }
  }
  KW_ImaAna empty;
  empty.CutMargins();
  EXPECT_TRUE(empty.pixels.empty());
}

// ---------------------------------------------------------------------------

namespace {

Points segment(int c, int r, int c2, int r2) {
  KW_ImaAna doc;
  pictext::Blank(doc, 8, 8);
  DrawSegment(c, r, c2, r2, doc.pixels.data(), 8, 8);
  return whitePoints(doc);
}

}  // namespace

TEST(DrawSegment, PaintsTheDiagonalThenTheStraightPartWithoutTheEnds) {
  EXPECT_EQ(segment(0, 0, 2, 2), (Points{{1, 0}, {2, 1}}));
  EXPECT_EQ(segment(2, 2, 0, 0), (Points{{1, 2}, {0, 1}}));
  EXPECT_EQ(segment(0, 0, 2, 1), (Points{{1, 0}, {1, 1}}));
  EXPECT_EQ(segment(0, 0, 1, 2), (Points{{1, 0}, {1, 1}}));
  EXPECT_EQ(segment(0, 0, 1, 1), (Points{{1, 0}}));
  EXPECT_EQ(segment(1, 1, 0, 0), (Points{{0, 1}}));
  EXPECT_EQ(segment(1, 0, 0, 3), (Points{{0, 0}, {0, 1}, {0, 2}}));
  EXPECT_EQ(segment(3, 3, 3, 3), Points{});
  // Straight segments include both ends, in either direction.
  EXPECT_EQ(segment(1, 4, 4, 4), (Points{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  EXPECT_EQ(segment(4, 4, 1, 4), (Points{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  EXPECT_EQ(segment(5, 6, 5, 3), (Points{{5, 3}, {5, 4}, {5, 5}, {5, 6}}));
  // Pixels outside the picture are left out, the rest is painted.
  EXPECT_EQ(segment(6, 2, 10, 2), (Points{{6, 2}, {7, 2}}));
}

TEST(DrawSegment, OrsWhiteIntoTheChannels) {
  std::uint32_t picture[3] = {0x102030, 0, 0};
  DrawSegment(0, 0, 1, 0, picture, 3, 1);
  EXPECT_EQ(picture[0], 0xFFFFFFU);
  EXPECT_EQ(picture[1], 0xFFFFFFU);
  EXPECT_EQ(picture[2], 0U);
}

class DilateTest : public testenv::HomeTest {};

TEST_F(DilateTest, ShortLinesAndBlocksKeepTheirShape) {
  KW_ImaAna doc;
  pictext::Blank(doc, 20, 20);
  for (int c = 10; c <= 12; ++c) doc.At(c, 10) = 0xFFFFFF;
  doc.Dilate();
  EXPECT_EQ(whitePoints(doc), (Points{{10, 10}, {11, 10}, {12, 10}}));

  pictext::Blank(doc, 20, 20);
  for (int r = 4; r <= 6; ++r) doc.At(15, r) = 0xFFFFFF;
  doc.Dilate();
  EXPECT_EQ(whitePoints(doc), (Points{{15, 4}, {15, 5}, {15, 6}}));

  pictext::Blank(doc, 20, 20);
  Points block;
  for (int r = 7; r <= 9; ++r)
    for (int c = 3; c <= 5; ++c) {
      doc.At(c, r) = 0xFFFFFF;
      block.insert({c, r});
    }
  doc.Dilate();
  EXPECT_EQ(whitePoints(doc), block);
}

// Pictures are drawn row by row.
// clang-format off
TEST_F(DilateTest, ADiagonalPairMovesToTheOtherDiagonalAndALonePixelGoes) {
  KW_ImaAna doc;
  pictext::Load(doc, {"..........",
                      "..........",
                      "..........",
                      "..........",
                      ".....#....",
                      "....#.....",
                      "..........",
                      ".......#..",
                      "..........",
                      ".........."});
  doc.Dilate();
  EXPECT_EQ(pictext::Show(doc), (std::vector<std::string>{"..........",
                                                          "..........",
                                                          "..........",
                                                          "..........",
                                                          "....#.....",
                                                          ".....#....",
                                                          "..........",
                                                          "..........",
                                                          "..........",
                                                          ".........."}));
  // A one-pixel diagonal line becomes the two diagonals beside it.
  pictext::Load(doc, {"..........",
                      "..........",
                      "......#...",
                      ".....#....",
                      "....#.....",
                      "...#......",
                      "..........",
                      "..........",
                      "..........",
                      ".........."});
  doc.Dilate();
  EXPECT_EQ(pictext::Show(doc), (std::vector<std::string>{"..........",
                                                          "..........",
                                                          ".....#....",
                                                          "....#.#...",
                                                          "...#.#....",
                                                          "....#.....",
                                                          "..........",
                                                          "..........",
                                                          "..........",
                                                          ".........."}));
}
// clang-format on

TEST_F(DilateTest, OnlyPureWhitePixelsCountAndSmallPicturesComeOutBlack) {
  KW_ImaAna doc;
  pictext::Blank(doc, 12, 12);
  doc.At(5, 5) = 0xFFFFFF;
  doc.At(6, 5) = 0xFFFFFE;  // bright, but not white: neither source nor partner
  doc.Dilate();
  EXPECT_TRUE(whitePoints(doc).empty());
  pictext::Load(doc, {"####", "####", "####", "####"});
  doc.Dilate();
  EXPECT_TRUE(whitePoints(doc).empty());
  EXPECT_EQ(doc.width, 4);
}

TEST_F(DilateTest, MarksTheStepRefreshesAndStartsItsLogAnew) {
  KW_ImaAna doc;
  pictext::Blank(doc, 6, 6);
  doc.Dilate();
  doc.Dilate();
  EXPECT_TRUE(doc.marks.isChecked(StepMark::Dilate));
  EXPECT_EQ(doc.refreshCount(), 2);
  EXPECT_EQ(readLog("log_dilatation.txt"), "\n********Dilatation\n");
  KW_ImaAna empty;
  empty.Dilate();
  EXPECT_EQ(empty.refreshCount(), 1);
}

TEST_F(DilateTest, AgreesWithSegmentsDrawnBetweenEveryPairOfWhitePixels) {
  std::mt19937 rng(5);
  for (int round = 0; round < 12; ++round) {
    const int w = 1 + static_cast<int>(rng() % 150), h = 1 + static_cast<int>(rng() % 40);
    KW_ImaAna doc;
    doc.width = w;
    doc.height = h;
    doc.pixels = randomPicture(rng, w, h, 0.05 + 0.04 * round);
    for (auto& p : doc.pixels)
      if (p != 0 && rng() % 2 == 0) p = 0xFFFFFF;
    Pixels expected(doc.pixels.size(), 0);
    for (int r = 2; r <= h - 3; ++r)
      for (int c = 2; c <= w - 3; ++c) {
        if (doc.At(c, r) != 0xFFFFFF) continue;
        for (int r2 = r - 2; r2 <= r + 2; ++r2)
          for (int c2 = c - 2; c2 <= c + 2; ++c2)
            if (doc.At(c2, r2) == 0xFFFFFF) DrawSegment(c, r, c2, r2, expected.data(), w, h);
      }
    doc.Dilate();
    EXPECT_EQ(doc.pixels, expected) << w << "x" << h;
  }
}
