// The threshold and erosion-method dialogs, driven as a user would through
// the scripted frontend.
#include "image/step_dialog_models.h"

#include <gtest/gtest.h>

#include <random>

#include "image/ima_ana.h"
#include "picture_text.h"
#include "support/scripted_frontend.h"
#include "support/test_env.h"

namespace {

using Pixels = std::vector<std::uint32_t>;

// A picture of grey levels 0..255 and colours, so every threshold gives a
// different black-and-white picture.
void loadGreys(KW_ImaAna& doc) {
  doc.width = 32;
  doc.height = 16;
  doc.pixels.resize(std::size_t{32} * 16U);
  for (std::uint32_t i = 0; i < doc.pixels.size(); ++i) {
    const std::uint32_t v = i % 256;
    doc.pixels[i] = i < 256 ? (v << 16 | v << 8 | v) : (v << 16 | ((v * 3) % 256) << 8 | ((v * 7) % 256));
  }
}

Pixels binarised(const Pixels& source, int w, int h, int t) {
  Pixels out(source.size());
  Binarise(source.data(), out.data(), w, h, t);
  return out;
}

}  // namespace

class ThresholdDialogTest : public testenv::HomeTest {
 protected:
  FRONTEND::ScriptedFrontend script;
};

TEST_F(ThresholdDialogTest, TypedValuesAreClampedWhileTheTextStaysAsTyped) {
  EXPECT_EQ(ThresholdModel::ClampedValue("200"), 120);
  EXPECT_EQ(ThresholdModel::ClampedValue("7"), 40);
  EXPECT_EQ(ThresholdModel::ClampedValue("40"), 40);
  EXPECT_EQ(ThresholdModel::ClampedValue("41"), 41);
  EXPECT_EQ(ThresholdModel::ClampedValue("119"), 119);
  EXPECT_EQ(ThresholdModel::ClampedValue("  85px"), 85);
  EXPECT_EQ(ThresholdModel::ClampedValue("-100"), 40);
  EXPECT_EQ(ThresholdModel::ClampedValue(""), 40);
  EXPECT_EQ(ThresholdModel::ClampedValue("abc"), 40);
  EXPECT_EQ(ThresholdModel::ClampedValue("99999999999999999999"), 120);

  KW_ImaAna doc;

  doc.setFrontend(&script);
  loadGreys(doc);
  const Pixels start = doc.pixels;
  ThresholdModel model(doc);
  EXPECT_EQ(model.text(), "90");
  EXPECT_EQ(model.threshold(), 90);
  EXPECT_EQ(doc.pixels, binarised(start, 32, 16, 90));
  model.setText("200");
  EXPECT_EQ(model.text(), "200");
  EXPECT_EQ(model.sliderPosition(), 120);
  EXPECT_EQ(doc.pixels, binarised(start, 32, 16, 120));
  model.setText("7");
  EXPECT_EQ(model.sliderPosition(), 40);
  EXPECT_EQ(doc.pixels, binarised(start, 32, 16, 40));
  // Each preview starts from the picture as it was, not from the last preview.
  model.sliderMoved(77);
  EXPECT_EQ(model.text(), "77");
  EXPECT_EQ(model.threshold(), 77);
  EXPECT_EQ(doc.pixels, binarised(start, 32, 16, 77));
  EXPECT_EQ(doc.refreshCount(), 4);
}

TEST_F(ThresholdDialogTest, MakeBlackWhiteKeepsTheLastPreviewAndThresholdOnOk) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  loadGreys(doc);
  const Pixels start = doc.pixels;
  script.thresholdScripts.push_back([](ThresholdModel& m) {
    m.setText("65");
    m.setText("112");
    return true;
  });
  doc.MakeBlackWhite();
  EXPECT_EQ(doc.threshold, 112);
  EXPECT_EQ(doc.pixels, binarised(start, 32, 16, 112));
  EXPECT_TRUE(doc.marks.isChecked(StepMark::MakeBlackWhite));
  // Opening preview, two typed values, and the command's own refresh.
  EXPECT_EQ(doc.refreshCount(), 4);
  ASSERT_EQ(script.shown.size(), 1U);
  EXPECT_EQ(script.shown[0].kind, FRONTEND::ScriptedFrontend::Kind::ThresholdDialog);
  EXPECT_EQ(script.shown[0].title, "Black and White Box");
}

TEST_F(ThresholdDialogTest, CancelRestoresThePictureAndKeepsTheOldThreshold) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  loadGreys(doc);
  doc.threshold = 70;
  const Pixels start = doc.pixels;
  script.thresholdScripts.push_back([](ThresholdModel& m) {
    m.setText("50");
    return false;
  });
  doc.MakeBlackWhite();
  EXPECT_EQ(doc.pixels, start);
  EXPECT_EQ(doc.threshold, 70);
  // Opening preview, one typed value, the cancel, the command's refresh.
  EXPECT_EQ(doc.refreshCount(), 4);
}

TEST_F(ThresholdDialogTest, WithoutAScriptTheOpeningThresholdIsAcceptedAndEmptyPicturesAreSafe) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  loadGreys(doc);
  const Pixels start = doc.pixels;
  doc.MakeBlackWhite();
  EXPECT_EQ(doc.threshold, 90);
  EXPECT_EQ(doc.pixels, binarised(start, 32, 16, 90));

  KW_ImaAna empty;

  empty.setFrontend(&script);
  script.thresholdScripts.push_back([](ThresholdModel& m) {
    m.setText("100");
    return true;
  });
  empty.MakeBlackWhite();
  EXPECT_EQ(empty.threshold, 100);
  EXPECT_TRUE(empty.pixels.empty());
  EXPECT_EQ(empty.refreshCount(), 1);
}

// ---------------------------------------------------------------------------

class ErosionDialogTest : public testenv::HomeTest {
 protected:
  FRONTEND::ScriptedFrontend script;

  // Specks and short lines in the middle of a 300 x 300 picture, plus white
  // pixels in the margins that the cut must clear.
  static void loadSpeckled(KW_ImaAna& doc) {
    pictext::Blank(doc, 300, 300);
    std::mt19937 rng(4);
    for (int i = 0; i < 900; ++i) {
      const int c = 110 + static_cast<int>(rng() % 80), r = 110 + static_cast<int>(rng() % 80);
      doc.At(c, r) = 0xFFFFFF;
      if (i % 3 == 0) doc.At(c + 1, r) = 0xFFFFFF;
    }
    for (int c = 0; c < 300; ++c) doc.At(c, 0) = doc.At(c, 1) = doc.At(c, 2) = 0xFFFFFF;
  }
  static Pixels filtered(const Pixels& start, int method) {
    Pixels out(start.size());
    VoteFilter(start.data(), out.data(), 300, 300, method);
    return out;
  }
};

TEST_F(ErosionDialogTest, ListsTheMethodsInOrderAndPreviewsGaussian2AtOpening) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  loadSpeckled(doc);
  const Pixels start = doc.pixels;
  ErosionMethodModel model(doc);
  EXPECT_EQ(model.entries(), (std::vector<std::string>{"Gaussian", "Conical", "Pyramide Shaped", "Gaussian2",
                                                       "Exponential", "Average", "Original"}));
  EXPECT_EQ(model.selectedText(), "Gaussian2");
  EXPECT_EQ(doc.pixels, filtered(start, 3));
  EXPECT_EQ(doc.refreshCount(), 1);
  for (int m = 0; m < 6; ++m) {
    ASSERT_TRUE(model.select(m));
    EXPECT_EQ(doc.pixels, filtered(start, m)) << model.selectedText();
  }
  const int refreshes = doc.refreshCount();
  EXPECT_TRUE(model.select("Average"));  // already selected: nothing runs
  EXPECT_EQ(doc.refreshCount(), refreshes);
  EXPECT_FALSE(model.select("Median"));
  EXPECT_FALSE(model.select(7));
  EXPECT_EQ(model.selectedText(), "Average");
  // "Original" shows the starting picture, refreshing twice.
  EXPECT_TRUE(model.select("Original"));
  EXPECT_EQ(doc.pixels, start);
  EXPECT_EQ(doc.refreshCount(), refreshes + 2);
}

TEST_F(ErosionDialogTest, OkStoresTheMethodAndKeepsTheFilterThenCutsTheMargins) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  loadSpeckled(doc);
  const Pixels start = doc.pixels;
  script.erosionMethodScripts.push_back([](ErosionMethodModel& m) { return m.select("Average"); });
  doc.RemoveNoise();
  EXPECT_EQ(doc.erosionMethod, "Average");
  KW_ImaAna expected;
  expected.setFrontend(&script);
  expected.width = expected.height = 300;
  expected.pixels = filtered(start, 5);
  expected.CutMargins();
  EXPECT_EQ(doc.pixels, expected.pixels);
  EXPECT_TRUE(doc.marks.isChecked(StepMark::RemoveNoise));
  ASSERT_EQ(script.shown.size(), 1U);
  EXPECT_EQ(script.shown[0].title, "Choice of Erosion Method");
  // Opening filter, the change, and the command's refresh.
  EXPECT_EQ(doc.refreshCount(), 3);
  // Each filter run shows the wait cursor and removes it.
  EXPECT_EQ(script.waitCursorShown, 2);
  EXPECT_EQ(script.waitCursorRemoved, 2);
}

TEST_F(ErosionDialogTest, OriginalWithOkKeepsThePictureUnfilteredButStillCutsTheMargins) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  loadSpeckled(doc);
  const Pixels start = doc.pixels;
  script.erosionMethodScripts.push_back([](ErosionMethodModel& m) { return m.select("Original"); });
  doc.RemoveNoise();
  EXPECT_EQ(doc.erosionMethod, "Original");
  KW_ImaAna expected;
  expected.setFrontend(&script);
  expected.width = expected.height = 300;
  expected.pixels = start;
  expected.CutMargins();
  EXPECT_EQ(doc.pixels, expected.pixels);
  EXPECT_EQ(doc.At(150, 0), 0U);
}

TEST_F(ErosionDialogTest, CancelRestoresThePictureKeepsTheMethodAndStillCutsTheMargins) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  loadSpeckled(doc);
  doc.erosionMethod = "Conical";
  const Pixels start = doc.pixels;
  script.erosionMethodScripts.push_back([](ErosionMethodModel& m) {
    m.select("Exponential");
    return false;
  });
  doc.RemoveNoise();
  EXPECT_EQ(doc.erosionMethod, "Conical");
  KW_ImaAna expected;
  expected.setFrontend(&script);
  expected.width = expected.height = 300;
  expected.pixels = start;
  expected.CutMargins();
  EXPECT_EQ(doc.pixels, expected.pixels);
  // Without a script the opening choice, Gaussian2, is taken; the cleaning
  // log is only ever appended to.
  doc.RemoveNoise();
  EXPECT_EQ(doc.erosionMethod, "Gaussian2");
  const std::string log = readLog("log_cleaning.txt");
  EXPECT_NE(log.find("Conical"), std::string::npos);
  EXPECT_NE(log.find("Gaussian2"), std::string::npos);
}

TEST_F(ErosionDialogTest, AnEmptyPictureGetsNoPreview) {
  KW_ImaAna doc;
  doc.setFrontend(&script);
  script.erosionMethodScripts.push_back([](ErosionMethodModel& m) { return m.select("Average"); });
  doc.RemoveNoise();
  EXPECT_EQ(doc.erosionMethod, "Average");
  EXPECT_TRUE(doc.pixels.empty());
  EXPECT_EQ(doc.refreshCount(), 1);
}
