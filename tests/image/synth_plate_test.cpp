// The synthetic plates: they must survive the image steps the way real
// scans do, keep their plants apart, and carry a truthful ground truth.
#include "synth/synth_plate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "image/ima_ana.h"
#include "support/test_env.h"

namespace {

// The Auto preparation up to the dilatation.
void prepare(KW_ImaAna& doc, const synth::Plate& plate) {
  doc.pixels = plate.pixels;
  doc.width = plate.width;
  doc.height = plate.height;
  doc.FixedBinarise();
  ASSERT_EQ(doc.RemoveBox(), 1);
  doc.CutMargins();
}

// The crop of the plate-frame removal: 65 pixels inside the outer rim.
int cropCol(const synth::Plate& p, double col) {
  return static_cast<int>(std::lround(col)) - (p.plateFirstCol + 65);
}
int cropRow(const synth::Plate& p, double row) {
  return static_cast<int>(std::lround(row)) - (p.plateFirstRow + 65);
}

bool whiteNear(const KW_ImaAna& doc, int c, int r, int radius) {
  for (int dr = -radius; dr <= radius; ++dr)
    for (int dc = -radius; dc <= radius; ++dc) {
      const int x = c + dc, y = r + dr;
      if (x >= 0 && y >= 0 && x < doc.width && y < doc.height && doc.At(x, y) == 0xFFFFFFU) return true;
    }
  return false;
}

std::vector<int> labels8(const KW_ImaAna& doc) {
  std::vector<int> lab(doc.pixels.size(), -1);
  std::vector<int> stack;
  int n = 0;
  const int w = doc.width, h = doc.height;
  for (int i = 0; i < w * h; ++i) {
    if (doc.pixels[static_cast<std::size_t>(i)] == 0 || lab[static_cast<std::size_t>(i)] >= 0) continue;
    lab[static_cast<std::size_t>(i)] = n;
    stack.push_back(i);
    while (!stack.empty()) {
      const int j = stack.back();
      stack.pop_back();
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) {
          const int c = j % w + dc, r = j / w + dr;
          if (c < 0 || r < 0 || c >= w || r >= h) continue;
          const int k = c + r * w;
          if (doc.pixels[static_cast<std::size_t>(k)] != 0 && lab[static_cast<std::size_t>(k)] < 0) {
            lab[static_cast<std::size_t>(k)] = n;
            stack.push_back(k);
          }
        }
    }
    ++n;
  }
  return lab;
}

// The component of the white pixel nearest to (c, r) within a few pixels.
int componentAt(const KW_ImaAna& doc, const std::vector<int>& lab, int c, int r) {
  for (int radius = 0; radius <= 4; ++radius)
    for (int dr = -radius; dr <= radius; ++dr)
      for (int dc = -radius; dc <= radius; ++dc) {
        const int x = c + dc, y = r + dr;
        if (x < 0 || y < 0 || x >= doc.width || y >= doc.height) continue;
        const int l = lab[static_cast<std::size_t>(x) +
                          static_cast<std::size_t>(y) * static_cast<std::size_t>(doc.width)];
        if (l >= 0) return l;
      }
  return -1;
}

}  // namespace

class SynthPlateTest : public testenv::HomeTest {};

TEST_F(SynthPlateTest, SizeResolutionAndScaleFollowTheTwelveAndAHalfCentimetrePlate) {
  for (const int dpi : {150, 300}) {
    synth::PlateOptions options;
    options.dpi = dpi;
    options.plants = 3;
    const synth::Plate plate = synth::MakePlate(options);
    EXPECT_EQ(plate.width, static_cast<int>(std::lround(13.5 / 2.54 * dpi)));
    EXPECT_EQ(plate.height, plate.width);
    EXPECT_DOUBLE_EQ(plate.cmPerPixel, 2.54 / dpi);
    EXPECT_NEAR((plate.plateLastRow - plate.plateFirstRow + 1) * plate.cmPerPixel, 12.5, plate.cmPerPixel);
    KW_ImaAna doc;
    prepare(doc, plate);
    // The frame removal measures the plate from its rim.
    EXPECT_NEAR(doc.scale, plate.cmPerPixel, plate.cmPerPixel * 0.002);
    EXPECT_EQ(doc.width, plate.plateLastCol - plate.plateFirstCol + 1 - 130);
  }
  // Resolutions outside 150..1200 are clamped.
  synth::PlateOptions low;
  low.dpi = 20;
  low.plants = 1;
  EXPECT_EQ(synth::MakePlate(low).dpi, 150);
}

TEST_F(SynthPlateTest, EveryRootSurvivesTheCropAndTheMarginCut) {
  for (const std::uint32_t seed : {3U, 8U}) {
    synth::PlateOptions options;
    options.dpi = 150;
    options.plants = 5;
    options.seed = seed;
    const synth::Plate plate = synth::MakePlate(options);
    ASSERT_EQ(plate.plants.size(), 5U);
    KW_ImaAna doc;
    prepare(doc, plate);
    for (const synth::PlantTruth& p : plate.plants) {
      EXPECT_TRUE(whiteNear(doc, cropCol(plate, p.baseCol), cropRow(plate, p.baseRow), 2));
      EXPECT_TRUE(whiteNear(doc, cropCol(plate, p.tipCol), cropRow(plate, p.tipRow), 2));
      for (const synth::LateralTruth& l : p.laterals)
        EXPECT_TRUE(whiteNear(doc, cropCol(plate, l.tipCol), cropRow(plate, l.tipRow), 2)) << "seed " << seed;
    }
  }
}

TEST_F(SynthPlateTest, PlantsStayApartUnlessCrossingIsAskedFor) {
  for (const bool crossing : {false, true}) {
    synth::PlateOptions options;
    options.dpi = 150;
    options.plants = 4;
    options.seed = 5;
    options.crossing = crossing;
    const synth::Plate plate = synth::MakePlate(options);
    KW_ImaAna doc;
    prepare(doc, plate);
    doc.Dilate();
    const std::vector<int> lab = labels8(doc);
    std::vector<int> plantComponent;
    for (const synth::PlantTruth& p : plate.plants) {
      const int l = componentAt(doc, lab, cropCol(plate, p.baseCol), cropRow(plate, p.baseRow));
      ASSERT_GE(l, 0);
      // The whole plant is one piece: its tips join its base.
      EXPECT_EQ(componentAt(doc, lab, cropCol(plate, p.tipCol), cropRow(plate, p.tipRow)), l);
      for (const synth::LateralTruth& lt : p.laterals)
        EXPECT_EQ(componentAt(doc, lab, cropCol(plate, lt.tipCol), cropRow(plate, lt.tipRow)), l);
      plantComponent.push_back(l);
    }
    for (std::size_t i = 1; i < plantComponent.size(); ++i) {
      if (crossing) {
        EXPECT_EQ(plantComponent[i], plantComponent[i - 1]);
      } else {
        EXPECT_NE(plantComponent[i], plantComponent[i - 1]);
      }
    }
  }
}

TEST_F(SynthPlateTest, CurvyPlatesHaveLongLateralsAndPlantsThatStayApart) {
  synth::PlateOptions options;
  options.dpi = 150;
  options.plants = 3;
  options.seed = 2;
  options.curvy = true;
  const synth::Plate plate = synth::MakePlate(options);
  KW_ImaAna doc;
  prepare(doc, plate);
  doc.Dilate();
  const std::vector<int> lab = labels8(doc);
  std::vector<int> components;
  double longest = 0.0;
  for (const synth::PlantTruth& p : plate.plants) {
    const int l = componentAt(doc, lab, cropCol(plate, p.baseCol), cropRow(plate, p.baseRow));
    ASSERT_GE(l, 0);
    for (const synth::LateralTruth& lt : p.laterals) {
      EXPECT_LE(lt.lengthCm, 3.5 + 1e-9);
      EXPECT_GE(lt.lengthCm, 0.25);
      EXPECT_EQ(componentAt(doc, lab, cropCol(plate, lt.tipCol), cropRow(plate, lt.tipRow)), l);
      longest = std::max(longest, lt.lengthCm);
    }
    for (const int other : components) EXPECT_NE(other, l);
    components.push_back(l);
  }
  EXPECT_GT(longest, 2.0);
}

TEST_F(SynthPlateTest, GroundTruthAgreesWithTheGeometry) {
  synth::PlateOptions options;
  options.dpi = 300;
  options.plants = 6;
  options.seed = 12;
  const synth::Plate plate = synth::MakePlate(options);
  ASSERT_EQ(plate.plants.size(), 6U);
  double previousBase = -1;
  std::size_t laterals = 0;
  for (const synth::PlantTruth& p : plate.plants) {
    EXPECT_GT(p.baseCol, previousBase);  // left to right
    previousBase = p.baseCol;
    const double chord = std::hypot(p.tipCol - p.baseCol, p.tipRow - p.baseRow) * plate.cmPerPixel;
    EXPECT_NEAR(p.mainVectorCm, chord, 1e-9);
    EXPECT_LE(p.mainVectorCm, p.mainLengthCm + 1e-9);
    EXPECT_GT(p.mainLengthCm, 2.0);
    EXPECT_LT(p.tipRow, p.baseRow);  // grows downwards (row 0 is the bottom)
    // Straight down is 0, to the right positive.
    EXPECT_LT(std::fabs(p.mainAngleDeg), 45.0);
    EXPECT_EQ(p.mainAngleDeg > 0, p.tipCol > p.baseCol);
    double previousPosition = 0;
    for (const synth::LateralTruth& l : p.laterals) {
      ++laterals;
      EXPECT_GT(l.positionCm, previousPosition);
      EXPECT_LT(l.positionCm, p.mainLengthCm);
      previousPosition = l.positionCm;
      EXPECT_NEAR(l.lengthCm, std::hypot(l.tipCol - l.baseCol, l.tipRow - l.baseRow) * plate.cmPerPixel,
                  1e-9);
      EXPECT_GE(std::fabs(l.angleDeg), 44.999);
      EXPECT_LE(std::fabs(l.angleDeg), 80.001);
      EXPECT_EQ(l.angleDeg > 0, l.tipCol > l.baseCol);
      const double expectedAngle =
          std::atan2(l.tipCol - l.baseCol, l.baseRow - l.tipRow) * 180.0 / 3.141592653589793;
      EXPECT_NEAR(l.angleDeg, expectedAngle, 1e-9);
    }
  }
  EXPECT_GT(laterals, 6U);
  const std::string text = synth::TruthText(plate, options);
  std::size_t plantLines = 0, lateralLines = 0;
  for (std::size_t at = text.find("plant "); at != std::string::npos; at = text.find("plant ", at + 1))
    ++plantLines;
  for (std::size_t at = text.find("lateral "); at != std::string::npos; at = text.find("lateral ", at + 1))
    ++lateralLines;
  EXPECT_EQ(plantLines, 6U);
  EXPECT_EQ(lateralLines, laterals);
}

TEST_F(SynthPlateTest, TheSameSeedGivesTheSamePlateAndFilesReadBack) {
  synth::PlateOptions options;
  options.dpi = 150;
  options.plants = 2;
  options.seed = 99;
  const synth::Plate a = synth::MakePlate(options);
  const synth::Plate b = synth::MakePlate(options);
  EXPECT_EQ(a.pixels, b.pixels);
  options.seed = 100;
  EXPECT_NE(synth::MakePlate(options).pixels, a.pixels);
  options.seed = 99;

  const auto bmp = (home / "plate.bmp").string();
  const auto txt = (home / "plate.txt").string();
  std::string error;
  ASSERT_EQ(synth::WritePlate(a, options, bmp, txt, error), 1) << error;
  KW_PicDoc doc;
  ASSERT_NE(doc.LoadBitmap(bmp), nullptr);
  EXPECT_EQ(doc.bitCount, 24);
  EXPECT_EQ(doc.width, a.width);
  EXPECT_EQ(doc.pixels, a.pixels);
  EXPECT_EQ(doc.xPelsPerMeter, static_cast<std::int32_t>(std::lround(150 / 0.0254)));
  EXPECT_EQ(testenv::ReadFile(txt), synth::TruthText(a, options));
  EXPECT_EQ(synth::WritePlate(a, options, (home / "missing" / "p.bmp").string(), txt, error), 0);
  EXPECT_FALSE(error.empty());
}
