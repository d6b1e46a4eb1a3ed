// Root measurements: path and vector lengths, angles, main and lateral roots.
#include <gtest/gtest.h>

#include <cmath>

#include "base/frontend.h"
#include "roots/root_measures.h"
#include "roots_test_util.h"

using rootstest::DrawLine;
using rootstest::LinePoints;
using rootstest::MakeBlack;
using rootstest::Segment;

namespace {

class Measures : public testenv::HomeTest {
 protected:
  void SetUp() override {
    HomeTest::SetUp();
    doc.setColourSeed(5U);
  }
  void analyse() {
    doc.FindRoots();
    ASSERT_EQ(doc.nbr_item, 1);
    doc.CreateTrees();
    doc.MeasureTrees();
  }
  KW_SciDoc doc;
};

double Degrees(double radians) { return radians * 180.0 / 3.141592653589793; }

// One step of a path: both the sum of squares and the root in single precision.
double FloatStep(int dc, int dr) {
  const auto squares = static_cast<float>(dc * dc + dr * dr);
  return static_cast<double>(std::sqrt(squares));
}

}  // namespace

TEST(PathLength, AddsSinglePrecisionStepsInDoublePrecision) {
  EXPECT_EQ(PathLength(*Segment({})), 1.0);
  EXPECT_EQ(PathLength(*Segment({{4, 4, 0}})), 1.0);
  // A straight line of n pixels has length n.
  EXPECT_EQ(PathLength(*Segment(LinePoints(3, 50, 3, 1))), 50.0);
  EXPECT_EQ(PathLength(*Segment(LinePoints(0, 7, 119, 7))), 120.0);

  // Knight steps: the single-precision root of 5, added 1000 times in double precision.
  std::vector<ContourPoint> knight;
  for (int k = 0; k <= 1000; ++k) knight.push_back({k, 2 * k, 0});
  double expected = 1.0;
  float allFloat = 1.0F;
  for (int k = 0; k < 1000; ++k) {
    expected += FloatStep(1, 2);
    allFloat += static_cast<float>(FloatStep(1, 2));
  }
  const double measured = PathLength(*Segment(knight));
  EXPECT_EQ(measured, expected);
  // Both other roundings give other numbers, so the test tells them apart.
  EXPECT_NE(measured, 1.0 + 1000.0 * std::sqrt(5.0));
  EXPECT_NE(measured, static_cast<double>(allFloat));

  // Diagonal steps of a 20-pixel diagonal line.
  EXPECT_EQ(PathLength(*Segment(LinePoints(29, 49, 10, 30))), 1.0 + 19 * FloatStep(1, 1));
}

TEST(Angles, DirectionAngleAndChordLength) {
  const ContourPoint p{50, 50, 0};
  EXPECT_DOUBLE_EQ(DirectionAngle(p, {50, 10, 0}), 0.0);     // straight down
  EXPECT_DOUBLE_EQ(DirectionAngle(p, {80, 50, 0}), 90.0);    // to the right
  EXPECT_DOUBLE_EQ(DirectionAngle(p, {20, 50, 0}), -90.0);   // to the left
  EXPECT_DOUBLE_EQ(DirectionAngle(p, {50, 90, 0}), 180.0);   // straight up
  EXPECT_DOUBLE_EQ(DirectionAngle(p, {40, 40, 0}), -45.0);   // down-left
  EXPECT_DOUBLE_EQ(DirectionAngle(p, {60, 40, 0}), 45.0);    // down-right
  EXPECT_DOUBLE_EQ(DirectionAngle(p, {60, 60, 0}), 135.0);   // up-right
  EXPECT_DOUBLE_EQ(DirectionAngle(p, {40, 60, 0}), -135.0);  // up-left
  EXPECT_DOUBLE_EQ(DirectionAngle(p, {50, 50, 7}), 0.0);     // start and end coincide
  EXPECT_NEAR(DirectionAngle(p, {60, 30, 0}), Degrees(std::atan(0.5)), 1e-12);
}

TEST_F(Measures, ChordLengthIsTheDistancePlusOneAndIsLogged) {
  EXPECT_DOUBLE_EQ(ChordLength(FRONTEND::DefaultFrontend(), {0, 0, 0}, {3, 4, 0}), 6.0);
  EXPECT_DOUBLE_EQ(ChordLength(FRONTEND::DefaultFrontend(), {9, 9, 0}, {9, 9, 0}), 1.0);
  EXPECT_EQ(readLog("log_math.txt"),
            "straightness_calcul:denominateur 5.000000\nstraightness_calcul:denominateur 0.000000\n");
}

TEST(LongestPath, FirstTipFoundDepthFirstWins) {
  auto s = Segment({{0, 0, 0}});
  s->length_total_begin = 1;
  KW_Segment* a = s->addChild(Segment({}));
  a->length_total_begin = 5;
  KW_Segment* a0 = a->addChild(Segment({}));
  a0->length_total_begin = 9;
  KW_Segment* b = s->addChild(Segment({}));
  b->length_total_begin = 9;
  std::vector<std::int32_t> path;
  EXPECT_TRUE(LongestPath(*s, 9.0, path));
  EXPECT_EQ(path, (std::vector<std::int32_t>{0, 0, -1}));
  EXPECT_EQ(&PathEnd(*s, path), a0);
  EXPECT_TRUE(LongestPath(*s, 1.0, path));
  EXPECT_EQ(path, std::vector<std::int32_t>{-1});
  EXPECT_TRUE(LongestPath(*s, 5.0, path));
  EXPECT_EQ(path, (std::vector<std::int32_t>{0, -1}));
  EXPECT_FALSE(LongestPath(*s, 9.5, path));
  EXPECT_EQ(path, std::vector<std::int32_t>{-1});
  // Laterals along the path to a0: s has two children, a one.
  EXPECT_EQ(LateralCount(*s, {0, 0, -1}), 1);
  EXPECT_EQ(LateralCount(*s, {1, -1}), 1);
  EXPECT_EQ(LateralCount(*s, {-1}), 0);
}

TEST_F(Measures, StraightLineOfTwoHundredPixels) {
  MakeBlack(doc, 60, 240);
  DrawLine(doc, 30, 220, 30, 21);
  analyse();
  const RootTree& tree = doc.root.at(0);
  EXPECT_EQ(tree.main_length, 200.0);
  EXPECT_EQ(tree.main_vector, 200.0);
  EXPECT_EQ(tree.main_angle, 0.0);
  EXPECT_EQ(tree.nbr_LR, 0);
  EXPECT_EQ(tree.path_longest_total, std::vector<std::int32_t>{-1});
  EXPECT_EQ(tree.first_segment->length_longest, 200.0);
  EXPECT_EQ(tree.first_segment->straightness, 200.0);
}

TEST_F(Measures, LineWithAHorizontalArm) {
  MakeBlack(doc, 70, 90);
  DrawLine(doc, 30, 75, 30, 10);  // 66 pixels
  DrawLine(doc, 31, 50, 50, 50);  // 20 pixels
  analyse();
  const RootTree& tree = doc.root.at(0);
  EXPECT_EQ(tree.main_length, 66.0);
  EXPECT_EQ(tree.main_vector, 66.0);
  EXPECT_EQ(tree.main_angle, 0.0);
  EXPECT_EQ(tree.nbr_LR, 1);
  ASSERT_EQ(tree.first_segment->nbr_segment_children, 2);
  const KW_Segment& arm = *tree.first_segment->segment_children[1];
  EXPECT_EQ(arm.length_longest, 20.0);
  EXPECT_EQ(arm.position_branch, 25.0F);
  EXPECT_EQ(arm.position_root, 25.0F);
  EXPECT_EQ(arm.straightness, 20.0);
  EXPECT_EQ(arm.angle, 90.0);
  EXPECT_EQ(arm.Nbr_LR, 0);
  EXPECT_EQ(arm.path_longest, std::vector<std::int32_t>{-1});
  // The main root runs through the two junction pixels to the bottom.
  EXPECT_EQ(tree.path_longest_total, (std::vector<std::int32_t>{0, 0, -1}));
  const KW_Segment& junction = *tree.first_segment->segment_children[0];
  EXPECT_EQ(junction.position_root, 25.0F);
  EXPECT_EQ(junction.length_total_begin, 27.0);
}

TEST_F(Measures, LineWithAnArmToTheLeftKeepsTheWholeStem) {
  // The mirror image of the line with an arm. The walk passes the junction
  // pixel by where the arm leaves against the follower's order of
  // directions; the stem below it hangs beside the arm and the junction
  // pixel's own one-pixel branch. Without that rule the stem's lower 40
  // pixels were lost.
  MakeBlack(doc, 70, 90);
  DrawLine(doc, 39, 75, 39, 10);  // 66 pixels
  DrawLine(doc, 38, 50, 19, 50);  // 20 pixels
  analyse();
  const RootTree& tree = doc.root.at(0);
  const KW_Segment& first = *tree.first_segment;
  ASSERT_EQ(first.nbr_segment_children, 3);
  const KW_Segment& arm = *first.segment_children[0];
  const KW_Segment& stem = *first.segment_children[1];
  const KW_Segment& junction = *first.segment_children[2];
  EXPECT_EQ(rootstest::Positions(junction), LinePoints(39, 50, 39, 50));
  EXPECT_EQ(rootstest::Positions(stem), LinePoints(39, 49, 39, 10));
  EXPECT_EQ(rootstest::Positions(arm), LinePoints(38, 50, 19, 50));
  // The main root runs down the whole stem; only the junction pixel is off
  // its path, and counts as a lateral beside the arm.
  EXPECT_EQ(tree.main_length, 65.0);
  EXPECT_EQ(tree.main_angle, 0.0);
  EXPECT_EQ(tree.path_longest_total, (std::vector<std::int32_t>{1, -1}));
  EXPECT_EQ(tree.nbr_LR, 2);
  EXPECT_EQ(arm.length_longest, 20.0);
  EXPECT_EQ(arm.straightness, 20.0);
  EXPECT_EQ(arm.angle, -90.0);
  EXPECT_EQ(arm.position_branch, 25.0F);
}

TEST_F(Measures, YShapeWithEqualArms) {
  MakeBlack(doc, 70, 90);
  DrawLine(doc, 30, 70, 30, 50);  // stem, 21 pixels
  DrawLine(doc, 29, 49, 10, 30);  // left arm, 20 pixels
  DrawLine(doc, 31, 49, 50, 30);  // right arm, 20 pixels
  analyse();
  const RootTree& tree = doc.root.at(0);
  const double arm = 1.0 + 19 * FloatStep(1, 1);
  EXPECT_EQ(tree.main_length, 21.0 + arm);
  // The arm attached first continues the root.
  EXPECT_EQ(tree.path_longest_total, (std::vector<std::int32_t>{0, -1}));
  EXPECT_NEAR(tree.main_angle, -26.565051177077990, 1e-9);
  EXPECT_DOUBLE_EQ(tree.main_vector, std::sqrt(20.0 * 20.0 + 40.0 * 40.0) + 1.0);
  EXPECT_EQ(tree.nbr_LR, 1);
  const KW_Segment& right = *tree.first_segment->segment_children[1];
  EXPECT_NEAR(right.angle, 45.0, 1e-9);
  EXPECT_EQ(right.position_branch, 21.0F);
  EXPECT_EQ(right.length_longest, arm);
  EXPECT_DOUBLE_EQ(right.straightness, std::sqrt(2.0 * 19 * 19) + 1.0);
  // The continuation keeps the parent's end as its branch position.
  const KW_Segment& left = *tree.first_segment->segment_children[0];
  EXPECT_EQ(left.position_branch, 21.0F);
  EXPECT_EQ(left.length_longest, 0.0);
}

// main: first (30,150)..(30,101), then A (30,100)..(30,10); lateral B
// (31,100)..(60,100) with its own children B1 (61,100)..(90,100) and B2
// (61,99)..(61,80); a one-pixel lateral E at (29,100).
TEST_F(Measures, LateralThatBranchesAndOnePixelRoot) {
  MakeBlack(doc, 100, 160);
  doc.root.resize(1);
  doc.nbr_root = 1;
  RootTree& tree = doc.root[0];
  tree.first_segment = Segment(LinePoints(30, 150, 30, 101));
  KW_Segment& first = *tree.first_segment;
  const KW_Segment* a = first.addChild(Segment(LinePoints(30, 100, 30, 10)));
  KW_Segment* b = first.addChild(Segment(LinePoints(31, 100, 60, 100)));
  const KW_Segment* e = first.addChild(Segment({{29, 100, 0}}));
  const KW_Segment* b1 = b->addChild(Segment(LinePoints(61, 100, 90, 100)));
  const KW_Segment* b2 = b->addChild(Segment(LinePoints(61, 99, 61, 80)));
  doc.MeasureTrees();

  EXPECT_EQ(tree.main_length, 141.0);
  EXPECT_EQ(tree.main_vector, 141.0);
  EXPECT_EQ(tree.main_angle, 0.0);
  EXPECT_EQ(tree.nbr_LR, 2);
  EXPECT_EQ(tree.path_longest_total, (std::vector<std::int32_t>{0, -1}));
  EXPECT_EQ(first.length_longest, 141.0);
  EXPECT_EQ(first.position_branch, 0.0F);
  EXPECT_EQ(a->position_branch, 50.0F);

  EXPECT_EQ(b->length_total_begin, 80.0);
  EXPECT_EQ(b->length_longest, 60.0);
  EXPECT_EQ(b->position_branch, 50.0F);
  EXPECT_EQ(b->path_longest, (std::vector<std::int32_t>{0, -1}));
  EXPECT_EQ(b->angle, 90.0);
  EXPECT_EQ(b->straightness, 60.0);
  EXPECT_EQ(b->Nbr_LR, 1);
  // B1 continues B; B2 is a lateral of the lateral, placed from B's base.
  EXPECT_EQ(b1->position_branch, 80.0F);
  EXPECT_EQ(b1->length_longest, 0.0);
  EXPECT_EQ(b2->position_root, 80.0F);
  EXPECT_EQ(b2->position_branch, 30.0F);
  EXPECT_EQ(b2->length_longest, 20.0);
  EXPECT_EQ(b2->angle, 0.0);
  EXPECT_EQ(b2->straightness, 20.0);
  EXPECT_EQ(b2->Nbr_LR, 0);
  // A root whose start and end coincide.
  EXPECT_EQ(e->length_longest, 1.0);
  EXPECT_EQ(e->position_branch, 50.0F);
  EXPECT_EQ(e->angle, 0.0);
  EXPECT_EQ(e->straightness, 1.0);
  EXPECT_EQ(e->path_longest, std::vector<std::int32_t>{-1});

  // The math log: main lengths, the laterals, then the dump, depth first.
  const std::string log = readLog("log_math.txt");
  EXPECT_EQ(log.rfind("length_total_begin 50.000000\nlength_total_begin 141.000000\n", 0), 0U);
  EXPECT_NE(
      log.find(
          "length_total_begin 51.000000\nstraightness_calcul:denominateur 140.000000\n\n\nLATERAL ROOT\n"),
      std::string::npos);
  const std::size_t dump = log.find(
      "affichage\n0 0\n1 -1\nlength max 141.000000\nangle max 0.000000\n"
      "Nombre_LR max 2\nnumero 0\nlength 50.000000\n");
  ASSERT_NE(dump, std::string::npos);
  EXPECT_EQ(rootstest::Occurrences(log, "affichage\n"), 1);
  EXPECT_EQ(log.substr(log.size() - 4), "end\n");
  // Segment order in the dump: first, A, B, B1, B2, E, with "indx" before each child.
  std::vector<std::string> order;
  for (std::size_t at = log.find("length_total_begin ", dump); at != std::string::npos;
       at = log.find("length_total_begin ", at + 1))
    order.push_back(log.substr(at + 19, log.find('\n', at) - at - 19));
  EXPECT_EQ(order, (std::vector<std::string>{"50.000000", "141.000000", "80.000000", "110.000000",
                                             "100.000000", "51.000000"}));
  EXPECT_NE(log.find("point[0].x 61,point[0].y 60,point[19].x 61,point[19].y 79\n"), std::string::npos);
  EXPECT_NE(log.find("\nindx 2\nnumero 0\nlength 1.000000\n"), std::string::npos);
}

TEST_F(Measures, LongChainsAreMeasuredWithoutRecursion) {
  // Twenty thousand segments of two pixels, each the only child of the last.
  MakeBlack(doc, 10, 10);
  doc.root.resize(1);
  doc.nbr_root = 1;
  doc.root[0].first_segment = Segment({{0, 0, 0}, {0, 1, 0}});
  KW_Segment* at = doc.root[0].first_segment.get();
  for (int i = 1; i < 20000; ++i) at = at->addChild(Segment({{0, 2 * i, 0}, {0, 2 * i + 1, 0}}));
  at->addChild(Segment({{1, 0, 0}}));
  doc.MeasureTrees();
  EXPECT_EQ(doc.root[0].main_length, 40001.0);
  EXPECT_EQ(doc.root[0].path_longest_total.size(), 20001U);
  EXPECT_EQ(doc.root[0].nbr_LR, 0);
  EXPECT_EQ(doc.root[0].main_angle, 90.0);  // the last pixel lies right of the first
  EXPECT_EQ(doc.root[0].main_vector, 2.0);
}
