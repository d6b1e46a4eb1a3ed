// Touching plants cut apart at their seedlings: the rule on a drawn
// crossing, and the fixed pipeline's true-length mode on generated plates
// whose plants' laterals cross their neighbours' main roots.
#include "roots/touching_plants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "roots/detail/seedling_split.h"
#include "roots_test_util.h"
#include "synth/synth_plate.h"

TEST(SplitAtSeedlings, PartsOfTwoSeedlingsNoLongerTouch) {
  // Two main roots down columns 10 and 40 from row 60; a lateral of the
  // right one leaves it at row 45 and runs left and down at 45 degrees
  // across the left main root to column 4.
  KW_SciDoc doc;
  rootstest::MakeBlack(doc, 50, 70);
  rootstest::DrawLine(doc, 10, 60, 10, 2);
  rootstest::DrawLine(doc, 40, 60, 40, 2);
  rootstest::DrawLine(doc, 39, 44, 10, 15);
  rootstest::DrawLine(doc, 9, 15, 4, 15);
  const int width = doc.width, height = doc.height;
  // The white pixels 8-connected to (c, r).
  const auto component = [&](const std::vector<std::uint32_t>& pixels, int c0, int r0) {
    std::vector<bool> seen(pixels.size(), false);
    std::vector<std::pair<int, int>> stack{{c0, r0}};
    int count = 0;
    while (!stack.empty()) {
      const auto [c, r] = stack.back();
      stack.pop_back();
      const std::size_t i =
          static_cast<std::size_t>(c) + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
      if (c < 0 || r < 0 || c >= width || r >= height || seen[i] || pixels[i] != kWhitePixel) continue;
      seen[i] = true;
      ++count;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) stack.emplace_back(c + dc, r + dr);
    }
    return std::pair{seen, count};
  };
  ASSERT_TRUE(component(doc.pixels, 10, 60).first[40 + 60 * 50]);
  const std::vector<SeedlingMark> marks{{40, height - 1 - 60}, {10, height - 1 - 60}};
  std::vector<std::uint32_t> pixels = doc.pixels;
  SplitAtSeedlings(pixels, width, height, marks, 2);
  const auto [left, leftCount] = component(pixels, 10, 60);
  const auto [right, rightCount] = component(pixels, 40, 60);
  EXPECT_FALSE(left[40 + 60 * 50]);
  // Only the pixels where the parts met, and what hung beyond them, are lost.
  EXPECT_GE(leftCount + rightCount, rootstest::CountNonBlack(doc) - 10);
  // With one seedling nothing is cut.
  std::vector<std::uint32_t> one = doc.pixels;
  SplitAtSeedlings(one, width, height, {marks[0]}, 2);
  EXPECT_EQ(one, doc.pixels);
}

TEST(TouchingPlants, TrueLengthsGiveEachSeedlingItsOwnPlant) {
  int plants = 0, nearTruth = 0;
  for (const int dpi : {300, 600}) {
    synth::PlateOptions o;
    o.dpi = dpi;
    o.plants = 4;
    o.seed = 3;
    o.crossing = true;
    const synth::Plate plate = synth::MakePlate(o);
    KW_SciDoc doc;
    doc.width = plate.width;
    doc.height = plate.height;
    doc.pixels = plate.pixels;
    doc.setColourSeed(1U);
    doc.settings.lengths = LengthMode::True;
    doc.settings.minLateralCm = 0.1;
    ASSERT_EQ(doc.MeasurePlate(), KW_SciDoc::kPlateMeasured);
    doc.scale = static_cast<float>(plate.cmPerPixel);
    ASSERT_GE(doc.DropShortLaterals(), 0);
    // One plant per seedling, left to right, each starting at its own seed.
    ASSERT_EQ(doc.nbr_root, 4) << dpi << " dpi";
    EXPECT_EQ(FlagMergedPlants(doc), 0);
    for (std::size_t i = 0; i < plate.plants.size(); ++i) {
      const synth::PlantTruth& truth = plate.plants[i];
      const ContourPoint start = doc.root[i].first_segment->point.front();
      EXPECT_NEAR((start.col + doc.cropLeft - truth.baseCol) * plate.cmPerPixel, 0.0, 0.1) << dpi << " dpi";
      ++plants;
      const double length = doc.root[i].main_length * plate.cmPerPixel;
      nearTruth += std::fabs(length - truth.mainLengthCm) <= 0.1 * truth.mainLengthCm;
    }
  }
  // The tail of a lateral past the main root it crossed stays with that
  // main root's plant and may lead its main root astray; most main roots
  // keep their length.
  EXPECT_GE(nearTruth, plants - 1);
}
