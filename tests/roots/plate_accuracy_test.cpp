// Generated plates through the Auto preparation, Skeletonize and the root
// analysis: one plant per seedling, left to right, and main-root lengths
// within 10% of the ground truth at 300 and 600 dpi.
//
// The test also prints the figures users judge the program by: the mean
// absolute error of main-root length (percent) and angle, and how often the
// lateral-root count equals the ground truth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "roots/root_measures.h"
#include "roots_test_util.h"
#include "synth/synth_plate.h"

namespace {

constexpr int kPlatesPerResolution = 10;

// The plate through Auto's preparation and thinning, then Find roots, the
// trees and the measures.
void Analyse(KW_SciDoc& doc, const synth::Plate& plate) {
  doc.pixels = plate.pixels;
  doc.width = plate.width;
  doc.height = plate.height;
  doc.setColourSeed(11U);
  ASSERT_EQ(doc.MeasurePlate(), 1);
}

struct Figures {
  int plants = 0;
  double lengthErrorPct = 0;  // sums of absolute errors
  double angleErrorDeg = 0;
  double anglePct = 0;
  int lateralsEqual = 0;
};

class GeneratedPlates : public testenv::HomeTest, public ::testing::WithParamInterface<int> {};

TEST_P(GeneratedPlates, OnePlantPerSeedlingLeftToRightWithMainRootsWithinTenPercent) {
  {
    const int dpi = GetParam();
    Figures figures;
    for (std::uint32_t seed = 1; seed <= kPlatesPerResolution; ++seed) {
      synth::PlateOptions options;
      options.dpi = dpi;
      options.seed = seed;
      options.plants = 5;
      const synth::Plate plate = synth::MakePlate(options);
      KW_SciDoc doc;
      Analyse(doc, plate);
      SCOPED_TRACE(::testing::Message() << "dpi " << dpi << " seed " << seed);
      ASSERT_EQ(doc.nbr_item, static_cast<int>(plate.plants.size()));
      ASSERT_EQ(doc.nbr_root, doc.nbr_item);
      const double cmPerPixel = 2.54 / dpi;
      const double nearPx = 0.1 / cmPerPixel;  // a millimetre
      for (std::size_t i = 0; i < plate.plants.size(); ++i) {
        const synth::PlantTruth& truth = plate.plants[i];
        // The plant found i-th from the left starts at the base of seedling i
        // (the picture was cropped 65 pixels inside the plate's edge).
        const ContourPoint start = doc.item[i].tab.front();
        EXPECT_NEAR(start.col, truth.baseCol - (plate.plateFirstCol + 65), nearPx) << "plant " << i;
        EXPECT_NEAR(start.row, truth.baseRow - (plate.plateFirstRow + 65), nearPx) << "plant " << i;
        const RootTree& tree = doc.root[i];
        const double length = tree.main_length * cmPerPixel;
        EXPECT_NEAR(length, truth.mainLengthCm, 0.10 * truth.mainLengthCm) << "plant " << i;
        ++figures.plants;
        figures.lengthErrorPct += 100.0 * std::fabs(length - truth.mainLengthCm) / truth.mainLengthCm;
        figures.angleErrorDeg += std::fabs(tree.main_angle - truth.mainAngleDeg);
        figures.anglePct +=
            100.0 * std::fabs(tree.main_angle - truth.mainAngleDeg) / std::fabs(truth.mainAngleDeg);
        if (tree.nbr_LR == static_cast<int>(truth.laterals.size())) ++figures.lateralsEqual;
      }
    }
    ASSERT_GT(figures.plants, 0);
    const double n = figures.plants;
    std::printf(
        "%d dpi, %d plates, %d plants: main root length error %.2f%%, angle error %.2f degrees (%.0f%%), "
        "lateral count right for %.1f%%\n",
        dpi, kPlatesPerResolution, figures.plants, figures.lengthErrorPct / n, figures.angleErrorDeg / n,
        figures.anglePct / n, 100.0 * figures.lateralsEqual / n);
  }
}

INSTANTIATE_TEST_SUITE_P(Resolutions, GeneratedPlates, ::testing::Values(300, 600),
                         [](const ::testing::TestParamInfo<int>& p) {
                           return std::to_string(p.param) + "dpi";
                         });

}  // namespace
