// Segment trees of tiny skeletons: segments, children and their order.
#include <gtest/gtest.h>

#include <filesystem>

#include "roots_test_util.h"

using rootstest::DrawLine;
using rootstest::LinePoints;
using rootstest::MakeBlack;
using rootstest::Positions;

namespace {

class Trees : public testenv::HomeTest {
 protected:
  void SetUp() override {
    HomeTest::SetUp();
    doc.setColourSeed(3U);
  }
  // Find roots and the trees, expecting one plant.
  const RootTree& build() {
    doc.FindRoots();
    EXPECT_EQ(doc.nbr_item, 1);
    doc.CreateTrees();
    EXPECT_EQ(doc.nbr_root, 1);
    return doc.root.at(0);
  }
  KW_SciDoc doc;
};

}  // namespace

TEST_F(Trees, SingleLineGivesOneSegmentToTheTip) {
  MakeBlack(doc, 50, 120);
  DrawLine(doc, 30, 100, 30, 20);
  const int refreshes = doc.refreshCount();
  const RootTree& tree = build();
  EXPECT_GT(doc.refreshCount(), refreshes + 1);  // colouring and the tree each refresh
  ASSERT_NE(tree.first_segment, nullptr);
  const KW_Segment& s = *tree.first_segment;
  EXPECT_EQ(Positions(s), LinePoints(30, 100, 30, 20));
  EXPECT_EQ(s.nbr_point, 81);
  EXPECT_EQ(s.nbr_segment_children, 0);
  EXPECT_TRUE(s.segment_children.empty());
  // Recorded segments are white.
  for (int r = 20; r <= 100; ++r) EXPECT_EQ(doc.At(30, r), 0xFFFFFFU);
}

TEST_F(Trees, YShapeGivesTheStemWithTheArmWalkedFirstFirst) {
  MakeBlack(doc, 70, 90);
  DrawLine(doc, 30, 70, 30, 50);
  DrawLine(doc, 29, 49, 10, 30);
  DrawLine(doc, 31, 49, 50, 30);
  const RootTree& tree = build();
  ASSERT_NE(tree.first_segment, nullptr);
  const KW_Segment& stem = *tree.first_segment;
  EXPECT_EQ(Positions(stem), LinePoints(30, 70, 30, 50));
  ASSERT_EQ(stem.nbr_segment_children, 2);
  EXPECT_EQ(Positions(*stem.segment_children[0]), LinePoints(29, 49, 10, 30));
  EXPECT_EQ(Positions(*stem.segment_children[1]), LinePoints(31, 49, 50, 30));
  EXPECT_EQ(stem.segment_children[0]->nbr_segment_children, 0);
  EXPECT_EQ(stem.segment_children[1]->nbr_segment_children, 0);
}

TEST_F(Trees, TShapeSplitsTheLineAtTheJunctionPixels) {
  MakeBlack(doc, 70, 90);
  DrawLine(doc, 30, 75, 30, 10);
  DrawLine(doc, 31, 50, 50, 50);
  const RootTree& tree = build();
  ASSERT_NE(tree.first_segment, nullptr);
  const KW_Segment& top = *tree.first_segment;
  EXPECT_EQ(Positions(top), LinePoints(30, 75, 30, 51));
  ASSERT_EQ(top.nbr_segment_children, 2);
  const KW_Segment& junction = *top.segment_children[0];
  EXPECT_EQ(Positions(junction), LinePoints(30, 50, 30, 49));
  ASSERT_EQ(junction.nbr_segment_children, 1);
  EXPECT_EQ(Positions(*junction.segment_children[0]), LinePoints(30, 48, 30, 10));
  EXPECT_EQ(Positions(*top.segment_children[1]), LinePoints(31, 50, 50, 50));
}

TEST_F(Trees, RingWithoutEndsGivesATreeWithoutSegments) {
  MakeBlack(doc, 90, 100);
  DrawLine(doc, 40, 80, 70, 50);
  DrawLine(doc, 70, 50, 40, 20);
  DrawLine(doc, 40, 20, 10, 50);
  DrawLine(doc, 10, 50, 40, 80);
  const RootTree& tree = build();
  EXPECT_EQ(tree.first_segment, nullptr);
  doc.MeasureTrees();
  EXPECT_EQ(doc.root[0].main_length, 0.0);
  EXPECT_EQ(doc.root[0].nbr_LR, 0);
  EXPECT_TRUE(doc.root[0].path_longest_total.empty());
}

TEST_F(Trees, BuildingTwiceGivesTheSameTree) {
  // The first build paints the segments white; the second must still find
  // the plant's segments, not take every white pixel for a recorded one.
  MakeBlack(doc, 70, 90);
  DrawLine(doc, 30, 75, 30, 10);
  DrawLine(doc, 31, 50, 50, 50);
  build();
  doc.CreateTrees();
  ASSERT_EQ(doc.root.size(), 1U);
  const KW_Segment& top = *doc.root[0].first_segment;
  EXPECT_EQ(Positions(top), LinePoints(30, 75, 30, 51));
  ASSERT_EQ(top.nbr_segment_children, 2);
  EXPECT_EQ(Positions(*top.segment_children[1]), LinePoints(31, 50, 50, 50));
}

TEST_F(Trees, ParentIsTheFirstSegmentDepthFirstWhoseEndTouches) {
  MakeBlack(doc, 60, 60);
  doc.root.resize(1);
  doc.nbr_root = 1;
  // A ends at (10,10); its children B (ends (20,20)) and C (ends (30,31));
  // B's child D ends at (30,30).
  const std::vector<ContourPoint> aWalk = LinePoints(10, 0, 10, 10);
  const std::vector<ContourPoint> bWalk = LinePoints(11, 11, 20, 20);
  const std::vector<ContourPoint> cWalk{{9, 11, 0}, {30, 31, 0}};
  const std::vector<ContourPoint> dWalk = LinePoints(21, 21, 30, 30);
  ASSERT_NE(doc.AddSegment(0, aWalk, 0, 10), nullptr);
  KW_Segment* b = doc.AddSegment(0, bWalk, 0, 9);
  KW_Segment* c = doc.AddSegment(0, cWalk, 0, 1);
  KW_Segment* d = doc.AddSegment(0, dWalk, 0, 9);
  ASSERT_NE(b, nullptr);
  ASSERT_NE(c, nullptr);
  ASSERT_NE(d, nullptr);
  const KW_Segment& a = *doc.root[0].first_segment;
  ASSERT_EQ(a.nbr_segment_children, 2);
  EXPECT_EQ(a.segment_children[0].get(), b);
  EXPECT_EQ(a.segment_children[1].get(), c);
  ASSERT_EQ(b->nbr_segment_children, 1);
  EXPECT_EQ(b->segment_children[0].get(), d);

  // (31,31) touches the ends of D and of C: D comes first depth first.
  const auto probe = rootstest::Segment({{31, 31, 0}});
  EXPECT_EQ(doc.FindParent(doc.root[0].first_segment.get(), *probe), d);
  // (11,9) touches the end of A (and nothing else): the parent comes first.
  const auto nearA = rootstest::Segment({{11, 9, 0}, {12, 8, 0}});
  EXPECT_EQ(doc.FindParent(doc.root[0].first_segment.get(), *nearA), &a);
  // The same pixel as an end does not touch it.
  const auto onA = rootstest::Segment({{10, 10, 0}});
  EXPECT_EQ(doc.FindParent(doc.root[0].first_segment.get(), *onA), nullptr);

  // A segment touching no end is dropped.
  const std::vector<ContourPoint> far = LinePoints(50, 50, 55, 50);
  EXPECT_EQ(doc.AddSegment(0, far, 0, 5), nullptr);
  EXPECT_EQ(a.nbr_segment_children, 2);
  const std::string log = readLog("log_create_tree.txt");
  EXPECT_NE(log.find("first segment\n"), std::string::npos);
  EXPECT_NE(log.find("elem->nbr_point 6\nelem->point[0].x 50 elem->point[0].x 9\n"
                     "elem->point[5].x 55 elem->point[5].x 9\n"),
            std::string::npos);
  EXPECT_NE(log.find("Search_segment_parent=NULL\n"), std::string::npos);
  // Bad indices record nothing.
  EXPECT_EQ(doc.AddSegment(0, far, 3, 2), nullptr);
  EXPECT_EQ(doc.AddSegment(0, far, 0, 6), nullptr);
  EXPECT_EQ(doc.AddSegment(1, far, 0, 1), nullptr);
}

TEST_F(Trees, HelperTests) {
  EXPECT_TRUE(Adjacent8({1, 1, 0}, {2, 2, 5}));
  EXPECT_TRUE(Adjacent8({1, 1, 0}, {1, 0, 0}));
  EXPECT_FALSE(Adjacent8({1, 1, 0}, {1, 1, 3}));
  EXPECT_FALSE(Adjacent8({1, 1, 0}, {3, 1, 0}));
  EXPECT_FALSE(Adjacent8({-1, -1, 0}, {1, 0, 0}));

  MakeBlack(doc, 4, 4);
  // Only the sum counts: (0,0,255) and (255,0,0) match a colour of sum 255.
  doc.At(0, 0) = 0x0000FFU;
  doc.At(1, 0) = 0xFF0000U;
  doc.At(2, 0) = 0x00FF00U;
  doc.At(0, 1) = 0x808080U;
  EXPECT_EQ(doc.SameColourNeighbours(1, 1, 0xFF0000U), 3);
  EXPECT_EQ(doc.SameColourNeighbours(0, 0, 0x00FF00U), 1);  // outside neighbours never count
  EXPECT_EQ(doc.SameColourNeighbours(3, 3, 0U), 3);
}

TEST_F(Trees, TreeLogHoldsThePlantDumpAndTheSegments) {
  MakeBlack(doc, 50, 120);
  DrawLine(doc, 30, 100, 30, 20);
  std::filesystem::create_directories(logFolder());
  testenv::WriteFile(logFolder() / "log_create_tree.txt", "old\n");
  build();
  const std::string log = readLog("log_create_tree.txt");
  EXPECT_EQ(log.rfind("\n********Create_Tree\nnumero 0\nnbr_point 161\nthreshold 0\ntab[0]= 30\t19\t1\n", 0),
            0U);
  EXPECT_NE(log.find("elem->nbr_point 81\nelem->point[0].x 30 elem->point[0].x 19\n"
                     "elem->point[80].x 30 elem->point[80].x 99\nfirst segment\n"),
            std::string::npos);
  EXPECT_EQ(log.find("old\n"), std::string::npos);
}

TEST(SegmentRecords, DeepChainsAreDestroyedWithoutRecursion) {
  // Three hundred thousand segments in one chain: a recursive destructor
  // would run out of stack.
  auto first = std::make_unique<KW_Segment>();
  KW_Segment* at = first.get();
  for (int i = 0; i < 300000; ++i) at = at->addChild(std::make_unique<KW_Segment>());
  EXPECT_EQ(first->nbr_segment_children, 1);
  RootTree tree;
  tree.first_segment = std::move(first);
  tree.first_segment.reset();
  EXPECT_EQ(tree.first_segment, nullptr);
}

TEST_F(Trees, StretchLeavingTheJunctionOfARecordedBranchBecomesItsSibling) {
  // Where thinning leaves a one-pixel hole at a junction, the walk comes back
  // along a branch and leaves by a stretch that touches the branch's start
  // but no segment's end. It leaves the same junction: a sibling of the
  // branch, and what follows it hangs below it as usual.
  MakeBlack(doc, 60, 60);
  doc.root.resize(1);
  doc.nbr_root = 1;
  const std::vector<ContourPoint> stem = LinePoints(10, 40, 10, 10);   // ends at (10,10)
  const std::vector<ContourPoint> branch = LinePoints(9, 9, 0, 0);     // starts beside the end
  const std::vector<ContourPoint> stretch = LinePoints(10, 8, 12, 6);  // beside (9,9) only
  const std::vector<ContourPoint> below = LinePoints(12, 5, 12, 1);
  KW_Segment* s = doc.AddSegment(0, stem, 0, 30);
  KW_Segment* b = doc.AddSegment(0, branch, 0, 9);
  KW_Segment* t = doc.AddSegment(0, stretch, 0, 2);
  KW_Segment* u = doc.AddSegment(0, below, 0, 4);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->nbr_segment_children, 2);
  EXPECT_EQ(s->segment_children[0].get(), b);
  EXPECT_EQ(s->segment_children[1].get(), t);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->nbr_segment_children, 1);
  EXPECT_EQ(t->segment_children[0].get(), u);
  const std::string log = readLog("log_create_tree.txt");
  EXPECT_NE(log.find("sibling of x 9 y 50\n"), std::string::npos);
  EXPECT_EQ(log.find("Search_segment_parent=NULL"), std::string::npos);
  // A stretch beside the start of the first segment has no junction to leave.
  const std::vector<ContourPoint> top = LinePoints(11, 41, 20, 41);
  EXPECT_EQ(doc.AddSegment(0, top, 0, 9), nullptr);
}

TEST_F(Trees, DocumentLifecycle) {
  // A new document holds no plants, no trees, no names.
  KW_SciDoc fresh;
  EXPECT_TRUE(fresh.item.empty());
  EXPECT_EQ(fresh.nbr_item, 0);
  EXPECT_TRUE(fresh.root.empty());
  EXPECT_EQ(fresh.nbr_root, 0);
  EXPECT_TRUE(fresh.pictureName.empty());
  EXPECT_TRUE(fresh.resultFolder.empty());
  EXPECT_TRUE(fresh.resultPath.empty());
  EXPECT_FALSE(fresh.saved);

  // Find roots replaces the plants; building replaces the trees.
  MakeBlack(doc, 80, 120);
  DrawLine(doc, 20, 100, 20, 20);
  DrawLine(doc, 60, 100, 60, 20);
  doc.FindRoots();
  doc.CreateTrees();
  ASSERT_EQ(doc.nbr_item, 2);
  ASSERT_EQ(doc.nbr_root, 2);
  MakeBlack(doc, 80, 120);
  DrawLine(doc, 40, 100, 40, 20);
  doc.FindRoots();
  ASSERT_EQ(doc.nbr_item, 1);
  EXPECT_EQ(doc.item[0].numero, 1);
  EXPECT_EQ(doc.item[0].tab[0].col, 40);
  EXPECT_EQ(doc.root.size(), 2U);  // the trees wait for the next build
  doc.CreateTrees();
  ASSERT_EQ(doc.nbr_root, 1);
  ASSERT_EQ(doc.root.size(), 1U);
  EXPECT_EQ(doc.root[0].first_segment->point.front().col, 40);
}
