// Thinning to skeleton lines: tiny pictures, the pass-by-pass reference
// and generated plates.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>

#include "image/ima_ana.h"
#include "picture_text.h"
#include "support/scripted_frontend.h"
#include "support/test_env.h"
#include "synth/synth_plate.h"

namespace {

using Pixels = std::vector<std::uint32_t>;
using Points = std::set<std::pair<int, int>>;

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kMagenta = 0xFF00FF;

Points whitePoints(const KW_PicDoc& doc) {
  Points out;
  for (int r = 0; r < doc.height; ++r)
    for (int c = 0; c < doc.width; ++c)
      if (doc.At(c, r) != 0) out.insert({c, r});
  return out;
}

// The thinning pass by pass over the whole picture, in the working colours,
// exactly in the order the steps are described: the yardstick for the
// document's own thinning, which only visits the pixels that can change.
class ReferenceThinning {
 public:
  ReferenceThinning(Pixels& p, int w, int h) : m_p(p), m_w(w), m_h(h) {}

  int run(int maxIterations = -1) {
    whiten();
    int iterations = 0;
    while (maxIterations < 0 || iterations < maxIterations) {
      if (iterate() == 0) break;
      ++iterations;
    }
    whiten();
    return iterations;
  }

 private:
  std::uint32_t& at(int c, int r) {
    const int i = c + r * m_w;
    return m_p[static_cast<std::size_t>(i)];
  }
  bool nb(int c, int r) { return (at(c, r) & 0xFFFFFF) != 0; }
  bool green(int c, int r) { return ((at(c, r) >> 8) & 0xFF) == 0xFF; }
  int sum(int c, int r) {
    const std::uint32_t v = at(c, r);
    return static_cast<int>((v >> 16) + ((v >> 8) & 0xFF) + (v & 0xFF));
  }
  void whiten() {
    for (auto& v : m_p)
      if (v != 0) v |= 0xFFFFFF;
  }
  template <typename F>
  void scan(F&& f) {
    for (int r = 1; r <= m_h - 2; ++r)
      for (int c = 1; c <= m_w - 2; ++c) f(c, r);
  }

  int iterate() {
    for (auto& v : m_p)
      if (v == 0xFFFFFF) v = kRed;
    scan([&](int c, int r) {
      if (at(c, r) != kRed) return;
      int count = 0;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
          if ((dr != 0 || dc != 0) && sum(c + dc, r + dr) == 255) ++count;
      if (count < 8) at(c, r) = kGreen;
    });
    scan([&](int c, int r) {
      if (at(c, r) != kGreen) return;
      const bool p1 = green(c - 1, r) && green(c, r - 1) && !nb(c - 1, r - 1) && nb(c - 1, r + 1) &&
                      nb(c, r + 1) && nb(c + 1, r) && nb(c + 1, r - 1);
      const bool p2 = green(c + 1, r) && green(c, r - 1) && !nb(c + 1, r - 1) && nb(c - 1, r - 1) &&
                      nb(c - 1, r) && nb(c, r + 1) && nb(c + 1, r + 1);
      const bool p3 = green(c + 1, r) && green(c, r + 1) && !nb(c + 1, r + 1) && nb(c + 1, r - 1) &&
                      nb(c, r - 1) && nb(c - 1, r) && nb(c - 1, r + 1);
      const bool p4 = green(c - 1, r) && green(c, r + 1) && !nb(c - 1, r + 1) && nb(c + 1, r + 1) &&
                      nb(c + 1, r) && nb(c, r - 1) && nb(c - 1, r - 1);
      if (p1 || p2 || p3 || p4) at(c, r) = kBlue;
    });
    scan([&](int c, int r) {
      if (!green(c, r)) return;
      const bool N = nb(c, r + 1), NE = nb(c + 1, r + 1), E = nb(c + 1, r), SE = nb(c + 1, r - 1),
                 S = nb(c, r - 1), SW = nb(c - 1, r - 1), W = nb(c - 1, r), NW = nb(c - 1, r + 1);
      if ((W && S && SW && !N && !NE && !E) || (E && S && SE && !W && !NW && !N) ||
          (E && N && NE && !S && !SW && !W) || (W && N && NW && !E && !SE && !S))
        at(c, r) = kMagenta;
    });
    int removed = 0;
    scan([&](int c, int r) {
      if (((at(c, r) >> 16) & 0xFF) == 0xFF && (at(c, r) & 0xFF) == 0xFF) {
        at(c, r) = 0;
        ++removed;
      }
    });
    scan([&](int c, int r) {
      if (!nb(c, r)) return;
      const int code = NeighbourCode(m_p.data(), m_w, m_h, c, r);
      if (kIsRemovable[static_cast<std::size_t>(code)] && green(c, r)) {
        at(c, r) = 0;
        ++removed;
      } else {
        at(c, r) = kRed;
      }
    });
    whiten();
    return removed;
  }

  Pixels& m_p;
  int m_w;
  int m_h;
};

// 8-connected components of the non-black pixels: their count, and each
// pixel's component (-1 for black) in labels.
int components8(const Pixels& p, int w, int h, std::vector<int>* labels = nullptr) {
  std::vector<int> own;
  std::vector<int>& lab = labels != nullptr ? *labels : own;
  lab.assign(p.size(), -1);
  std::vector<int> stack;
  int count = 0;
  for (int i = 0; i < w * h; ++i) {
    if (p[static_cast<std::size_t>(i)] == 0 || lab[static_cast<std::size_t>(i)] >= 0) continue;
    stack.push_back(i);
    lab[static_cast<std::size_t>(i)] = count;
    while (!stack.empty()) {
      const int j = stack.back();
      stack.pop_back();
      const int c = j % w, r = j / w;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) {
          const int c2 = c + dc, r2 = r + dr;
          if (c2 < 0 || r2 < 0 || c2 >= w || r2 >= h) continue;
          const int k = c2 + r2 * w;
          if (p[static_cast<std::size_t>(k)] != 0 && lab[static_cast<std::size_t>(k)] < 0) {
            lab[static_cast<std::size_t>(k)] = count;
            stack.push_back(k);
          }
        }
    }
    ++count;
  }
  return count;
}

Points thinned(const std::vector<std::string>& rows, int maxIterations = -1) {
  KW_ImaAna doc;
  pictext::Load(doc, rows);
  ThinPicture(doc.pixels.data(), doc.width, doc.height, maxIterations);
  return whitePoints(doc);
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(Thinning, LonePixelsAndOnePixelLinesStay) {
  const std::vector<std::vector<std::string>> pictures = {
      {"......", "......", "..#...", "......", "......"},
      {"........", "........", ".######.", "........", "........"},
      {".....", "..#..", "..#..", "..#..", "..#..", "..#..", "....."},
      {".......", ".....#.", "....#..", "...#...", "..#....", ".#.....", "......."},
      {".......", ".#.....", "..#....", "...#...", "....#..", ".....#.", "......."},
  };
  for (const auto& rows : pictures) {
    KW_ImaAna doc;
    pictext::Load(doc, rows);
    EXPECT_EQ(thinned(rows), whitePoints(doc)) << rows[1];
  }
}

TEST(Thinning, ThreeByThreeBlockEndsAsTwoPixelsAfterTwoIterations) {
  std::vector<std::string> rows(12, "............");
  for (int r = 4; r <= 6; ++r)
    for (int c = 4; c <= 6; ++c) rows[static_cast<std::size_t>(11 - r)][static_cast<std::size_t>(c)] = '#';
  // The first iteration takes seven pixels, the second finds nothing to
  // remove and ends the step.
  const Points expected{{4, 5}, {5, 5}};
  EXPECT_EQ(thinned(rows, 1), expected);
  EXPECT_EQ(thinned(rows), expected);
  KW_ImaAna doc;
  pictext::Load(doc, rows);
  EXPECT_EQ(ThinPicture(doc.pixels.data(), doc.width, doc.height), 1);
}

TEST(Thinning, EightByTwoRectangleLeavesRow5AndOneCorner) {
  std::vector<std::string> rows(10, "............");
  for (int r = 4; r <= 5; ++r)
    for (int c = 2; c <= 9; ++c) rows[static_cast<std::size_t>(9 - r)][static_cast<std::size_t>(c)] = '#';
  const Points expected{{3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 4}};
  EXPECT_EQ(thinned(rows, 2), expected);
  EXPECT_EQ(thinned(rows), expected);
}

TEST(Thinning, SevenBySevenRingLosesOnlyItsCornersAndStaysClosed) {
  const std::vector<std::string> rows = {"...........", "..#######..", "..#.....#..",
                                         "..#.....#..", "..#.....#..", "..#.....#..",
                                         "..#.....#..", "..#######..", "..........."};
  KW_ImaAna doc;
  pictext::Load(doc, rows);
  Points expected = whitePoints(doc);
  for (const auto& corner : {std::pair{2, 1}, std::pair{8, 1}, std::pair{2, 7}, std::pair{8, 7}})
    expected.erase(corner);
  ThinPicture(doc.pixels.data(), doc.width, doc.height);
  EXPECT_EQ(whitePoints(doc), expected);
  EXPECT_EQ(components8(doc.pixels, doc.width, doc.height), 1);
  // Still a ring: the inside stays a separate black region (every white
  // pixel keeps exactly two white 8-neighbours).
  for (const auto& [c, r] : expected) {
    int n = 0;
    for (const auto& q : expected)
      if (q != std::pair{c, r} && std::abs(q.first - c) <= 1 && std::abs(q.second - r) <= 1) ++n;
    EXPECT_EQ(n, 2) << c << "," << r;
  }
}

TEST(Thinning, AnIsolatedTwoByTwoBlockVanishesWhole) {
  // Each of its four pixels is a convex corner, so all four go in the same
  // pass: the only way the thinning loses a shape.
  EXPECT_EQ(thinned({"......", "......", "..##..", "..##..", "......", "......"}), Points{});
  // With a tail it is no longer all corners: one connected piece stays.
  KW_ImaAna doc;
  pictext::Load(doc, {"......", "......", "..##..", "..##..", "....#.", "......"});
  ThinPicture(doc.pixels.data(), doc.width, doc.height);
  EXPECT_FALSE(whitePoints(doc).empty());
  EXPECT_EQ(components8(doc.pixels, doc.width, doc.height), 1);
}

TEST(Thinning, OuterRowsAndColumnsAreNeverRemoved) {
  // A full white picture: the frame of outer pixels stays whatever happens inside.
  KW_ImaAna doc;
  const std::vector<std::string> rows(9, "##########");
  pictext::Load(doc, rows);
  ThinPicture(doc.pixels.data(), doc.width, doc.height);
  for (int c = 0; c < doc.width; ++c) {
    EXPECT_EQ(doc.At(c, 0), 0xFFFFFFU);
    EXPECT_EQ(doc.At(c, doc.height - 1), 0xFFFFFFU);
  }
  for (int r = 0; r < doc.height; ++r) {
    EXPECT_EQ(doc.At(0, r), 0xFFFFFFU);
    EXPECT_EQ(doc.At(doc.width - 1, r), 0xFFFFFFU);
  }
  // Thin pictures are only whitened.
  KW_ImaAna thin;
  pictext::Load(thin, {"##.##", "#####"});
  thin.At(1, 0) = kGreen;
  ThinPicture(thin.pixels.data(), thin.width, thin.height);
  EXPECT_EQ(pictext::Show(thin), (std::vector<std::string>{"##.##", "#####"}));
}

TEST(Thinning, TestingOnlyPixelsWhoseNeighbourhoodChangedGivesThePassesResultBitForBit) {
  std::mt19937 rng(21);
  for (int round = 0; round < 160; ++round) {
    const int w = 3 + static_cast<int>(rng() % 40), h = 3 + static_cast<int>(rng() % 40);
    Pixels p(static_cast<std::size_t>(w * h), 0);
    // Blobs of random rectangles, some filled with a checkerboard or a
    // staircase (protected corners and chains of removals), then single
    // pixels, some in colours.
    const int shapes = 1 + static_cast<int>(rng() % 8);
    for (int s = 0; s < shapes; ++s) {
      const int c0 = static_cast<int>(rng() % static_cast<unsigned>(w)),
                r0 = static_cast<int>(rng() % static_cast<unsigned>(h));
      const int cw = 1 + static_cast<int>(rng() % 12), rh = 1 + static_cast<int>(rng() % 12);
      const auto fill = rng() % 3;
      for (int r = r0; r < std::min(h, r0 + rh); ++r)
        for (int c = c0; c < std::min(w, c0 + cw); ++c) {
          const bool on =
              fill == 0 || (fill == 1 && (c + r) % 2 == 0) || (fill == 2 && (c - r + 64) % 3 != 0);
          if (on)
            p[static_cast<std::size_t>(c) + static_cast<std::size_t>(r) * static_cast<std::size_t>(w)] =
                0xFFFFFF;
        }
    }
    for (auto& v : p)
      if (rng() % 9 == 0) v = (rng() % 2 == 0) ? 0U : static_cast<std::uint32_t>(rng() % 0xFFFFFF + 1);
    for (const int limit : {1, 2, 3, -1}) {
      Pixels fast = p, slow = p;
      const int a = ThinPicture(fast.data(), w, h, limit);
      const int b = ReferenceThinning(slow, w, h).run(limit);
      ASSERT_EQ(fast, slow) << "round " << round << " limit " << limit << " " << w << "x" << h;
      EXPECT_EQ(a, b);
    }
  }
}

// ---------------------------------------------------------------------------

class SkeletonizeTest : public testenv::HomeTest {};

TEST_F(SkeletonizeTest, MarksTheStepLogsStartAndEndAndRefreshes) {
  FRONTEND::ScriptedFrontend script;
  KW_ImaAna doc;
  doc.setFrontend(&script);
  pictext::Load(doc, {".....", ".###.", ".###.", ".###.", "....."});
  doc.Skeletonize();
  EXPECT_TRUE(doc.marks.isChecked(StepMark::Skeletonize));
  EXPECT_EQ(doc.refreshCount(), 1);
  EXPECT_EQ(readLog("log_skeletonization.txt"), "\n********Skeletonization\n\n********Skeletonization end\n");
  doc.Skeletonize();
  EXPECT_EQ(readLog("log_skeletonization.txt"), "\n********Skeletonization\n\n********Skeletonization end\n");
  KW_ImaAna empty;
  empty.setFrontend(&script);
  empty.Skeletonize();
  EXPECT_EQ(empty.refreshCount(), 1);
  EXPECT_EQ(script.waitCursorShown, 3);
  EXPECT_EQ(script.waitCursorRemoved, 3);
}

// Generated plates prepared as the Auto sequence does, then thinned.
class PlateSkeletonTest : public testenv::HomeTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(PlateSkeletonTest, ThinningKeepsShapesConnectedInsideAndIsIdempotent) {
  synth::PlateOptions options;
  options.dpi = 150;
  options.plants = 4;
  options.seed = GetParam();
  const synth::Plate plate = synth::MakePlate(options);
  KW_ImaAna doc;
  doc.pixels = plate.pixels;
  doc.width = plate.width;
  doc.height = plate.height;
  doc.FixedBinarise();
  ASSERT_EQ(doc.RemoveBox(), 1);
  doc.CutMargins();
  doc.Dilate();
  const Pixels before = doc.pixels;
  std::vector<int> labelsBefore;
  const int componentsBefore = components8(before, doc.width, doc.height, &labelsBefore);
  ASSERT_GT(componentsBefore, 0);

  doc.Skeletonize();
  std::size_t white = 0;
  for (std::size_t i = 0; i < doc.pixels.size(); ++i) {
    ASSERT_TRUE(doc.pixels[i] == 0 || doc.pixels[i] == 0xFFFFFF) << i;
    if (doc.pixels[i] != 0) {
      ASSERT_NE(before[i], 0U) << "white pixel " << i << " was black before";
      ++white;
    }
  }
  EXPECT_LT(white, static_cast<std::size_t>(std::count(before.begin(), before.end(), 0xFFFFFFU)));
  // Connections hold: no shape splits, and every shape survives except the
  // isolated 2 x 2 blocks (dilated two-pixel specks), which vanish whole.
  std::vector<int> labelsAfter;
  const int componentsAfter = components8(doc.pixels, doc.width, doc.height, &labelsAfter);
  std::vector<int> afterOf(static_cast<std::size_t>(componentsBefore), -1);
  std::vector<int> sizeBefore(static_cast<std::size_t>(componentsBefore), 0);
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (labelsBefore[i] < 0) continue;
    ++sizeBefore[static_cast<std::size_t>(labelsBefore[i])];
    if (labelsAfter[i] < 0) continue;
    int& mapped = afterOf[static_cast<std::size_t>(labelsBefore[i])];
    if (mapped < 0) mapped = labelsAfter[i];
    ASSERT_EQ(mapped, labelsAfter[i]) << "a shape split at pixel " << i;
  }
  int vanished = 0;
  for (int k = 0; k < componentsBefore; ++k)
    if (afterOf[static_cast<std::size_t>(k)] < 0) {
      ++vanished;
      EXPECT_EQ(sizeBefore[static_cast<std::size_t>(k)], 4) << "only 2 x 2 blocks vanish";
    }
  EXPECT_EQ(componentsAfter, componentsBefore - vanished);
  // No 2 x 2 white block is left.
  for (int r = 1; r + 1 < doc.height; ++r)
    for (int c = 1; c + 1 < doc.width; ++c)
      ASSERT_FALSE(doc.At(c, r) && doc.At(c + 1, r) && doc.At(c, r + 1) && doc.At(c + 1, r + 1))
          << c << "," << r;

  const Pixels once = doc.pixels;
  doc.Skeletonize();
  EXPECT_EQ(doc.pixels, once);

  Pixels reference = before;
  ReferenceThinning(reference, doc.width, doc.height).run();
  EXPECT_EQ(once, reference);
}

INSTANTIATE_TEST_SUITE_P(Seeds, PlateSkeletonTest, ::testing::Values(1U, 7U, 42U));
