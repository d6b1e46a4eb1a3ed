// The adaptive pipeline: generated plates measured as exactly as the fixed
// method measures them, a real photograph's marked primary roots found, a
// root reaching the border flagged, and pictures without seedlings refused
// with a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "image/picture_files.h"
#include "roots/root_lines.h"
#include "roots/root_measures.h"
#include "roots_test_util.h"
#include "synth/synth_plate.h"

namespace {

class Adaptive : public rootstest::AdaptiveDocTest {};

TEST_F(Adaptive, GeneratedPlatesMeasureWithinTwoPercentWithTheScaleOfThePlate) {
  // The plate found at two resolutions, and the fixed method's frame.
  for (const auto& [dpi, plateMode] :
       {std::pair{300, PlateMode::Find}, std::pair{600, PlateMode::Find}, std::pair{300, PlateMode::Frame}}) {
    synth::PlateOptions options;
    options.dpi = dpi;
    options.seed = 7;
    const synth::Plate plate = synth::MakePlate(options);
    SCOPED_TRACE(std::to_string(dpi) + " dpi, plate " + std::string(PlateModeName(plateMode)));
    KW_SciDoc one;
    one.setColourSeed(3U);
    one.settings = doc.settings;
    one.settings.plate = plateMode;
    one.pixels = plate.pixels;
    one.width = plate.width;
    one.height = plate.height;
    ASSERT_EQ(one.MeasurePlateAdaptive(problem), KW_SciDoc::kPlateMeasured) << problem;
    // The plate's outline is 12.5 cm high, as the generated plate is.
    EXPECT_NEAR(one.scale, plate.cmPerPixel, plate.cmPerPixel * 0.01);
    ASSERT_EQ(one.root.size(), plate.plants.size());
    for (std::size_t i = 0; i < plate.plants.size(); ++i) {
      const double measured = one.root[i].main_length * one.scale;
      EXPECT_NEAR(measured, plate.plants[i].mainLengthCm, plate.plants[i].mainLengthCm * 0.02)
          << "plant " << i + 1;
      EXPECT_EQ(one.root[i].flags, 0U) << PlantFlagsText(one.root[i].flags);
    }
  }
}

TEST_F(Adaptive, MostMarkedPrimaryRootsOfAPhotographAreFound) {
  MORVANE_REQUIRE_TESTDATA(real, "real");
  // A plate alone on the cloth, and one with a wooden ruler lying against it
  // that is as bright as the plate.
  for (const std::string name : {"Control-1_jpg.rf.1ec69444b53efde797b9c784b71ea6ec.jpg",
                                 "Sorbitol_4-1-_jpg.rf.9054df25250ca6c73b5803927c9635ed.jpg"}) {
    SCOPED_TRACE(name);
    KW_SciDoc photo;
    photo.setColourSeed(3U);
    photo.settings = doc.settings;
    std::string error;
    ASSERT_TRUE(LoadPictureFile(photo, (real / "plates-dark-cloth" / "images" / name).string(), error))
        << error;
    ASSERT_EQ(photo.MeasurePlateAdaptive(problem), KW_SciDoc::kPlateMeasured) << problem;
    // The marked roots: top and tip of each box, in pixels from the top left.
    std::ifstream csv(real / "plates-dark-cloth" / "primary_roots.csv");
    std::string line;
    int marked = 0, found = 0;
    while (std::getline(csv, line)) {
      if (line.rfind(name, 0) != 0) continue;
      std::vector<double> v;
      std::stringstream fields(line.substr(name.size() + 1));
      for (std::string f; std::getline(fields, f, ',');) v.push_back(std::stod(f));
      // root, cx, cy, long, short, top_x, top_y, tip_x, tip_y, tilt
      const double longSide = v[3], shortSide = v[4], topX = v[5], topY = v[6], tipX = v[7], tipY = v[8];
      ++marked;
      // Found: a main root lies along the box's axis for at least half of
      // it, within half the box's width.
      const double near = std::max(4.0, shortSide / 2 + 2);
      const int samples = std::max(2, static_cast<int>(longSide / 2));
      for (const RootTree& tree : photo.root) {
        const std::vector<RootLine> lines = RootLines(tree);
        if (lines.empty()) continue;
        int along = 0;
        for (int k = 0; k < samples; ++k) {
          const double t = k / (samples - 1.0);
          const double ax = topX + t * (tipX - topX), ay = topY + t * (tipY - topY);
          const bool covered =
              std::any_of(lines[0].points.begin(), lines[0].points.end(), [&](const ContourPoint& p) {
                return std::hypot(p.col + photo.cropLeft - ax,
                                  photo.height - 1 - p.row + photo.cropTop - ay) <= near;
              });
          if (covered) ++along;
        }
        if (2 * along >= samples) {
          ++found;
          break;
        }
      }
    }
    ASSERT_GT(marked, 0);
    EXPECT_GE(3 * found, 2 * marked) << found << " of " << marked << " marked primary roots";
  }
}

TEST_F(Adaptive, APlateOnALightBoxHasDarkRootsAndNoGreenishBackgroundForLeaves) {
  // A plate lit from behind on a light box whose light is a little green, as
  // cameras often see it: a dark rim, agar as light as the box, dark roots,
  // green cotyledons.
  constexpr int kWidth = 400, kHeight = 500;
  doc.settings.background = Background::Auto;
  rootstest::MakeBlack(doc, kWidth, kHeight);
  const auto paint = [&](int left, int top, int right, int bottom, std::uint32_t colour) {
    rootstest::PaintRect(doc, left, top, right, bottom, colour);
  };
  paint(0, 0, kWidth, kHeight, 0x898969U);
  paint(40, 40, 360, 460, 0x202020U);
  paint(48, 48, 352, 452, 0x898969U);
  const int roots[] = {120, 200, 280};
  for (const int x : roots) {
    paint(x - 6, 100, x + 7, 110, 0x3C9632U);
    for (int y = 110; y < 350; ++y) paint(x - 1 + (y / 50) % 2, y, x + 2 + (y / 50) % 2, y + 1, 0x555541U);
  }
  ASSERT_EQ(doc.MeasurePlateAdaptive(problem), KW_SciDoc::kPlateMeasured) << problem;
  ASSERT_EQ(doc.root.size(), 3U);
  // The rim is 12.5 cm high.
  const double pixelsPerCm = 420.0 / 12.5;
  for (const RootTree& plant : doc.root)
    EXPECT_NEAR(plant.main_length / pixelsPerCm, 240.0 / pixelsPerCm, 0.5);
}

TEST_F(Adaptive, LeavesInShadowGiveDarkRootsWhereTheLightBoxIsDimmerAroundThePlate) {
  // A light box a little dimmer around the plate than under it (as most are
  // towards their edges), so that its light says nothing of how the plate is
  // lit; the seedlings' leaves are in shadow, with or without a dark rim
  // where they are blurred into the agar, no longer green.
  constexpr int kWidth = 400, kHeight = 500;
  const auto measure = [&](KW_SciDoc& plate, std::uint32_t rim) {
    plate.setColourSeed(3U);
    plate.settings = doc.settings;
    plate.settings.background = Background::Auto;
    rootstest::MakeBlack(plate, kWidth, kHeight);
    const auto paint = [&](int left, int top, int right, int bottom, std::uint32_t colour) {
      rootstest::PaintRect(plate, left, top, right, bottom, colour);
    };
    paint(0, 0, kWidth, kHeight, 0x858565U);
    paint(40, 40, 360, 460, 0x202020U);
    paint(48, 48, 352, 452, 0x898969U);
    for (const int x : {120, 200, 280}) {
      // An oval leaf, 15 by 11 pixels, in a rim 2 pixels wide.
      for (int y = 96; y < 112; ++y)
        for (int c = x - 9; c <= x + 9; ++c) {
          const double dx = c - x, dy = y - 104;
          if (dx * dx / 81.0 + dy * dy / 49.0 <= 1.0) plate.At(c, kHeight - 1 - y) = rim;
          if (dx * dx / 49.0 + dy * dy / 25.0 <= 1.0) plate.At(c, kHeight - 1 - y) = 0x2A6E23U;
        }
      for (int y = 112; y < 350; ++y) paint(x - 1 + (y / 50) % 2, y, x + 2 + (y / 50) % 2, y + 1, 0x555541U);
    }
    return plate.MeasurePlateAdaptive(problem);
  };
  ASSERT_EQ(measure(doc, 0x404040U), KW_SciDoc::kPlateMeasured) << problem;
  EXPECT_EQ(doc.settings.backgroundUsed, Background::Light);
  ASSERT_EQ(doc.root.size(), 3U);
  const double pixelsPerCm = 420.0 / 12.5;
  for (const RootTree& plant : doc.root)
    EXPECT_NEAR(plant.main_length / pixelsPerCm, 238.0 / pixelsPerCm, 0.5);
  // The rims make no plant of their own, and no longer root.
  KW_SciDoc plain;
  ASSERT_EQ(measure(plain, 0x898969U), KW_SciDoc::kPlateMeasured) << problem;
  ASSERT_EQ(plain.root.size(), 3U);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(doc.root[i].main_length, plain.root[i].main_length, 4.0);
}

TEST_F(Adaptive, ARootReachingTheBorderIsFlaggedAndNoRootIsRefused) {
  doc.settings.plate = PlateMode::None;
  doc.settings.pixelsPerCm = 40.0;
  rootstest::MakeBlack(doc, 300, 400);
  for (std::uint32_t& px : doc.pixels) px = 0x202830U;
  // A root 3 pixels wide from near the top to the bottom edge.
  for (int r = 0; r < 360; ++r)
    for (int c = 149; c <= 151; ++c) doc.At(c + (r / 60) % 2, r) = 0xC8C8C8U;
  ASSERT_EQ(doc.MeasurePlateAdaptive(problem), KW_SciDoc::kPlateMeasured) << problem;
  ASSERT_EQ(doc.root.size(), 1U);
  EXPECT_EQ(PlantFlagsText(doc.root[0].flags), "touches-edge");
  EXPECT_NEAR(doc.root[0].main_length / 40.0, 9.0, 0.3);

  KW_SciDoc empty;
  empty.settings = doc.settings;
  rootstest::MakeBlack(empty, 300, 400);
  for (std::uint32_t& px : empty.pixels) px = 0x202830U;
  EXPECT_EQ(empty.MeasurePlateAdaptive(problem), KW_SciDoc::kNoPlateFrame);
  EXPECT_EQ(problem, "no plausible seedling found: no root stands out of the background");

  KW_SciDoc unscaled;
  unscaled.settings.pipeline = Pipeline::Adaptive;
  unscaled.settings.plate = PlateMode::None;
  rootstest::MakeBlack(unscaled, 100, 100);
  EXPECT_EQ(unscaled.AdaptivePrepare(problem), 0);
  EXPECT_EQ(problem, "no scale: give the picture's resolution or its pixels per centimetre");
  EXPECT_EQ(unscaled.width, 100);
}

TEST_F(Adaptive, TwoSeedlingsWhoseRootsGrewTogetherAreTwoPlants) {
  // The skeleton of two roots 250 pixels long from the top, no leaves found
  // for either, their tips joined: one plant's main root would run down one
  // root and back up the other, longer than the area is high.
  rootstest::MakeBlack(doc, 300, 400);
  rootstest::DrawLine(doc, 100, 360, 100, 110);
  rootstest::DrawLine(doc, 101, 110, 139, 110);
  rootstest::DrawLine(doc, 140, 110, 140, 360);
  ASSERT_EQ(doc.FindRoots(), 1);
  ASSERT_EQ(doc.AdaptiveSelectPlants(problem), 1) << problem;
  ASSERT_EQ(doc.root.size(), 2U);
  // Each keeps its root and the half of the join it is nearer.
  for (const RootTree& plant : doc.root) EXPECT_NEAR(plant.main_length, 270.0, 5.0);
}

TEST_F(Adaptive, WhatBeginsFarBelowTheRowOfLeavesIsNoSeedlings) {
  // The skeleton of two roots from their leaves near the top of the area, and
  // the left and bottom edges of a label's frame from 40% of the way down:
  // within the area's upper two thirds, but farther below the leaves than a
  // third of the area.
  const auto draw = [](KW_SciDoc& plate) {
    rootstest::MakeBlack(plate, 300, 400);
    rootstest::DrawLine(plate, 60, 360, 60, 160);
    rootstest::DrawLine(plate, 120, 360, 120, 140);
    rootstest::DrawLine(plate, 200, 200, 200, 60);
    rootstest::DrawLine(plate, 201, 60, 280, 60);
  };
  draw(doc);
  doc.segmentation.seedlings = {{60, 37}, {120, 37}};
  ASSERT_EQ(doc.FindRoots(), 1);
  ASSERT_EQ(doc.AdaptiveSelectPlants(problem), 1) << problem;
  ASSERT_EQ(doc.root.size(), 2U);
  EXPECT_NEAR(doc.root[0].main_length, 200.0, 3.0);
  EXPECT_NEAR(doc.root[1].main_length, 220.0, 3.0);
  // With no leaves found, the seedlings' row is not known: only what begins
  // in the area's lowest third is left out.
  KW_SciDoc leafless;
  leafless.settings = doc.settings;
  draw(leafless);
  ASSERT_EQ(leafless.FindRoots(), 1);
  ASSERT_EQ(leafless.AdaptiveSelectPlants(problem), 1) << problem;
  EXPECT_EQ(leafless.root.size(), 3U);
}

}  // namespace
