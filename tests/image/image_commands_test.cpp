// The synth and steps commands of morvane-batch.
#include "batch/image_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "image/ima_ana.h"
#include "support/scripted_frontend.h"
#include "support/test_env.h"
#include "synth/synth_plate.h"

class ImageCommandsTest : public testenv::HomeTest {
 protected:
  FRONTEND::ScriptedFrontend script;
  std::string file(const std::string& name) const { return (home / name).string(); }
};

TEST_F(ImageCommandsTest, SynthWritesThePlateAndItsGroundTruthBesideIt) {
  ASSERT_EQ(RunSynthCommand({file("plate.bmp"), "--dpi", "150", "--plants", "3", "--seed", "4"}), 0);
  KW_PicDoc doc;
  doc.setFrontend(&script);
  ASSERT_NE(doc.LoadBitmap(file("plate.bmp")), nullptr);
  synth::PlateOptions options;
  options.dpi = 150;
  options.plants = 3;
  options.seed = 4;
  const synth::Plate plate = synth::MakePlate(options);
  EXPECT_EQ(doc.pixels, plate.pixels);
  EXPECT_EQ(testenv::ReadFile(file("plate.txt")), synth::TruthText(plate, options));

  // --grey: 8 bits of grey, each pixel the grey nearest to its colour.
  ASSERT_EQ(RunSynthCommand({file("grey.bmp"), "--dpi", "150", "--plants", "3", "--seed", "4", "--grey"}), 0);
  KW_PicDoc grey;
  grey.setFrontend(&script);
  ASSERT_NE(grey.LoadBitmap(file("grey.bmp")), nullptr);
  EXPECT_EQ(grey.bitCount, 8);
  ASSERT_EQ(grey.pixels.size(), plate.pixels.size());
  for (std::size_t i = 0; i < grey.pixels.size(); i += 7) {
    const std::uint32_t g = grey.pixels[i], c = plate.pixels[i];
    ASSERT_EQ(g >> 16, g & 0xFFU);
    ASSERT_EQ((g >> 8) & 0xFFU, g & 0xFFU);
    const std::uint32_t lo = std::min({c >> 16, (c >> 8) & 0xFFU, c & 0xFFU});
    const std::uint32_t hi = std::max({c >> 16, (c >> 8) & 0xFFU, c & 0xFFU});
    ASSERT_GE(g & 0xFFU, lo);
    ASSERT_LE(g & 0xFFU, hi);
  }

  EXPECT_EQ(RunSynthCommand({file("a.bmp"), "--dpi", "100"}), 2);
  EXPECT_EQ(RunSynthCommand({file("a.bmp"), "--plants", "many"}), 2);
  EXPECT_EQ(RunSynthCommand({file("a.png")}), 2);
  EXPECT_EQ(RunSynthCommand({}), 2);
  EXPECT_FALSE(std::filesystem::exists(file("a.bmp")));
  EXPECT_EQ(RunSynthCommand({file("missing/a.bmp"), "--dpi", "150"}), 1);
}

TEST_F(ImageCommandsTest, StepsRunInOrderLikeTheDocumentsOwnSteps) {
  ASSERT_EQ(RunSynthCommand({file("plate.bmp"), "--dpi", "150", "--plants", "2"}), 0);
  ASSERT_EQ(RunStepsCommand({file("plate.bmp"), file("out.bmp"), "bw=80", "removebox", "noise=Average",
                             "dilate", "skeletonize", "--depth", "1"},
                            script),
            0);
  KW_ImaAna expected;
  expected.setFrontend(&script);
  ASSERT_NE(expected.LoadBitmap(file("plate.bmp")), nullptr);
  Binarise(expected.pixels.data(), expected.pixels.data(), expected.width, expected.height, 80);
  expected.RemoveBox();
  expected.ApplyVoteFilter(VoteMethodIndex("Average"));
  expected.CutMargins();
  expected.Dilate();
  expected.Skeletonize();
  KW_PicDoc out;
  out.setFrontend(&script);
  ASSERT_NE(out.LoadBitmap(file("out.bmp")), nullptr);
  EXPECT_EQ(out.bitCount, 1);
  EXPECT_EQ(out.width, expected.width);
  EXPECT_EQ(out.pixels, expected.pixels);
  // Black and white survive an 8-bit grey output of a grey input as well.
  ASSERT_EQ(RunSynthCommand({file("grey.bmp"), "--dpi", "150", "--plants", "2", "--grey"}), 0);
  ASSERT_EQ(RunStepsCommand({file("grey.bmp"), file("grey-out.bmp"), "bw=80", "removebox", "noise=Average",
                             "dilate", "skeletonize", "--depth", "4"},
                            script),
            0);
  KW_PicDoc greyOut;
  greyOut.setFrontend(&script);
  ASSERT_NE(greyOut.LoadBitmap(file("grey-out.bmp")), nullptr);
  EXPECT_EQ(greyOut.bitCount, 4);
  std::size_t white = 0;
  for (const std::uint32_t p : greyOut.pixels) {
    ASSERT_TRUE(p == 0 || p == 0xFFFFFFU);
    white += p != 0 ? 1 : 0;
  }
  EXPECT_GT(white, 100U);
}

TEST_F(ImageCommandsTest, AFailingBoxIsReportedAndTheNextStepsStillRun) {
  ASSERT_EQ(RunSynthCommand({file("plate.bmp"), "--dpi", "150", "--plants", "1"}), 0);
  // The second frame removal finds no rim in the cropped picture.
  ASSERT_EQ(
      RunStepsCommand({file("plate.bmp"), file("out.bmp"), "fixedbw", "removebox", "removebox", "cutmargins"},
                      script),
      0);
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Impossible to find the box!"});
  KW_ImaAna expected;
  expected.setFrontend(&script);
  ASSERT_NE(expected.LoadBitmap(file("plate.bmp")), nullptr);
  expected.FixedBinarise();
  expected.RemoveBox();
  expected.CutMargins();
  KW_PicDoc out;
  out.setFrontend(&script);
  ASSERT_NE(out.LoadBitmap(file("out.bmp")), nullptr);
  EXPECT_EQ(out.bitCount, 24);  // the depth of the input
  EXPECT_EQ(out.pixels, expected.pixels);
}

TEST_F(ImageCommandsTest, BadStepsAndFilesAreRefusedBeforeAnythingIsWritten) {
  ASSERT_EQ(RunSynthCommand({file("plate.bmp"), "--dpi", "150", "--plants", "1"}), 0);
  for (const char* bad : {"bw=30", "bw=121", "bw=", "bw=9x", "noise=Median", "erode", "noise="}) {
    EXPECT_EQ(RunStepsCommand({file("plate.bmp"), file("out.bmp"), "fixedbw", bad}, script), 2) << bad;
  }
  EXPECT_EQ(RunStepsCommand({file("plate.bmp"), file("out.bmp")}, script), 2);
  EXPECT_EQ(RunStepsCommand({file("plate.bmp"), file("out.bmp"), "dilate", "--depth", "7"}, script), 2);
  EXPECT_FALSE(std::filesystem::exists(file("out.bmp")));
  testenv::WriteFile(file("junk.bmp"), "not a bitmap");
  EXPECT_EQ(RunStepsCommand({file("junk.bmp"), file("out.bmp"), "dilate"}, script), 1);
  EXPECT_EQ(RunStepsCommand({file("plate.bmp"), file("missing/out.bmp"), "dilate"}, script), 1);
  EXPECT_FALSE(std::filesystem::exists(file("out.bmp")));
}
