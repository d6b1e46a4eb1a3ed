// The files an analysis leaves beside its result file: RSML files, checked
// against the format's schema and read back into the trees they came from,
// and overlay pictures, decoded and compared with the plants they show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <tuple>

#include "base/kw_log.h"
#include "roots/overlay_picture.h"
#include "roots/root_lines.h"
#include "roots/rsml_writer.h"
#include "roots/touching_plants.h"
#include "roots/trait_table.h"
#include "roots_test_util.h"
#include "support/png_reader.h"
#include "support/rsml_reader.h"
#include "support/test_env.h"
#include "synth/synth_plate.h"

namespace {

namespace fs = std::filesystem;
using rootstest::DrawLine;
using rootstest::MakeBlack;

// A generated 300-dpi plate measured as "Auto" measures it, in the length
// mode doc's settings give.
void MeasureSynthPlate(KW_SciDoc& doc, int plants, std::uint32_t seed) {
  synth::PlateOptions o;
  o.plants = plants;
  o.seed = seed;
  const synth::Plate plate = synth::MakePlate(o);
  doc.width = plate.width;
  doc.height = plate.height;
  doc.pixels = plate.pixels;
  doc.openedPicture = plate.pixels;
  doc.openedWidth = plate.width;
  doc.openedHeight = plate.height;
  doc.setColourSeed(1U);
  ASSERT_EQ(doc.MeasurePlate(), KW_SciDoc::kPlateMeasured);
  ASSERT_EQ(doc.nbr_root, plants);
}

// Two plants drawn by hand: a vertical main root with one arm to the right,
// and a straight one.
void MeasureTwoDrawnPlants(KW_SciDoc& doc) {
  MakeBlack(doc, 200, 200);
  DrawLine(doc, 50, 180, 50, 60);
  DrawLine(doc, 51, 120, 80, 120);
  DrawLine(doc, 140, 170, 140, 90);
  doc.setColourSeed(1U);
  ASSERT_EQ(doc.FindRoots(), 1);
  ASSERT_EQ(doc.CreateTrees(), 1);
  ASSERT_EQ(doc.MeasureTrees(), 1);
  ASSERT_EQ(doc.nbr_root, 2);
}

class ExportsTest : public testenv::HomeTest {};

// ---------------------------------------------------------------------------
// RSML

TEST_F(ExportsTest, RsmlValidatesAndReadsBackIntoTheSameTrees) {
  MORVANE_REQUIRE_TESTDATA(rsml, "rsml");
  KW_SciDoc doc;
  doc.settings.lengths = LengthMode::True;
  MeasureSynthPlate(doc, 4, 3);
  doc.root[1].flags = kFlagTouchesEdge | kFlagMerged;
  doc.title = "plate \"A&B\" <1> Zo\xC3\xAB";
  RsmlMetadata metadata;
  metadata.user = "Ann & \"Bo\" <lab>";
  metadata.experiment = "exp 1";
  metadata.box = "B2";
  metadata.genotype = "Col-0";
  metadata.media = "MS";
  metadata.age = "7";
  // Recorded as the document ran them.
  doc.settings.minLateralCm = 0.1;
  doc.settings.background = doc.settings.backgroundUsed = Background::Light;
  const fs::path file = home / "plate.rsml";
  std::string error;
  ASSERT_TRUE(WriteRsmlFile(file.string(), doc, metadata, error)) << error;
  std::string said;
  EXPECT_TRUE(testenv::ValidatesAgainst(file, rsml / "rsml.xsd", said)) << said;

  const auto read = testenv::ReadRsml(file);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->metadata.at("version"), "1");
  EXPECT_EQ(read->metadata.at("unit"), "cm");
  const double scale = static_cast<double>(doc.scale);
  EXPECT_NEAR(std::stod(read->metadata.at("resolution")), 1.0 / scale, 1e-5);
  EXPECT_EQ(read->metadata.at("software"), "morvane");
  EXPECT_EQ(read->metadata.at("user"), metadata.user);
  EXPECT_EQ(read->metadata.at("file-key"), doc.title);
  EXPECT_EQ(read->sceneProperties.at("length-mode"), "true");
  EXPECT_EQ(read->sceneProperties.at("min-lateral-length"), "0.1");
  EXPECT_EQ(read->sceneProperties.at("background"), "light");
  const std::set<std::string> defined(read->definitions.begin(), read->definitions.end());
  for (const auto& [name, value] : read->sceneProperties) EXPECT_TRUE(defined.count(name)) << name;

  ASSERT_EQ(read->plants.size(), doc.root.size());
  for (std::size_t t = 0; t < doc.root.size(); ++t) {
    const auto& plant = read->plants[t].properties;
    for (const auto& [name, value] : plant) EXPECT_TRUE(defined.count(name)) << name;
    EXPECT_EQ(plant.at("picture"), doc.title);
    EXPECT_EQ(plant.at("experiment"), "exp 1");
    EXPECT_EQ(plant.at("box"), "B2");
    EXPECT_EQ(plant.at("genotype"), "Col-0");
    EXPECT_EQ(plant.at("medium"), "MS");
    EXPECT_EQ(plant.at("age_of_plant"), "7");
    EXPECT_EQ(plant.at("flags"), t == 1 ? "touches-edge;merged" : "");
    const std::vector<RootLine> lines = RootLines(doc.root[t]);
    const std::vector<const testenv::RsmlRoot*> roots = testenv::PreOrder(read->plants[t]);
    ASSERT_EQ(read->plants[t].roots.size(), 1U) << "one main root per plant";
    ASSERT_EQ(roots.size(), lines.size());
    EXPECT_EQ(static_cast<std::int32_t>(roots.front()->children.size()), doc.root[t].nbr_LR);
    // Parents as the file nests the roots, by position in document order.
    std::vector<int> parents(roots.size(), -1);
    for (std::size_t k = 0; k < roots.size(); ++k)
      for (const testenv::RsmlRoot& child : roots[k]->children)
        for (std::size_t j = 0; j < roots.size(); ++j)
          if (roots[j] == &child) parents[j] = static_cast<int>(k);
    for (std::size_t k = 0; k < lines.size(); ++k) {
      const testenv::RsmlRoot& r = *roots[k];
      const RootLine& line = lines[k];
      EXPECT_EQ(parents[k], line.parent);
      for (const auto& [name, value] : r.properties) EXPECT_TRUE(defined.count(name)) << name;
      EXPECT_NEAR(std::stod(r.properties.at("length")), line.length * scale, 1e-6);
      EXPECT_NEAR(std::stod(r.properties.at("vector")), line.vector * scale, 1e-6);
      EXPECT_NEAR(std::stod(r.properties.at("angle")), line.angle, 1e-6);
      EXPECT_EQ(std::stoi(r.properties.at("branch-count")), line.laterals);
      EXPECT_EQ(r.properties.count("parent-position"), line.parent >= 0 ? 1U : 0U);
      // The polyline runs the root's length, through distinct points, and
      // starts and ends where the root does, in pixels of the opened picture.
      ASSERT_GE(r.polyline.size(), 2U) << r.label;
      double drawn = 0.0;
      for (std::size_t i = 1; i < r.polyline.size(); ++i) {
        const double step =
            std::hypot(r.polyline[i].x - r.polyline[i - 1].x, r.polyline[i].y - r.polyline[i - 1].y);
        ASSERT_GT(step, 0.0) << r.label << " repeats a point";
        drawn += step;
      }
      EXPECT_NEAR(drawn * scale, line.length * scale, 0.01 * line.length * scale + 1e-9) << r.label;
      // The true-length mode carries a root on past its skeleton's ends, to
      // its parent's centre line and to its tip, as far as its length does.
      for (const auto& [point, end, past] :
           {std::tuple{r.polyline.front(), line.points.front(), line.baseExtension},
            std::tuple{r.polyline.back(), line.points.back(), line.tipExtension}}) {
        EXPECT_NEAR(std::hypot(point.x - (end.col + doc.cropLeft),
                               point.y - (doc.height - 1 - end.row + doc.cropTop)),
                    past, 0.01)
            << r.label;
      }
      // A lateral starts on its parent's path.
      if (line.parent >= 0) {
        const auto& along = lines[static_cast<std::size_t>(line.parent)].points;
        EXPECT_TRUE(std::any_of(along.begin(), along.end(), [&](const ContourPoint& p) {
          return SamePosition(p, line.points.front());
        })) << r.label;
      }
    }
  }
}

TEST_F(ExportsTest, RsmlOfPlantsWithoutSegmentsAndOfOddNamesStaysValid) {
  MORVANE_REQUIRE_TESTDATA(rsml, "rsml");
  KW_SciDoc doc;
  MeasureTwoDrawnPlants(doc);
  // A third plant whose walk never gave a segment (a ring) keeps its place.
  Item ring;
  ring.tab.push_back({10, 10, kWalkClosed});
  doc.item.push_back(ring);
  doc.root.emplace_back();
  doc.nbr_root = 3;
  // A name from a file system in another encoding, and characters XML has no way to write.
  doc.title = std::string("caf\xE9 \x01<&>");
  RsmlMetadata metadata;
  metadata.user = "'single' \"double\"";
  metadata.age = "four";  // not a whole number: left out
  doc.scale = 0.0F;       // no usable scale: pixels
  const fs::path file = home / "odd.rsml";
  std::string error;
  ASSERT_TRUE(WriteRsmlFile(file.string(), doc, metadata, error)) << error;
  std::string said;
  EXPECT_TRUE(testenv::ValidatesAgainst(file, rsml / "rsml.xsd", said)) << said;
  const auto read = testenv::ReadRsml(file);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->metadata.at("unit"), "pixel");
  EXPECT_EQ(read->metadata.at("file-key"), "caf\xC3\xA9 \xEF\xBF\xBD<&>");
  EXPECT_EQ(read->metadata.at("user"), metadata.user);
  EXPECT_EQ(read->plants.at(0).properties.count("age_of_plant"), 0U);
  EXPECT_EQ(read->metadata.at("resolution"), "1");
  ASSERT_EQ(read->plants.size(), 3U);
  const testenv::RsmlRoot& ringRoot = read->plants[2].roots.at(0);
  EXPECT_EQ(ringRoot.properties.at("length"), "0.000000");
  ASSERT_EQ(ringRoot.polyline.size(), 2U);
  EXPECT_EQ(ringRoot.polyline[0].x, 10.0);
  EXPECT_EQ(ringRoot.polyline[0].y, 189.0);
  // The arm of the first plant: 30 pixels, leaving the main root's path.
  const auto roots = testenv::PreOrder(read->plants[0]);
  ASSERT_EQ(roots.size(), 2U);
  EXPECT_EQ(roots[1]->label, "R1-LR" + std::to_string(RootLines(doc.root[0])[1].label.at(0)));
  EXPECT_EQ(roots[1]->properties.at("angle"), "90.000000");
  // The fixed mode keeps the skeleton pixels, the arm from its branching point on.
  const RootLine arm = RootLines(doc.root[0])[1];
  ASSERT_EQ(roots[1]->polyline.size(), arm.points.size());
  for (std::size_t i = 0; i < arm.points.size(); ++i) {
    EXPECT_EQ(roots[1]->polyline[i].x, arm.points[i].col);
    EXPECT_EQ(roots[1]->polyline[i].y, 199 - arm.points[i].row);
  }

  // No plant, no scene: nothing is written, and an old file stays.
  KW_SciDoc empty;
  EXPECT_FALSE(WriteRsmlFile(file.string(), empty, metadata, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(testenv::ReadRsml(file).has_value());
}

// ---------------------------------------------------------------------------
// Touching plants

TEST(TouchingPlants, ATreeGrownFromTwoSeedlingsIsFlaggedMergedAndSeparatePlantsAreNot) {
  for (const bool crossing : {false, true}) {
    synth::PlateOptions o;
    o.plants = 4;
    o.seed = 3;
    o.crossing = crossing;
    const synth::Plate plate = synth::MakePlate(o);
    KW_SciDoc doc;
    doc.width = plate.width;
    doc.height = plate.height;
    doc.pixels = plate.pixels;
    doc.setColourSeed(1U);
    ASSERT_EQ(doc.MeasurePlate(), KW_SciDoc::kPlateMeasured);
    doc.scale = 0.0F;
    EXPECT_EQ(FlagMergedPlants(doc), 0) << "no scale, no judgement";
    doc.scale = static_cast<float>(plate.cmPerPixel);
    const int merged = FlagMergedPlants(doc);
    if (!crossing) {
      EXPECT_EQ(doc.nbr_root, 4);
      EXPECT_EQ(merged, 0);
      continue;
    }
    // Each plant's long lateral crosses its neighbour's main root: fewer
    // trees than seedlings, and each tree holding more than one is flagged.
    ASSERT_LT(doc.nbr_root, 4);
    EXPECT_EQ(merged, doc.nbr_root);
    for (const RootTree& tree : doc.root) EXPECT_EQ(PlantFlagsText(tree.flags), "merged");
  }
}

// ---------------------------------------------------------------------------
// Whole-plant traits

TEST(PlantTraits, HullExtentAndLengthsOfEveryOrder) {
  EXPECT_EQ(ConvexHullArea({{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {3, 3, 0}, {10, 0, 0}}), 50.0);
  EXPECT_EQ(ConvexHullArea({{0, 0, 0}, {5, 5, 0}, {9, 9, 0}}), 0.0);
  EXPECT_EQ(ConvexHullArea({{1, 1, 0}}), 0.0);
  KW_SciDoc doc;
  MeasureTwoDrawnPlants(doc);
  // A main root down column 50 from row 180 to 60 and an arm along row 120
  // to column 80: the hull is the triangle of the three ends.
  const PlantTraits t = MeasurePlantTraits(doc.root[0]);
  EXPECT_EQ(t.depth, 120.0);
  EXPECT_EQ(t.width, 30.0);
  EXPECT_NEAR(t.hullArea, 0.5 * 120.0 * 30.0, 0.5 * 120.0 * 30.0 * 0.03);
  EXPECT_EQ(t.firstOrder, 1);
  EXPECT_EQ(t.higherOrder, 0);
  EXPECT_DOUBLE_EQ(t.totalLength, doc.root[0].main_length + t.firstOrderLength);
  const PlantTraits straight = MeasurePlantTraits(doc.root[1]);
  EXPECT_EQ(straight.hullArea, 0.0);
  EXPECT_EQ(straight.width, 0.0);
  EXPECT_DOUBLE_EQ(straight.totalLength, doc.root[1].main_length);
}

// ---------------------------------------------------------------------------
// Overlay pictures

TEST_F(ExportsTest, OverlayShowsEachPlantInItsColourMainRootThickerAndItsNumber) {
  KW_SciDoc doc;
  MeasureTwoDrawnPlants(doc);
  const OverlayPicture picture = RenderOverlay(doc);
  ASSERT_EQ(picture.width, 200);
  ASSERT_EQ(picture.height, 200);
  const OverlayWidths widths = OverlayLineWidths(200, 200);
  ASSERT_LT(widths.lateral, widths.main);
  // A flagged plant's number stands on the warning colour, with a mark.
  KW_SciDoc flaggedDoc;
  MeasureTwoDrawnPlants(flaggedDoc);
  flaggedDoc.root[1].flags = kFlagMerged;
  const OverlayPicture flagged = RenderOverlay(flaggedDoc);
  ASSERT_EQ(flagged.labels.size(), 2U);
  EXPECT_FALSE(flagged.labels[0].flagged);
  EXPECT_TRUE(flagged.labels[1].flagged);
  const OverlayLabel& mark = flagged.labels[1];
  EXPECT_EQ(flagged.at(mark.col - 1, mark.rowFromTop - 1), kOverlayWarningColour);
  EXPECT_NE(picture.at(mark.col - 1, mark.rowFromTop - 1), kOverlayWarningColour);
  EXPECT_EQ(std::count(flagged.index.begin(), flagged.index.end(), flagged.index[0]) <
                std::count(picture.index.begin(), picture.index.end(), picture.index[0]),
            true);
  EXPECT_NE(OverlayPlantColour(0), OverlayPlantColour(1));
  auto at = [&](int col, int row) { return picture.at(col, picture.height - 1 - row); };
  for (std::size_t i = 0; i < 2; ++i) {
    const std::uint32_t colour = OverlayPlantColour(i);
    for (const ContourPoint& p : doc.item[i].tab) ASSERT_EQ(at(p.col, p.row), colour);
  }
  // The main root of plant 1 runs down column 50: thick; its arm along row 120: thin.
  const std::vector<RootLine> lines = RootLines(doc.root[0]);
  ASSERT_EQ(lines.size(), 2U);
  for (const ContourPoint& p : lines[0].points) {
    EXPECT_EQ(at(p.col - widths.main / 2, p.row), OverlayPlantColour(0));
    EXPECT_EQ(at(p.col + widths.main / 2, p.row), OverlayPlantColour(0));
  }
  for (const ContourPoint& p : lines[1].points) {
    if (p.col < 50 + widths.main) continue;
    EXPECT_NE(at(p.col, p.row + 1), OverlayPlantColour(0)) << p.col;
    EXPECT_NE(at(p.col, p.row - 1), OverlayPlantColour(0)) << p.col;
  }
  // Nothing of a plant's colour away from its skeleton but its number.
  const std::uint32_t away = at(100, 30);
  EXPECT_EQ((away >> 16) & 0xFFU, away & 0xFFU) << "the plate is grey";

  // The numbers read back from their glyph cells, above each plant's top.
  ASSERT_EQ(picture.labels.size(), 2U);
  for (const OverlayLabel& label : picture.labels) {
    const std::uint32_t colour = OverlayPlantColour(static_cast<std::size_t>(label.plant - 1));
    const ContourPoint& top = doc.item[static_cast<std::size_t>(label.plant - 1)].tab.front();
    EXPECT_LT(label.rowFromTop + kGlyphRows * label.cell, picture.height - 1 - top.row);
    const DigitGlyph& glyph = GlyphOfDigit(label.plant);
    for (int gr = 0; gr < kGlyphRows; ++gr)
      for (int gc = 0; gc < kGlyphColumns; ++gc) {
        const bool lit = ((glyph[static_cast<std::size_t>(gr)] >> (kGlyphColumns - 1 - gc)) & 1U) != 0;
        const std::uint32_t cell = picture.at(label.col + gc * label.cell + label.cell / 2,
                                              label.rowFromTop + gr * label.cell + label.cell / 2);
        EXPECT_EQ(cell == colour, lit) << "plant " << label.plant << " cell " << gr << "," << gc;
      }
  }
}

TEST_F(ExportsTest, OverlayPngDecodesToThePictureDrawn) {
  KW_SciDoc doc;
  MeasureSynthPlate(doc, 3, 5);
  const OverlayPicture picture = RenderOverlay(doc);
  const fs::path file = home / "overlay.png";
  std::string error;
  ASSERT_TRUE(WriteOverlayPng(file.string(), picture, error)) << error;
  const auto png = testenv::ReadPng(file);
  ASSERT_TRUE(png.has_value());
  ASSERT_EQ(png->width, picture.width);
  ASSERT_EQ(png->height, picture.height);
  std::size_t differ = 0;
  for (int top = 0; top < picture.height; ++top)
    for (int col = 0; col < picture.width; ++col)
      differ += (png->at(col, top) & 0xFFFFFFU) != picture.at(col, top) ? 1U : 0U;
  EXPECT_EQ(differ, 0U);
  // Every plant shows in its colour; the plate under them is grey and not all black.
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_NE(std::find(png->argb.begin(), png->argb.end(), 0xFF000000U | OverlayPlantColour(i)),
              png->argb.end());
  EXPECT_GT(std::count_if(
                png->argb.begin(), png->argb.end(),
                [](std::uint32_t p) { return (p & 0xFFFFFFU) != 0U && (p & 0xFFU) == ((p >> 8) & 0xFFU); }),
            0);

  // Nothing to draw: nothing written.
  EXPECT_FALSE(WriteOverlayPng((home / "none.png").string(), OverlayPicture{}, error));
  EXPECT_FALSE(fs::exists(home / "none.png"));
}

TEST_F(ExportsTest, PlateUnderTheOverlayIsTheOpenedPictureWhereRemoveBoxCut) {
  synth::PlateOptions o;
  o.plants = 2;
  const synth::Plate plate = synth::MakePlate(o);
  KW_SciDoc cut, whole;
  for (KW_SciDoc* d : {&cut, &whole}) {
    d->width = plate.width;
    d->height = plate.height;
    d->pixels = plate.pixels;
    d->FixedBinarise();
  }
  ASSERT_EQ(cut.RemoveBox(), 1);
  ASSERT_GT(cut.cropLeft, 0);
  ASSERT_GT(cut.cropTop, 0);
  for (int r = 0; r < cut.height; ++r)
    for (int c = 0; c < cut.width; ++c)
      ASSERT_EQ(cut.At(c, r),
                whole.At(c + cut.cropLeft, whole.height - 1 - (cut.height - 1 - r + cut.cropTop)));

  // One bright pixel of the opened picture shows where the cut puts it.
  KW_SciDoc doc;
  MakeBlack(doc, 20, 10);
  doc.openedWidth = 40;
  doc.openedHeight = 30;
  doc.openedPicture.assign(std::size_t{40} * 30U, 0U);
  doc.cropLeft = 5;
  doc.cropTop = 7;
  doc.openedPicture[static_cast<std::size_t>(12 + 5) + static_cast<std::size_t>(29 - (3 + 7)) * 40] =
      0xFFFFFFU;
  // The overlay covers the whole opened picture, the analysed area outlined.
  const OverlayPicture picture = RenderOverlay(doc);
  ASSERT_EQ(picture.width, 40);
  ASSERT_EQ(picture.height, 30);
  for (int top = 0; top < 30; ++top)
    for (int col = 0; col < 40; ++col) {
      const bool inArea = col >= 5 && col < 25 && top >= 7 && top < 17;
      const bool edge = inArea && (col == 5 || col == 24 || top == 7 || top == 16);
      const std::uint32_t expected = edge                     ? kOverlayOutlineColour
                                     : col == 17 && top == 10 ? 7U * 12U * 0x010101U
                                                              : 0U;
      EXPECT_EQ(picture.at(col, top), expected) << col << "," << top;
    }
}

TEST_F(ExportsTest, PreviewAfterFindRootsLeavesTheDocumentAsItWas) {
  synth::PlateOptions o;
  o.plants = 3;
  const synth::Plate plate = synth::MakePlate(o);
  KW_SciDoc doc;
  doc.width = plate.width;
  doc.height = plate.height;
  doc.pixels = plate.pixels;
  doc.setColourSeed(1U);
  doc.FixedBinarise();
  ASSERT_EQ(doc.RemoveBox(), 1);
  doc.CutMargins();
  doc.Dilate();
  doc.Skeletonize();
  ASSERT_EQ(doc.FindRoots(), 1);
  ASSERT_EQ(doc.nbr_item, 3);
  const std::vector<std::uint32_t> before = doc.pixels;
  fs::remove(logFolder() / "log_create_tree.txt");
  fs::remove(logFolder() / "log_math.txt");

  const OverlayPicture preview = PreviewOverlay(doc);
  EXPECT_EQ(doc.pixels, before);
  EXPECT_TRUE(doc.root.empty());
  EXPECT_FALSE(fs::exists(logFolder() / "log_create_tree.txt"));
  EXPECT_FALSE(fs::exists(logFolder() / "log_math.txt"));

  // The same picture as that of the trees built on the document itself.
  ASSERT_EQ(doc.CreateTrees(), 1);
  ASSERT_EQ(doc.MeasureTrees(), 1);
  const OverlayPicture measured = RenderOverlay(doc);
  EXPECT_EQ(preview.index, measured.index);
  EXPECT_EQ(preview.palette, measured.palette);
  EXPECT_TRUE(PreviewOverlay(KW_SciDoc()).index.empty());
}

}  // namespace
