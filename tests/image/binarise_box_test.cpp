// Black-and-white conversion, plate-frame removal and the step check marks.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "image/ima_ana.h"
#include "picture_text.h"
#include "support/scripted_frontend.h"
#include "support/test_env.h"

namespace {

std::uint32_t rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return (r << 16) | (g << 8) | b; }

std::uint32_t binariseOne(std::uint32_t pixel, int t) {
  std::uint32_t out = 0x123456;
  Binarise(&pixel, &out, 1, 1, t);
  return out;
}

}  // namespace

TEST(Binarise, GreyEqualToTheThresholdIsBlackAndOnlyStrictlyBrighterIsWhite) {
  EXPECT_EQ(binariseOne(rgb(90, 90, 90), 90), 0U);
  EXPECT_EQ(binariseOne(rgb(91, 91, 91), 90), 0xFFFFFFU);
  EXPECT_EQ(binariseOne(rgb(90, 90, 90), 89), 0xFFFFFFU);
  // Pure red weighs 0.3 x 255 = 76.5.
  EXPECT_EQ(binariseOne(rgb(255, 0, 0), 76), 0xFFFFFFU);
  EXPECT_EQ(binariseOne(rgb(255, 0, 0), 77), 0U);
  EXPECT_EQ(binariseOne(rgb(255, 0, 0), 40), 0xFFFFFFU);
  // Green weighs 0.59 and blue 0.11: 0.59 x 255 = 150.45, 0.11 x 255 = 28.05.
  EXPECT_EQ(binariseOne(rgb(0, 255, 0), 120), 0xFFFFFFU);
  EXPECT_EQ(binariseOne(rgb(0, 0, 255), 40), 0U);
  EXPECT_EQ(binariseOne(rgb(255, 255, 255), 120), 0xFFFFFFU);
  EXPECT_EQ(binariseOne(0, 40), 0U);
}

TEST(Binarise, MatchesTheWeightedGreyForEveryLevelAndWorksInPlace) {
  // A row of every grey level and some mixed colours, against an integer
  // form of the same rule (30 R + 59 G + 11 B > 100 t), checked at each level.
  std::vector<std::uint32_t> source;
  for (std::uint32_t v = 0; v < 256; ++v) source.push_back(rgb(v, (v * 7) % 256, (v * 13) % 256));
  for (int t = 40; t <= 120; ++t) {
    std::vector<std::uint32_t> target(source.size());
    Binarise(source.data(), target.data(), static_cast<int>(source.size()), 1, t);
    for (std::size_t i = 0; i < source.size(); ++i) {
      const std::uint32_t p = source[i];
      const int weighted = 30 * static_cast<int>(p >> 16) + 59 * static_cast<int>((p >> 8) & 255U) +
                           11 * static_cast<int>(p & 255U);
      if (weighted == 100 * t) continue;  // exact ties are covered above
      EXPECT_EQ(target[i], weighted > 100 * t ? 0xFFFFFFU : 0U) << "pixel " << i << " at " << t;
    }
    std::vector<std::uint32_t> inPlace = source;
    Binarise(inPlace.data(), inPlace.data(), static_cast<int>(inPlace.size()), 1, t);
    EXPECT_EQ(inPlace, target);
  }
}

TEST(FixedBinarise, UsesLevel90AndLeavesThresholdAndMarksAlone) {
  KW_ImaAna doc;
  pictext::Blank(doc, 3, 1);
  doc.At(0, 0) = rgb(90, 90, 90);
  doc.At(1, 0) = rgb(91, 91, 91);
  doc.At(2, 0) = rgb(255, 0, 0);
  doc.threshold = 55;
  doc.marks.check(StepMark::Dilate);
  doc.FixedBinarise();
  EXPECT_EQ(doc.At(0, 0), 0U);
  EXPECT_EQ(doc.At(1, 0), 0xFFFFFFU);
  EXPECT_EQ(doc.At(2, 0), 0U);
  EXPECT_EQ(doc.threshold, 55);
  EXPECT_TRUE(doc.marks.isChecked(StepMark::Dilate));
}

// ---------------------------------------------------------------------------

TEST(StepMarks, EachStepChecksItselfAloneAndEveryDocumentKeepsItsOwn) {
  KW_ImaAna doc;
  for (int i = 0; i < kStepMarkCount; ++i) {
    doc.marks.check(static_cast<StepMark>(i));
    for (int j = 0; j < kStepMarkCount; ++j) EXPECT_EQ(doc.marks.isChecked(static_cast<StepMark>(j)), i == j);
  }
  // Find roots keeps the flag of Confirm roots: the flags can be set alone.
  doc.marks.check(StepMark::ConfirmRoots);
  doc.marks.check(StepMark::FindRoots);
  doc.marks.set(StepMark::ConfirmRoots, true);
  EXPECT_TRUE(doc.marks.isChecked(StepMark::FindRoots));
  EXPECT_TRUE(doc.marks.isChecked(StepMark::ConfirmRoots));

  // Another document's steps, and its end, leave these marks alone.
  {
    KW_ImaAna other;
    other.marks.check(StepMark::Skeletonize);
    EXPECT_TRUE(other.marks.isChecked(StepMark::Skeletonize));
  }
  EXPECT_TRUE(doc.marks.isChecked(StepMark::FindRoots));
  EXPECT_FALSE(doc.marks.isChecked(StepMark::Skeletonize));
  EXPECT_EQ(kStepMenuEntries[0], " &Make B\\W");
  EXPECT_EQ(kStepMenuEntries[8], " Save experiment");
}

TEST(ImaAna, ANewDocumentStartsWithThresholdZeroAndTheDefaultScale) {
  KW_ImaAna doc;
  EXPECT_EQ(doc.threshold, 0);
  EXPECT_FLOAT_EQ(doc.scale, 0.0125F);
  EXPECT_TRUE(doc.erosionMethod.empty());
}

// ---------------------------------------------------------------------------

class RemoveBoxTest : public testenv::HomeTest {
 protected:
  FRONTEND::ScriptedFrontend script;

  // White rim lines at the given rows and columns, long enough to count.
  static void drawRim(KW_ImaAna& doc, int row0, int row1, int col0, int col1) {
    for (int c = col0; c <= col1; ++c) doc.At(c, row0) = doc.At(c, row1) = 0xFFFFFF;
    for (int r = row0; r <= row1; ++r) doc.At(col0, r) = doc.At(col1, r) = 0xFFFFFF;
  }
  // Two white rows and two white columns across the whole picture.
  static void drawLines(KW_ImaAna& doc, int row0, int row1, int col0, int col1) {
    for (int c = 0; c < doc.width; ++c) doc.At(c, row0) = doc.At(c, row1) = 0xFFFFFF;
    for (int r = 0; r < doc.height; ++r) doc.At(col0, r) = doc.At(col1, r) = 0xFFFFFF;
  }
};

TEST_F(RemoveBoxTest, CropsToSixtyFivePixelsInsideTheRimAndLogsEachValue) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  pictext::Blank(doc, 2000, 2000);
  drawRim(doc, 100, 1900, 80, 1880);
  // Markers at the corners of the kept rectangle and just outside it.
  doc.At(145, 165) = rgb(1, 2, 3);
  doc.At(1815, 1835) = rgb(4, 5, 6);
  doc.At(144, 165) = rgb(7, 8, 9);
  doc.At(145, 1836) = rgb(7, 8, 9);

  EXPECT_EQ(doc.RemoveBox(), 1);
  EXPECT_EQ(doc.width, 1671);
  EXPECT_EQ(doc.height, 1671);
  ASSERT_EQ(doc.pixels.size(), 1671U * 1671U);
  EXPECT_EQ(doc.At(0, 0), rgb(1, 2, 3));
  EXPECT_EQ(doc.At(1670, 1670), rgb(4, 5, 6));
  for (const std::uint32_t p : doc.pixels) EXPECT_NE(p, rgb(7, 8, 9));
  EXPECT_FLOAT_EQ(doc.scale, static_cast<float>(12.5 / 1801.0));
  EXPECT_TRUE(doc.marks.isChecked(StepMark::RemoveBox));
  EXPECT_EQ(doc.refreshCount(), 1);
  EXPECT_TRUE(script.messages().empty());
  EXPECT_EQ(readLog("log_detection_box.txt"),
            "\n********detection_box\nx 100 \ny 1900 \nindx_row_min 165\nindx_row_max 1835\n"
            "indy_col_min 145\nindy_col_max 1815\nnew size xdim 1671\nnew size ydim 1671\n");
}

TEST_F(RemoveBoxTest, RimLinesLessThan131ApartAreRejectedAnd131AreEnough) {
  for (const bool rowsTooClose : {true, false}) {
    for (const int apart : {130, 131}) {
      KW_ImaAna doc;
      doc.setFrontend(&script);
      pictext::Blank(doc, 700, 700);
      if (rowsTooClose) {
        drawLines(doc, 100, 100 + apart, 50, 650);
      } else {
        drawLines(doc, 50, 650, 100, 100 + apart);
      }
      script.shown.clear();
      const auto before = doc.pixels;
      const int result = doc.RemoveBox();
      if (apart == 130) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(doc.pixels, before);
        EXPECT_EQ(doc.width, 700);
        EXPECT_EQ(script.messages(), std::vector<std::string>{"Impossible to find the box!"});
        const std::string log = readLog("log_detection_box.txt");
        EXPECT_NE(log.find("Impossible to find the box!\n"), std::string::npos);
        EXPECT_EQ(log.find("new size"), std::string::npos);
      } else {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(rowsTooClose ? doc.height : doc.width, 2);
        EXPECT_TRUE(script.messages().empty());
      }
      EXPECT_EQ(doc.refreshCount(), 1);
    }
  }
}

TEST_F(RemoveBoxTest, ScaleComesFromTheOutermostRowsWithTenThousandBrightness) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  pictext::Blank(doc, 400, 1200);
  // 14 white pixels = 10710 in rows 100 and 1099; 13 = 9945 in row 1150 does not count.
  for (int c = 0; c < 14; ++c) doc.At(c + 20, 100) = doc.At(c + 20, 1099) = 0xFFFFFF;
  for (int c = 0; c < 13; ++c) doc.At(c + 20, 1150) = 0xFFFFFF;
  EXPECT_EQ(doc.RemoveBox(), 0);  // no rim
  EXPECT_FLOAT_EQ(doc.scale, 0.0125F);
  EXPECT_EQ(doc.width, 400);
  const std::string log = readLog("log_detection_box.txt");
  EXPECT_NE(log.find("x 100 \ny 1099 \n"), std::string::npos);
  // No rim: first row = height, last = -1 (and likewise for columns).
  EXPECT_NE(log.find("indx_row_min 1265\nindx_row_max -66\nindy_col_min 465\nindy_col_max -66\n"),
            std::string::npos);

  // A sum of exactly 10000 counts: 13 white pixels (9945) and one of brightness 55.
  KW_ImaAna exact;
  exact.setFrontend(&script);
  pictext::Blank(exact, 40, 50);
  for (int c = 0; c < 13; ++c) exact.At(c, 10) = exact.At(c, 40) = 0xFFFFFF;
  exact.At(20, 10) = exact.At(20, 40) = rgb(20, 20, 15);
  exact.RemoveBox();
  EXPECT_FLOAT_EQ(exact.scale, static_cast<float>(12.5 / 31.0));
}

TEST_F(RemoveBoxTest, APictureWithoutBrightRowsKeepsItsScale) {
  // A dark picture has no plate: the quotient would be 12.5 / (1 - height),
  // a negative length per pixel, so the scale stays as it was.
  KW_ImaAna doc;
  doc.setFrontend(&script);
  pictext::Blank(doc, 300, 300);
  doc.scale = 0.02F;
  EXPECT_EQ(doc.RemoveBox(), 0);
  EXPECT_FLOAT_EQ(doc.scale, 0.02F);
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Impossible to find the box!"});
  EXPECT_NE(readLog("log_detection_box.txt").find("x 300 \ny 0 \n"), std::string::npos);
}

TEST_F(RemoveBoxTest, AnEmptyPictureChangesNothingAndWritesNoLog) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  doc.marks.check(StepMark::Dilate);
  EXPECT_EQ(doc.RemoveBox(), 0);
  EXPECT_TRUE(doc.marks.isChecked(StepMark::RemoveBox));
  EXPECT_EQ(doc.refreshCount(), 1);
  EXPECT_FALSE(std::filesystem::exists(logFolder() / "log_detection_box.txt"));
  EXPECT_TRUE(script.shown.empty());
}

TEST_F(RemoveBoxTest, AnUnwritableLogFolderLeavesThePictureAsItIs) {
  // The log file's name is taken by a folder, so it cannot be created.
  std::filesystem::create_directories(logFolder() / "log_detection_box.txt");
  KW_ImaAna doc;
  doc.setFrontend(&script);
  pictext::Blank(doc, 2000, 2000);
  drawRim(doc, 100, 1900, 80, 1880);
  const float scaleBefore = doc.scale;
  EXPECT_EQ(doc.RemoveBox(), 0);
  EXPECT_EQ(doc.width, 2000);
  EXPECT_FLOAT_EQ(doc.scale, scaleBefore);
  EXPECT_EQ(doc.refreshCount(), 1);
}

TEST_F(RemoveBoxTest, EachRunStartsTheLogAnew) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  pictext::Blank(doc, 300, 300);
  doc.RemoveBox();
  doc.RemoveBox();
  const std::string log = readLog("log_detection_box.txt");
  EXPECT_EQ(log.find("********detection_box"), log.rfind("********detection_box"));
}

TEST_F(RemoveBoxTest, ADocumentWhosePixelsDoNotMatchItsSizeIsLeftAlone) {
  // Too few pixels for the size it claims: no step may read past them.
  KW_ImaAna doc;
  doc.setFrontend(&script);
  doc.width = 400;
  doc.height = 400;
  doc.pixels.assign(100, 0xFFFFFF);
  const auto before = doc.pixels;
  EXPECT_EQ(doc.RemoveBox(), 0);
  doc.FixedBinarise();
  doc.CutMargins();
  doc.Dilate();
  doc.Skeletonize();
  EXPECT_EQ(doc.ApplyVoteFilter(0), 1);
  EXPECT_EQ(doc.pixels, before);
  EXPECT_EQ(doc.width, 400);
  int c = 0, r = 0;
  EXPECT_EQ(doc.NeighbourCode(200, 200), 0);
  EXPECT_EQ(doc.CountNeighboursOfSum(200, 200, 255, 255, 255), 0);
  EXPECT_EQ(doc.NextLinePixel(200, 200, -1, c, r), -1);
  EXPECT_EQ(doc.refreshCount(), 3);
}
