// Find roots on tiny skeletons drawn into the picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "roots/detail/colour_random.h"
#include "roots_test_util.h"

using rootstest::DrawLine;
using rootstest::MakeBlack;

namespace {

class Detection : public testenv::HomeTest {
 protected:
  void SetUp() override {
    HomeTest::SetUp();
    doc.setColourSeed(7U);
  }
  KW_SciDoc doc;
};

// The walk of a vertical line of length pixels whose top is (c, top): down
// to the tip, back up, and the closing record at the start.
std::vector<ContourPoint> VerticalLineWalk(int c, int top, int length) {
  std::vector<ContourPoint> walk;
  const int bottom = top - length + 1;
  for (int r = top; r > bottom; --r) walk.push_back({c, r, 1});
  walk.push_back({c, bottom, 5});
  for (int r = bottom + 1; r < top; ++r) walk.push_back({c, r, 5});
  walk.push_back({c, top, kWalkClosed});
  return walk;
}

}  // namespace

TEST_F(Detection, SixtyPixelLineIsKeptFortyPixelLineIsErased) {
  MakeBlack(doc, 60, 120);
  DrawLine(doc, 20, 89, 20, 30);  // 60 pixels
  DrawLine(doc, 40, 89, 40, 50);  // 40 pixels
  doc.FindRoots();
  ASSERT_EQ(doc.nbr_item, 1);
  ASSERT_EQ(doc.item.size(), 1U);
  const Item& plant = doc.item[0];
  EXPECT_EQ(plant.nbr_point, 119);
  EXPECT_EQ(plant.tab, VerticalLineWalk(20, 89, 60));
  EXPECT_EQ(plant.numero, 1);
  EXPECT_EQ(plant.threshold, 0);
  EXPECT_EQ(plant.xdim, 0);
  EXPECT_TRUE(plant.subPicture.empty());
  EXPECT_EQ(doc.minItemLength, 100);
  // The short line is erased; the kept one carries one plant colour.
  for (int r = 50; r <= 89; ++r) EXPECT_EQ(doc.At(40, r), 0U) << r;
  const std::uint32_t colour = doc.At(20, 89);
  EXPECT_EQ(colour >> 16, 255U);
  EXPECT_NE(PixelSum(colour), kWhiteSum);
  for (int r = 30; r <= 89; ++r) EXPECT_EQ(doc.At(20, r), colour) << r;
  EXPECT_EQ(rootstest::CountNonBlack(doc), 60);
}

TEST_F(Detection, AWalkOfExactlyOneHundredStepsIsKept) {
  // A line of n pixels has a walk whose last index is 2 (n - 1).
  MakeBlack(doc, 40, 200);
  DrawLine(doc, 10, 150, 10, 100);  // 51 pixels: last index 100
  DrawLine(doc, 30, 150, 30, 101);  // 50 pixels: last index 98
  doc.FindRoots();
  ASSERT_EQ(doc.nbr_item, 1);
  EXPECT_EQ(doc.item[0].nbr_point, 101);
  EXPECT_EQ(doc.item[0].tab[0].col, 10);
  EXPECT_EQ(doc.At(30, 120), 0U);
}

TEST_F(Detection, TwoTreesAreSortedLeftToRightAndKeepTheirDetectionNumbers) {
  MakeBlack(doc, 50, 120);
  DrawLine(doc, 10, 70, 10, 10);   // left, lower
  DrawLine(doc, 10, 40, 4, 34);    // with a branch
  DrawLine(doc, 30, 100, 30, 30);  // right, starts higher
  doc.FindRoots();
  ASSERT_EQ(doc.nbr_item, 2);
  EXPECT_EQ(doc.item[0].tab[0].col, 10);
  EXPECT_EQ(doc.item[0].tab[0].row, 70);
  EXPECT_EQ(doc.item[0].numero, 2);
  EXPECT_EQ(doc.item[1].tab[0].col, 30);
  EXPECT_EQ(doc.item[1].tab[0].row, 100);
  EXPECT_EQ(doc.item[1].numero, 1);
  EXPECT_EQ(doc.item[1].tab, VerticalLineWalk(30, 100, 71));
  // Each plant has one colour of its own kind; all its walk points carry it.
  for (const Item& plant : doc.item) {
    const std::uint32_t colour = doc.At(plant.tab[0].col, plant.tab[0].row);
    for (const ContourPoint& p : plant.tab) EXPECT_EQ(doc.At(p.col, p.row), colour);
  }
}

TEST_F(Detection, SortKeepsTheOrderOfEqualStartColumns) {
  MakeBlack(doc, 20, 20);
  const std::vector<ContourPoint> a{{5, 1, 0}}, b{{3, 2, 0}}, c{{5, 3, 0}}, d{{3, 4, 0}};
  for (const auto* points : {&a, &b, &c, &d}) doc.AddItem(points->data(), 1);
  doc.SortItems();
  ASSERT_EQ(doc.item.size(), 4U);
  EXPECT_EQ(doc.item[0].numero, 2);
  EXPECT_EQ(doc.item[1].numero, 4);
  EXPECT_EQ(doc.item[2].numero, 1);
  EXPECT_EQ(doc.item[3].numero, 3);
}

TEST_F(Detection, BorderStopsTheWalk) {
  // A line reaching row 0 walks down to it and stops there: 80 points, too
  // short although the same line inside the picture would be kept.
  MakeBlack(doc, 30, 100);
  DrawLine(doc, 10, 79, 10, 0);
  std::vector<ContourPoint> walk;
  KW_SciDoc copy;
  MakeBlack(copy, 30, 100);
  copy.pixels = doc.pixels;
  EXPECT_EQ(copy.TraceContour(10, 79, walk), 79);
  ASSERT_EQ(walk.size(), 80U);
  EXPECT_EQ(walk.back(), (ContourPoint{10, 0, kWalkBorder}));
  EXPECT_EQ(copy.At(10, 0), 0xFFFFFFU);  // the border pixel is not walked
  EXPECT_EQ(copy.At(10, 1), kRedPixel);

  doc.FindRoots();
  EXPECT_EQ(doc.nbr_item, 0);
  EXPECT_EQ(rootstest::CountNonBlack(doc), 0);

  // A start on the top row stops at once; the rest of the line is found
  // from the row below.
  MakeBlack(doc, 30, 100);
  DrawLine(doc, 10, 99, 10, 40);
  doc.FindRoots();
  ASSERT_EQ(doc.nbr_item, 1);
  EXPECT_EQ(doc.item[0].tab.front(), (ContourPoint{10, 98, 1}));
  EXPECT_EQ(doc.item[0].nbr_point, 2 * 58 + 1);
  EXPECT_EQ(doc.At(10, 99), 0U);
}

TEST_F(Detection, SmallShapesAndTrivialWalks) {
  // The 2 x 2 block: a closed walk of five points, then erased.
  MakeBlack(doc, 20, 20);
  DrawLine(doc, 10, 11, 11, 11);
  DrawLine(doc, 10, 10, 11, 10);
  KW_SciDoc copy;
  copy.width = doc.width;
  copy.height = doc.height;
  copy.pixels = doc.pixels;
  std::vector<ContourPoint> walk;
  EXPECT_EQ(copy.TraceContour(11, 11, walk), 4);
  const std::vector<ContourPoint> expected{
      {11, 11, 7}, {10, 11, 1}, {10, 10, 3}, {11, 10, 5}, {11, 11, kWalkClosed}};
  EXPECT_EQ(walk, expected);
  doc.FindRoots();
  EXPECT_EQ(doc.nbr_item, 0);
  EXPECT_EQ(rootstest::CountNonBlack(doc), 0);

  // An isolated pixel: one record, no next pixel.
  MakeBlack(doc, 20, 20);
  doc.At(5, 5) = 0xFFFFFFU;
  EXPECT_EQ(doc.TraceContour(5, 5, walk), 0);
  EXPECT_EQ(walk, (std::vector<ContourPoint>{{5, 5, kWalkStopped}}));
  EXPECT_EQ(doc.At(5, 5), kRedPixel);
  // A start at (0, 0) closes at once.
  EXPECT_EQ(doc.TraceContour(0, 0, walk), 0);
  EXPECT_EQ(walk, (std::vector<ContourPoint>{{0, 0, kWalkClosed}}));

  // No picture, or no white pixel: nothing found, nothing shown.
  KW_SciDoc empty;
  empty.FindRoots();
  EXPECT_EQ(empty.nbr_item, 0);
  MakeBlack(doc, 20, 20);
  doc.FindRoots();
  EXPECT_EQ(doc.nbr_item, 0);
}

TEST_F(Detection, RunningTwiceFindsTheSamePlants) {
  MakeBlack(doc, 80, 120);
  DrawLine(doc, 30, 100, 30, 60);  // a Y
  DrawLine(doc, 29, 59, 10, 40);
  DrawLine(doc, 31, 59, 50, 40);
  DrawLine(doc, 65, 90, 65, 20);  // and a line
  doc.FindRoots();
  const std::vector<Item> first = doc.item;
  ASSERT_EQ(first.size(), 2U);
  doc.setColourSeed(99U);
  doc.FindRoots();
  ASSERT_EQ(doc.item.size(), first.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(doc.item[i].tab, first[i].tab);
    EXPECT_EQ(doc.item[i].numero, first[i].numero);
  }
}

TEST_F(Detection, ColoursFollowTheSeededGeneratorAndNeverPaintWhite) {
  MakeBlack(doc, 120, 120);
  for (int c = 10; c < 110; c += 20) DrawLine(doc, c, 100, c, 30);
  doc.setColourSeed(12345U);
  doc.FindRoots();
  ASSERT_EQ(doc.nbr_item, 5);
  // The same seed gives the same colours in the same (detection) order.
  ColourRandom random(12345U);
  std::set<std::uint32_t> seen;
  for (const Item& plant : doc.item) {
    const auto green = static_cast<std::uint32_t>(random.next() / 32767.0 * 253 + 130);
    const auto blue = static_cast<std::uint32_t>(random.next() / 32767.0 * 253 + 130);
    EXPECT_GE(green, 130U);
    EXPECT_LE(green, 383U);
    const std::uint32_t colour = 0xFF0000U | (green << 8) | blue;
    for (const ContourPoint& p : plant.tab) ASSERT_EQ(doc.At(p.col, p.row), colour);
    seen.insert(colour);
  }
  EXPECT_EQ(seen.size(), 5U);
  const int refreshes = doc.refreshCount();
  doc.ColorItems();
  EXPECT_EQ(doc.refreshCount(), refreshes + 1);
  // Seed 9931 draws green 255 and blue 255 first: white, the colour of
  // recorded segments. The plant takes the next draw instead.
  {
    ColourRandom probe(9931U);
    const int a = probe.next();
    const int b = probe.next();
    ASSERT_EQ(static_cast<int>(a / 32767.0 * 253 + 130), 255);
    ASSERT_EQ(static_cast<int>(b / 32767.0 * 253 + 130), 255);
    const auto green = static_cast<std::uint32_t>(probe.next() / 32767.0 * 253 + 130);
    const auto blue = static_cast<std::uint32_t>(probe.next() / 32767.0 * 253 + 130);
    doc.setColourSeed(9931U);
    doc.ColorItems();
    const ContourPoint& p = doc.item[0].tab[0];
    EXPECT_EQ(doc.At(p.col, p.row), 0xFF0000U | (green << 8) | blue);
  }
}

TEST_F(Detection, CheckMarkOfConfirmRootsIsLeftAsItIs) {
  MakeBlack(doc, 10, 10);
  doc.marks.check(StepMark::ConfirmRoots);
  doc.marks.set(StepMark::Dilate, true);
  doc.FindRoots();
  EXPECT_TRUE(doc.marks.isChecked(StepMark::FindRoots));
  EXPECT_TRUE(doc.marks.isChecked(StepMark::ConfirmRoots));
  EXPECT_FALSE(doc.marks.isChecked(StepMark::Dilate));
  doc.marks.check(StepMark::Skeletonize);
  doc.FindRoots();
  EXPECT_TRUE(doc.marks.isChecked(StepMark::FindRoots));
  EXPECT_FALSE(doc.marks.isChecked(StepMark::ConfirmRoots));
  EXPECT_FALSE(doc.marks.isChecked(StepMark::Skeletonize));
}

TEST_F(Detection, DetectionLogHoldsTheScanAndThePlantDump) {
  MakeBlack(doc, 30, 100);
  DrawLine(doc, 10, 80, 10, 20);  // 61 pixels, kept
  DrawLine(doc, 20, 80, 20, 76);  // 5 pixels, erased
  std::filesystem::create_directories(logFolder());
  testenv::WriteFile(logFolder() / "log_detection_item.txt", "old text\n");
  doc.FindRoots();
  const std::string log = readLog("log_detection_item.txt");
  EXPECT_EQ(log.rfind("\n********Detection_Item\n*******perimetre\n", 0), 0U) << log.substr(0, 80);
  // Rows are counted from the top in the log: row 80 is 19.
  EXPECT_NE(log.find("nb 120\nresult 120\tindx 10\tindy 19\n"), std::string::npos);
  EXPECT_NE(log.find("nb 8\nresult 8\tindx 20\tindy 19\n"), std::string::npos);
  EXPECT_NE(log.find("*******perimetre fin\n\nnbr_item 1\n\n********Affiche_item\nnumero 1\nnbr_point 121\n"
                     "threshold 0\ntab[0]= 10\t19\t1\ntab[1]= 10\t20\t1\n"),
            std::string::npos);
  EXPECT_NE(log.find("tab[120]= 10\t19\t-3\n\n********Affiche_item end\n"), std::string::npos);
  const std::string end = "\n********Detection_Item end\n";
  ASSERT_GE(log.size(), end.size());
  EXPECT_EQ(log.substr(log.size() - end.size()), end);
  EXPECT_EQ(log.find("old text"), std::string::npos);
}

TEST_F(Detection, AddItemCopiesThePointsAndNumbersThePlant) {
  MakeBlack(doc, 20, 20);
  std::vector<ContourPoint> points{{1, 2, 3}, {2, 2, -3}};
  doc.AddItem(points.data(), 2);
  points[0].col = 9;
  doc.AddItem(points.data(), 1);
  doc.AddItem(nullptr, 3);  // nothing to record
  doc.AddItem(points.data(), 0);
  ASSERT_EQ(doc.nbr_item, 2);
  EXPECT_EQ(doc.item[0].tab, (std::vector<ContourPoint>{{1, 2, 3}, {2, 2, -3}}));
  EXPECT_EQ(doc.item[0].nbr_point, 2);
  EXPECT_EQ(doc.item[0].numero, 1);
  EXPECT_EQ(doc.item[1].tab, (std::vector<ContourPoint>{{9, 2, 3}}));
  EXPECT_EQ(doc.item[1].numero, 2);
  // Records copy deeply.
  Item copy = doc.item[0];
  copy.tab[0].col = 42;
  EXPECT_EQ(doc.item[0].tab[0].col, 1);
}

TEST_F(Detection, SubPictureCopiesTheBoundingBoxRowYminFirst) {
  MakeBlack(doc, 10, 10);
  for (int r = 0; r < 10; ++r)
    for (int c = 0; c < 10; ++c) doc.At(c, r) = static_cast<std::uint32_t>(100 * r + c);
  const std::vector<ContourPoint> points{{4, 6, 0}, {2, 5, 0}, {3, 7, 0}};
  doc.AddItem(points.data(), 3);
  doc.MakeSubPicture(0);
  const Item& plant = doc.item[0];
  EXPECT_EQ(plant.xmin, 2);
  EXPECT_EQ(plant.ymin, 5);
  EXPECT_EQ(plant.xdim, 3);
  EXPECT_EQ(plant.ydim, 3);
  const std::vector<std::uint32_t> expected{502, 503, 504, 602, 603, 604, 702, 703, 704};
  EXPECT_EQ(plant.subPicture, expected);
  // An index out of range changes nothing.
  doc.MakeSubPicture(1);
  doc.MakeSubPicture(-1);
  EXPECT_EQ(doc.item.size(), 1U);
}

TEST_F(Detection, StalePlantsOfACroppedPictureAreNeverReadOutside) {
  MakeBlack(doc, 40, 120);
  DrawLine(doc, 30, 110, 30, 20);
  doc.FindRoots();
  ASSERT_EQ(doc.nbr_item, 1);
  // The picture shrinks under the plant (as a crop would do).
  MakeBlack(doc, 20, 50);
  doc.MakeSubPicture(0);
  EXPECT_EQ(doc.item[0].subPicture.size(),
            static_cast<std::size_t>(doc.item[0].xdim) * static_cast<std::size_t>(doc.item[0].ydim));
  EXPECT_GE(doc.item[0].xdim, 1);
  for (const std::uint32_t px : doc.item[0].subPicture) EXPECT_EQ(px, 0U);
  doc.ColorItems();
  doc.CreateTrees();
  doc.MeasureTrees();
  EXPECT_EQ(doc.nbr_root, 1);
  EXPECT_EQ(rootstest::CountNonBlack(doc), 0);
}

// Random pictures: every walk ends, follows the follower's steps, and every
// kept plant is painted in one colour of its own.
TEST_F(Detection, RandomPicturesGiveWellFormedWalks) {
  std::mt19937 random(2024U);
  for (int trial = 0; trial < 60; ++trial) {
    const int w = 20 + trial % 17;
    const int h = 24 + trial % 13;
    MakeBlack(doc, w, h);
    std::bernoulli_distribution on(0.25 + 0.01 * (trial % 40));
    for (auto& px : doc.pixels) px = on(random) ? 0xFFFFFFU : 0U;
    doc.FindRoots();
    EXPECT_EQ(doc.nbr_item, static_cast<int>(doc.item.size()));
    for (const Item& plant : doc.item) {
      ASSERT_GE(plant.nbr_point, 101);
      ASSERT_EQ(plant.nbr_point, static_cast<int>(plant.tab.size()));
      const std::uint32_t colour = doc.At(plant.tab[0].col, plant.tab[0].row);
      EXPECT_EQ(colour >> 16, 255U);
      for (std::size_t k = 0; k + 1 < plant.tab.size(); ++k) {
        const ContourPoint& p = plant.tab[k];
        ASSERT_GE(p.direction, 1) << "trial " << trial << " point " << k;
        ASSERT_LE(p.direction, 8);
        const ContourPoint& q = plant.tab[k + 1];
        const auto dir = static_cast<std::size_t>(p.direction);
        EXPECT_EQ(q.col, p.col + kDirectionCol[dir]);
        EXPECT_EQ(q.row, p.row + kDirectionRow[dir]);
        EXPECT_EQ(doc.At(p.col, p.row), colour);
      }
      const ContourPoint& last = plant.tab.back();
      EXPECT_TRUE(last.direction == kWalkStopped || last.direction == kWalkBorder ||
                  last.direction == kWalkClosed);
      if (last.direction == kWalkClosed) {
        EXPECT_TRUE(SamePosition(last, plant.tab.front()));
      }
    }
    // No working colour is left behind.
    for (const std::uint32_t px : doc.pixels) {
      ASSERT_NE(px, kRedPixel);
      ASSERT_NE(px, kBluePixel);
    }
  }
}

// A picture on which the walk runs into a cycle that does not pass its
// start: (5,3) -> (6,2) -> (5,1) -> (4,2) -> (5,3) ... The walk must stop.
TEST_F(Detection, WalkCaughtInACycleIsStopped) {
  MakeBlack(doc, 8, 8);
  for (const auto& [c, r] :
       std::vector<std::pair<int, int>>{{4, 3}, {5, 3}, {6, 3}, {3, 2}, {4, 2}, {6, 2}, {5, 1}})
    doc.At(c, r) = 0xFFFFFFU;
  KW_SciDoc copy;
  MakeBlack(copy, 8, 8);
  copy.pixels = doc.pixels;
  std::vector<ContourPoint> walk;
  EXPECT_EQ(copy.TraceContour(3, 2, walk), 6);
  const std::vector<ContourPoint> expected{{3, 2, 4}, {4, 3, 3}, {5, 3, 2},           {6, 2, 8},
                                           {5, 1, 6}, {4, 2, 4}, {5, 3, kWalkStopped}};
  EXPECT_EQ(walk, expected);
  EXPECT_EQ(readLog("log_detection_item.txt"), "walk in a loop at 5\t4, stopped\nnb 6\n");

  // The whole detection ends on the same shape with a border pixel that
  // makes the scan start the walk there.
  doc.At(7, 3) = 0xFFFFFFU;
  doc.FindRoots();
  EXPECT_EQ(doc.nbr_item, 0);
  EXPECT_NE(readLog("log_detection_item.txt")
                .find("walk in a loop at 5\t4, stopped\nnb 6\nresult 6\tindx 3\tindy 5\n"),
            std::string::npos);
}
