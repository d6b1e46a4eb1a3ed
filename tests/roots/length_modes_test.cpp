// The measuring settings of an analysis: true lengths along smoothed roots,
// the main root that goes straight on, short laterals left out, light
// backgrounds; and the accuracy of the true-length mode on generated plates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "image/binarise.h"
#include "roots/detail/segment_walk.h"
#include "roots/root_measures.h"
#include "roots_test_util.h"
#include "synth/synth_plate.h"

using rootstest::DrawLine;
using rootstest::LinePoints;
using rootstest::MakeBlack;

namespace {

// The pixels of the straight line from (c0, r0) to (c1, r1), one per step
// along the longer direction, as a scanner's thin line would be.
std::vector<ContourPoint> DigitalLine(int c0, int r0, int c1, int r1) {
  std::vector<ContourPoint> points;
  const int steps = std::max(std::abs(c1 - c0), std::abs(r1 - r0));
  for (int k = 0; k <= steps; ++k) {
    const double t = steps == 0 ? 0.0 : static_cast<double>(k) / steps;
    points.push_back({static_cast<int>(std::lround(c0 + t * (c1 - c0))),
                      static_cast<int>(std::lround(r0 + t * (r1 - r0))), 0});
  }
  return points;
}

class LengthModes : public testenv::HomeTest {
 protected:
  void SetUp() override {
    HomeTest::SetUp();
    doc.setColourSeed(5U);
  }
  void analyse(LengthMode mode) {
    doc.settings.lengths = mode;
    doc.FindRoots();
    ASSERT_EQ(doc.nbr_item, 1);
    ASSERT_EQ(doc.CreateTrees(), 1);
    ASSERT_EQ(doc.MeasureTrees(), 1);
  }
  KW_SciDoc doc;
};

}  // namespace

TEST(SmoothedPathLength, MeasuresSlantingLinesWithoutTheStaircase) {
  EXPECT_EQ(SmoothedPathLength({}), 0.0);
  const std::vector<ContourPoint> one{{4, 4, 0}};
  EXPECT_EQ(SmoothedPathLength(one), 0.0);
  // Along a row or at 45 degrees: the distance between the end pixels' centres.
  EXPECT_NEAR(SmoothedPathLength(LinePoints(0, 7, 119, 7)), 119.0, 1e-9);
  EXPECT_NEAR(SmoothedPathLength(LinePoints(0, 0, 80, 80)), 80.0 * std::sqrt(2.0), 1e-9);
  // Slopes where the pixel steps over-measure by 3% to 8%: the smoothed
  // length stays within half a percent of the true distance.
  for (const auto& [dc, dr] :
       {std::pair{300, 40}, std::pair{300, 100}, std::pair{300, 170}, std::pair{60, 300}}) {
    const std::vector<ContourPoint> line = DigitalLine(0, 0, dc, dr);
    const double truth = std::hypot(dc, dr);
    EXPECT_NEAR(SmoothedPathLength(line), truth, 0.005 * truth) << dc << "/" << dr;
    EXPECT_GT(PathLength(*rootstest::Segment(line)) - 1.0, 1.025 * truth) << dc << "/" << dr;
  }
  // A half circle of radius 150, digitised: within half a percent of pi r.
  std::vector<ContourPoint> arc;
  for (int x = -150; x <= 150; ++x) {
    const int y = static_cast<int>(std::lround(std::sqrt(150.0 * 150.0 - x * x)));
    if (!arc.empty()) {
      // Fill the steep ends so the curve stays 8-connected.
      for (int r = arc.back().row + (y > arc.back().row ? 1 : -1);
           std::abs(y - r) > 0 && std::abs(y - arc.back().row) > 1; r += y > arc.back().row ? 1 : -1)
        arc.push_back({arc.back().col, r, 0});
    }
    arc.push_back({x, y, 0});
  }
  EXPECT_NEAR(SmoothedPathLength(arc), 3.141592653589793 * 150.0, 0.005 * 3.141592653589793 * 150.0);
  // The arc lengths grow along the curve and end at the length.
  const std::vector<double> steps = SmoothedArcLengths(arc);
  ASSERT_EQ(steps.size(), arc.size());
  EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
  EXPECT_EQ(steps.back(), SmoothedPathLength(arc));
}

TEST_F(LengthModes, LineWithAHorizontalArmInBothModes) {
  MakeBlack(doc, 70, 90);
  DrawLine(doc, 30, 75, 30, 10);  // 66 pixels
  DrawLine(doc, 31, 50, 50, 50);  // 20 pixels
  analyse(LengthMode::True);
  const RootTree& tree = doc.root.at(0);
  // Between the centres of the end pixels; the vector likewise.
  EXPECT_NEAR(tree.main_length, 65.0, 1e-9);
  EXPECT_NEAR(tree.main_vector, 65.0, 1e-9);
  EXPECT_EQ(tree.main_angle, 0.0);
  EXPECT_EQ(tree.nbr_LR, 1);
  const KW_Segment& arm = *tree.first_segment->segment_children[1];
  // From the pixel above the junction, where the arm's parent ends.
  EXPECT_NEAR(arm.length_longest, 20.2, 0.1);
  EXPECT_NEAR(arm.position_branch, 24.0, 1e-6);
  EXPECT_NEAR(arm.straightness, 19.0, 1e-9);
  EXPECT_EQ(arm.angle, 90.0);

  // The same picture in the default mode keeps the pixel counts.
  MakeBlack(doc, 70, 90);
  DrawLine(doc, 30, 75, 30, 10);
  DrawLine(doc, 31, 50, 50, 50);
  analyse(LengthMode::Pixel);
  EXPECT_EQ(doc.root.at(0).main_length, 66.0);
  EXPECT_EQ(doc.root.at(0).main_vector, 66.0);
  EXPECT_EQ(doc.root.at(0).first_segment->segment_children[1]->length_longest, 20.0);
}

TEST_F(LengthModes, MainRootGoesStraightOnPastALongLateralNearItsTip) {
  // A root 120 pixels down with a lateral leaving 29 pixels above its tip
  // at 45 degrees and reaching farther than the rest of the root.
  MakeBlack(doc, 140, 160);
  DrawLine(doc, 40, 140, 40, 21);
  DrawLine(doc, 41, 49, 85, 5);
  analyse(LengthMode::Pixel);
  // The farthest tip alone takes the lateral for the main root.
  EXPECT_GT(std::fabs(doc.root.at(0).main_angle), 10.0);

  MakeBlack(doc, 140, 160);
  DrawLine(doc, 40, 140, 40, 21);
  DrawLine(doc, 41, 49, 85, 5);
  analyse(LengthMode::True);
  const RootTree& tree = doc.root.at(0);
  EXPECT_EQ(tree.main_angle, 0.0);
  EXPECT_NEAR(tree.main_length, 119.0, 0.5);
  EXPECT_EQ(tree.nbr_LR, 1);
  // The lateral keeps its own length from the branching point.
  double lateralLength = 0.0;
  double lateralAngle = 0.0;
  WalkSegments(std::as_const(*tree.first_segment),
               [&](const KW_Segment& s, const WalkStep<const KW_Segment>&) {
                 if (s.angle > 40.0) {
                   lateralLength = s.length_longest;
                   lateralAngle = s.angle;
                 }
                 return WalkNext::Children;
               });
  EXPECT_NEAR(lateralLength, 45.0 * std::sqrt(2.0), 1.0);
  EXPECT_NEAR(lateralAngle, 45.0, 1.0);
}

TEST_F(LengthModes, ShortLateralsAndWhatHangsBelowThemAreLeftOut) {
  // A stem with a 5-pixel arm, and a 30-pixel arm that carries a 4-pixel arm of its own.
  MakeBlack(doc, 100, 120);
  DrawLine(doc, 30, 110, 30, 10);
  DrawLine(doc, 31, 90, 35, 90);
  DrawLine(doc, 31, 60, 60, 60);
  DrawLine(doc, 45, 59, 45, 56);
  analyse(LengthMode::Pixel);
  const double before = doc.root.at(0).main_length;
  EXPECT_EQ(doc.root.at(0).nbr_LR, 2);
  doc.scale = 0.01F;                // cm per pixel
  doc.settings.minLateralCm = 0.1;  // 10 pixels
  // Left out: the 5-pixel arm, the 4-pixel arm and the one-pixel stub the
  // tree keeps where that arm leaves the long one.
  EXPECT_EQ(doc.DropShortLaterals(), 3);
  const RootTree& tree = doc.root.at(0);
  EXPECT_EQ(tree.nbr_LR, 1);
  EXPECT_EQ(tree.main_length, before);
  int laterals = 0;
  WalkSegments(std::as_const(*tree.first_segment),
               [&](const KW_Segment& s, const WalkStep<const KW_Segment>& step) {
                 if (step.parent != nullptr && s.length_longest > 0.0 && s.angle == 90.0) {
                   ++laterals;
                   EXPECT_EQ(s.length_longest, 29.0);  // its junction pixel was the stub
                   EXPECT_EQ(s.Nbr_LR, 0);
                 }
                 return WalkNext::Children;
               });
  EXPECT_EQ(laterals, 1);
  // Nothing else is short; the main root stays even when it is shorter than the least lateral.
  EXPECT_EQ(doc.DropShortLaterals(), 0);
  doc.settings.minLateralCm = 50.0;
  EXPECT_EQ(doc.DropShortLaterals(), 1);
  EXPECT_EQ(doc.root.at(0).nbr_LR, 0);
  EXPECT_EQ(doc.root.at(0).main_length, before);
  doc.settings.minLateralCm = 0.0;
  EXPECT_EQ(doc.DropShortLaterals(), 0);
}

TEST(AnalysisSettings, NamesAndLogLine) {
  EXPECT_EQ(ParseLengthMode("true"), LengthMode::True);
  EXPECT_EQ(ParseLengthMode("pixel"), LengthMode::Pixel);
  EXPECT_FALSE(ParseLengthMode("True"));
  EXPECT_EQ(ParseBackground("auto"), Background::Auto);
  EXPECT_FALSE(ParseBackground(""));
  AnalysisSettings s;
  EXPECT_EQ(s.logLine(), "lengths pixel, min-lateral 0.000000 cm, background dark\n");
  s.lengths = LengthMode::True;
  s.minLateralCm = 0.1;
  s.background = Background::Auto;
  s.backgroundUsed = Background::Light;
  EXPECT_EQ(s.logLine(), "lengths true, min-lateral 0.100000 cm, background light (auto)\n");
}

TEST(Background, InversionAndTheChoiceOfAuto) {
  synth::PlateOptions options;
  options.seed = 4;
  synth::Plate plate = synth::MakePlate(options);
  EXPECT_FALSE(LooksLightBackground(plate.pixels.data(), plate.width, plate.height));
  std::vector<std::uint32_t> inverted = plate.pixels;
  InvertPicture(inverted.data(), plate.width, plate.height);
  EXPECT_EQ(inverted.front(), ~plate.pixels.front() & 0xFFFFFFU);
  // Dark roots on a light plate: the generated plate, inverted.
  EXPECT_TRUE(LooksLightBackground(inverted.data(), plate.width, plate.height));
  InvertPicture(inverted.data(), plate.width, plate.height);
  EXPECT_EQ(inverted, plate.pixels);
  EXPECT_FALSE(LooksLightBackground(nullptr, 0, 0));
  // Without anything standing out, a light grey is a light background.
  std::vector<std::uint32_t> grey(400, 0xC0C0C0U);
  EXPECT_TRUE(LooksLightBackground(grey.data(), 20, 20));
  grey.assign(400, 0x303030U);
  EXPECT_FALSE(LooksLightBackground(grey.data(), 20, 20));
}

TEST(Background, LightBoxPhotoIsLightAndComesOutAsRootsOnBlackOnceInverted) {
  MORVANE_REQUIRE_TESTDATA(plates, "plates");
  KW_PicDoc photo;
  ASSERT_TRUE(photo.OnOpenDocument((plates / "rhizoscan_J10_Photo_011.bmp").string()));
  EXPECT_TRUE(LooksLightBackground(photo.pixels.data(), photo.width, photo.height));
  // Bright roots on dark plates, one of them with a grey half and seeds.
  for (const char* name :
       {"dc_maize-seedlings.bmp", "dc_maize-roots-grayscale.bmp", "rhizoscan_arabido_synthetic.bmp"}) {
    KW_PicDoc scan;
    ASSERT_TRUE(scan.OnOpenDocument((plates / name).string()));
    EXPECT_FALSE(LooksLightBackground(scan.pixels.data(), scan.width, scan.height)) << name;
  }

  // The share of white pixels in the middle of the plate, below the seedlings.
  const auto whiteShare = [&](const std::vector<std::uint32_t>& bw) {
    std::size_t white = 0, all = 0;
    for (int r = photo.height / 2; r < 3 * photo.height / 4; ++r)
      for (int c = photo.width / 4; c < photo.width / 2; ++c, ++all)
        white += bw[static_cast<std::size_t>(r) * static_cast<std::size_t>(photo.width) +
                    static_cast<std::size_t>(c)] != 0U;
    return static_cast<double>(white) / static_cast<double>(all);
  };
  std::vector<std::uint32_t> bw(photo.pixels.size());
  // As it is, the background itself turns white at every threshold.
  Binarise(photo.pixels.data(), bw.data(), photo.width, photo.height, 120);
  EXPECT_GT(whiteShare(bw), 0.95);
  // Inverted, the agar is black and the roots stand out white.
  std::vector<std::uint32_t> inverted = photo.pixels;
  InvertPicture(inverted.data(), photo.width, photo.height);
  Binarise(inverted.data(), bw.data(), photo.width, photo.height, 120);
  const double share = whiteShare(bw);
  EXPECT_LT(share, 0.05);
  EXPECT_GT(share, 0.0);
}

namespace {

struct Accuracy {
  int plants = 0;
  double lengthErrorPct = 0.0;  // sum of absolute errors
  double worstPct = 0.0;
  int lateralsExact = 0;
  double angleErrorDeg = 0.0;  // sum
};

// Generated plates through the measuring of a saved analysis: the trees
// measured in mode, then the laterals shorter than minLateralCm left out
// at the plate's own scale. Curvy plates hold three plants.
Accuracy Measure(int dpi, int plates, LengthMode mode, double minLateralCm, bool curvy = false) {
  Accuracy a;
  for (int seed = 1; seed <= plates; ++seed) {
    synth::PlateOptions options;
    options.dpi = dpi;
    options.curvy = curvy;
    if (curvy) options.plants = 3;
    options.seed = static_cast<std::uint32_t>(seed);
    const synth::Plate plate = synth::MakePlate(options);
    KW_SciDoc doc;
    doc.pixels = plate.pixels;
    doc.width = plate.width;
    doc.height = plate.height;
    doc.setColourSeed(11U);
    doc.scale = static_cast<float>(plate.cmPerPixel);
    doc.settings.lengths = mode;
    doc.settings.minLateralCm = minLateralCm;
    EXPECT_EQ(doc.MeasurePlate(), 1);
    doc.scale = static_cast<float>(plate.cmPerPixel);
    EXPECT_GE(doc.DropShortLaterals(), 0);
    EXPECT_EQ(doc.root.size(), plate.plants.size()) << dpi << " dpi, seed " << seed;
    for (std::size_t i = 0; i < plate.plants.size() && i < doc.root.size(); ++i) {
      const synth::PlantTruth& truth = plate.plants[i];
      const RootTree& tree = doc.root[i];
      const double pct =
          100.0 * std::fabs(tree.main_length * plate.cmPerPixel - truth.mainLengthCm) / truth.mainLengthCm;
      ++a.plants;
      a.lengthErrorPct += pct;
      a.worstPct = std::max(a.worstPct, pct);
      a.lateralsExact += tree.nbr_LR == static_cast<int>(truth.laterals.size()) ? 1 : 0;
      a.angleErrorDeg += std::fabs(tree.main_angle - truth.mainAngleDeg);
    }
  }
  return a;
}

class TrueLengthAccuracy : public testenv::HomeTest, public ::testing::WithParamInterface<int> {};

}  // namespace

TEST_P(TrueLengthAccuracy, MeetsTheTargetsOnGeneratedPlates) {
  const int dpi = GetParam();
  const Accuracy a = Measure(dpi, 2, LengthMode::True, 0.1);
  ASSERT_EQ(a.plants, 10);
  const double n = a.plants;
  std::printf(
      "%d dpi, true lengths, least lateral 0.1 cm: main root length error %.2f%% mean, %.2f%% worst; "
      "lateral count exact for %.0f%%; angle error %.2f degrees\n",
      dpi, a.lengthErrorPct / n, a.worstPct, 100.0 * a.lateralsExact / n, a.angleErrorDeg / n);
  EXPECT_LE(a.lengthErrorPct / n, 1.0);
  EXPECT_LE(a.worstPct, 3.0);
  EXPECT_GE(a.lateralsExact, 0.95 * n);
  EXPECT_LE(a.angleErrorDeg / n, 2.0);

  // The default mode on the same plates over-measures every main root.
  const Accuracy pixel = Measure(dpi, 1, LengthMode::Pixel, 0.0);
  EXPECT_GT(pixel.lengthErrorPct / pixel.plants, 2.0);
}

TEST_P(TrueLengthAccuracy, FollowsCurvyMainRootsPastLongLaterals) {
  // Main roots bending up to 35 degrees, laterals up to 3.5 cm long: the
  // main root is the one that goes on, not the branch that reaches farthest
  // nor one that happens to point the way the root came from.
  const int dpi = GetParam();
  const Accuracy a = Measure(dpi, 4, LengthMode::True, 0.1, true);
  ASSERT_EQ(a.plants, 12);
  const double n = a.plants;
  std::printf(
      "%d dpi, curvy plates, true lengths: main root length error %.2f%% mean, %.2f%% worst; lateral count "
      "exact for %.0f%%; angle error %.2f degrees\n",
      dpi, a.lengthErrorPct / n, a.worstPct, 100.0 * a.lateralsExact / n, a.angleErrorDeg / n);
  EXPECT_LE(a.lengthErrorPct / n, 1.5);
  EXPECT_LE(a.worstPct, 5.0);
  EXPECT_GE(a.lateralsExact, 0.9 * n);
  EXPECT_LE(a.angleErrorDeg / n, 2.0);
  // With the spurs of thinning kept, none of them turns the main root.
  const Accuracy spurs = Measure(dpi, 5, LengthMode::True, 0.0, true);
  EXPECT_LE(spurs.worstPct, 5.0);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, TrueLengthAccuracy, ::testing::Values(300, 600),
                         [](const ::testing::TestParamInfo<int>& p) {
                           return std::to_string(p.param) + "dpi";
                         });
