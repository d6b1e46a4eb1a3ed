// The fixture of the tests of complete analyses: a generated plate opened
// as a user opens it, the image information typed as a user types it.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "image/step_dialog_models.h"
#include "roots/analysis_dialog_models.h"
#include "roots/calibration.h"
#include "roots/result_file.h"
#include "roots/result_writer.h"
#include "roots/roots_test_util.h"
#include "roots/sample_names.h"
#include "roots/sci_doc.h"
#include "support/scripted_frontend.h"
#include "support/test_env.h"
#include "synth/synth_plate.h"

namespace analysistest {

using FRONTEND::Answer;
namespace fs = std::filesystem;

// Answers the image information dialog as a user typing these texts.
inline std::function<bool(MyBoxInfoGeneral&)> Typing(const std::string& resolution,
                                                     const std::string& genotype = "Col-0") {
  return [=](MyBoxInfoGeneral& box) {
    box.user = "ana";
    box.experiment = "exp1";
    box.box = "b7";
    box.genotype = genotype;
    box.media = "MS";
    box.age = MyBoxInfoGeneral::DigitsOnly("5d");
    box.resolution = MyBoxInfoGeneral::DigitsOnly(resolution);
    box.ok();
    return true;
  };
}

class AnalysisTest : public testenv::HomeTest {
 protected:
  void SetUp() override {
    HomeTest::SetUp();
    results = home / "results";
    fs::create_directories(results);
  }
  // A document on a generated plate, read from its bitmap as a user opens it.
  void OpenPlate(KW_SciDoc& doc, int dpi, std::uint32_t seed, const std::string& name = "plate1") {
    synth::PlateOptions o;
    o.dpi = dpi;
    o.seed = seed;
    std::string error;
    const std::string bmp = (home / (name + ".bmp")).string();
    ASSERT_EQ(synth::WritePlate(synth::MakePlate(o), o, bmp, (home / (name + "_truth.txt")).string(), error),
              1);
    ASSERT_TRUE(doc.OpenPicture(bmp));
    doc.setColourSeed(1U);
    doc.fixedResultFolder = results.string();
  }
  std::string resultText(const std::string& name = "plate1") const {
    return testenv::ReadFile(results / (name + ".txt"));
  }

  FRONTEND::ScriptedFrontend ui;
  fs::path results;
};

}  // namespace analysistest
