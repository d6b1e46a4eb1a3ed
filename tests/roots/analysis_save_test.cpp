// Complete analyses: the result file written and read back, and the
// commands that confirm, save and run the automatic sequences.
#include "roots/analysis_fixture.h"

namespace {

using namespace analysistest;

// ---- result file

TEST_F(AnalysisTest, StraightRootBlockAndLateralNumbering) {
  // One plant: a main root of 200 pixels straight down at 254 dpi.
  KW_SciDoc doc;
  doc.setFrontend(&ui);
  rootstest::MakeBlack(doc, 40, 260);
  doc.title = "straight";
  doc.fixedResultFolder = results.string();
  doc.nbr_item = 1;
  doc.item.resize(1);
  doc.root.resize(1);
  doc.nbr_root = 1;
  doc.root[0].main_length = 200;
  doc.root[0].main_vector = 200;
  ui.infoGeneralScripts.push_back(Typing("254"));
  doc.WriteResultFile();
  EXPECT_TRUE(doc.saved);
  EXPECT_EQ(
      resultText("straight"),
      "straight\nUser name: ana\nExperiment name: exp1\nBox name: b7\nGenotype: Col-0\nMedia: MS\n"
      "Age of plants: 5 day(s) after germination\nNumber of plant: 1\nscale 0.010000\n"
      "\n\n\nRoot 1: \nMain root length: 2.000000\nMain root vector: 2.000000\nMain root angle: 0.000000\n"
      "Number lateral root(s): 0\n");
  EXPECT_EQ(ui.messages(), std::vector<std::string>{kExperimentSaved});

  // A main root of three segments: two laterals leave the first segment's
  // end, none the second's, one the third's; the first lateral has one of
  // its own. The last number grows at every step along the root.
  auto first = rootstest::Segment(rootstest::LinePoints(0, 0, 0, 1));
  KW_Segment* a = first->addChild(rootstest::Segment({}));
  KW_Segment* second = first->addChild(rootstest::Segment({}));
  first->addChild(rootstest::Segment({}));
  KW_Segment* third = second->addChild(rootstest::Segment({}));
  third->addChild(rootstest::Segment({}));
  third->addChild(rootstest::Segment({}));
  a->Nbr_LR = 1;
  a->length_longest = 10;
  a->path_longest = {0, -1};
  KW_Segment* aRoot = a->addChild(rootstest::Segment({}));
  aRoot->addChild(rootstest::Segment({}));
  std::string out;
  WriteLaterals(out, *first, {3, 1}, {1, 0, 1, -1}, 0, 0.5F);
  const std::string tail =
      "\tPosition: 0.000000\tVector: 0.000000\tAngle: 0.000000\tNumber secondary root(s): ";
  EXPECT_EQ(out, "\tR3-LR1: Length: 5.000000" + tail + "1\n" + "\t\tR3-LR1-LR2: Length: 0.000000" + tail +
                     "0\n" + "\tR3-LR1: Length: 0.000000" + tail + "0\n" + "\tR3-LR3: Length: 0.000000" +
                     tail + "0\n");
}

TEST_F(AnalysisTest, MenusSaveAFileThatReadsBack) {
  // A whole analysis as a user runs the menus.
  KW_SciDoc doc;
  doc.setFrontend(&ui);
  OpenPlate(doc, 300, 7);
  ui.thresholdScripts.push_back([](ThresholdModel& m) {
    m.setText("90");
    return true;
  });
  ui.erosionMethodScripts.push_back([](ErosionMethodModel& m) { return m.select("Original"); });
  ui.infoGeneralScripts.push_back(Typing("600", "Ler"));
  doc.MakeBlackWhite();
  doc.RemoveBox();
  doc.RemoveNoise();
  doc.Dilate();
  doc.Skeletonize();
  doc.FindRoots();
  ASSERT_GT(doc.nbr_item, 0);
  doc.ConfirmRoots();
  doc.SaveExperiment();
  ASSERT_TRUE(doc.saved);
  EXPECT_TRUE(doc.marks.isChecked(StepMark::SaveExperiment));
  EXPECT_FLOAT_EQ(doc.scale, static_cast<float>(2.54 / 600));

  // Line by line, every number from the measures of the trees.
  const std::string text = resultText();
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "plate1");
  for (const char* expected : {"User name: ana", "Experiment name: exp1", "Box name: b7", "Genotype: Ler",
                               "Media: MS", "Age of plants: 5 day(s) after germination"}) {
    std::getline(lines, line);
    EXPECT_EQ(line, expected);
  }
  std::getline(lines, line);
  EXPECT_EQ(line, "Number of plant: " + std::to_string(doc.nbr_root));
  std::getline(lines, line);
  EXPECT_EQ(line, "scale 0.004233");
  char expect[200];
  for (std::size_t k = 0; k < doc.root.size(); ++k) {
    const RootTree& t = doc.root[k];
    for (int blank = 0; blank < 3; ++blank) {
      std::getline(lines, line);
      EXPECT_EQ(line, "");
    }
    std::getline(lines, line);
    EXPECT_EQ(line, "Root " + std::to_string(k + 1) + ": ");
    std::snprintf(expect, sizeof expect, "Main root length: %f",
                  t.main_length * static_cast<double>(doc.scale));
    std::getline(lines, line);
    EXPECT_EQ(line, expect);
    std::snprintf(expect, sizeof expect, "Main root vector: %f",
                  t.main_vector * static_cast<double>(doc.scale));
    std::getline(lines, line);
    EXPECT_EQ(line, expect);
    std::snprintf(expect, sizeof expect, "Main root angle: %f", t.main_angle);
    std::getline(lines, line);
    EXPECT_EQ(line, expect);
    std::getline(lines, line);
    EXPECT_EQ(line, "Number lateral root(s): " + std::to_string(t.nbr_LR));
    // The lateral lines: as many below the main root as it counts.
    int direct = 0;
    while (lines.peek() == '\t') {
      std::getline(lines, line);
      if (line[1] != '\t') ++direct;
    }
    EXPECT_EQ(direct, t.nbr_LR);
  }
  EXPECT_FALSE(std::getline(lines, line));

  // Read back: the same counts, the values within single-precision rounding.
  INFO_PICTURE p;
  ASSERT_EQ(ReadResultFile(ui, (results / "plate1.txt").string(), p), 1);
  EXPECT_EQ(p.name, "plate1");
  EXPECT_EQ(p.genotype, "Ler");
  EXPECT_EQ(p.age, 5);
  ASSERT_EQ(p.nbr, doc.nbr_root);
  for (std::size_t k = 0; k < doc.root.size(); ++k) {
    EXPECT_NEAR(p.arbre[k].main_length, doc.root[k].main_length * static_cast<double>(doc.scale), 1e-5);
    EXPECT_NEAR(p.arbre[k].main_angle, doc.root[k].main_angle, 1e-4);
    EXPECT_EQ(p.arbre[k].nbr_secondary_root, doc.root[k].nbr_LR);
  }

  // The same plate through "Auto" gives the same file.
  KW_SciDoc autoDoc;
  autoDoc.setFrontend(&ui);
  OpenPlate(autoDoc, 300, 7, "auto");
  ui.infoGeneralScripts.push_back(Typing("600", "Ler"));
  autoDoc.AutoRun();
  ASSERT_TRUE(autoDoc.saved);
  EXPECT_EQ(autoDoc.threshold, 90);
  EXPECT_EQ(autoDoc.erosionMethod, "Original");
  std::string autoText = resultText("auto");
  ASSERT_EQ(autoText.rfind("auto\n", 0), 0U);
  EXPECT_EQ(autoText.substr(4), text.substr(6));

  // A second save rebuilds the trees but writes nothing.
  const auto before = fs::last_write_time(results / "plate1.txt");
  ui.shown.clear();
  doc.SaveExperiment();
  EXPECT_EQ(ui.messages(), std::vector<std::string>{kAlreadySaved});
  EXPECT_EQ(resultText(), text);
  EXPECT_EQ(fs::last_write_time(results / "plate1.txt"), before);
}

TEST_F(AnalysisTest, ExistingFileCancelRefusedResolutionAndFailedWrites) {
  KW_SciDoc doc;
  doc.setFrontend(&ui);
  OpenPlate(doc, 300, 2);
  doc.AutoPrepare();
  doc.Skeletonize();
  doc.FindRoots();
  ASSERT_GT(doc.nbr_item, 0);
  testenv::WriteFile(results / "plate1.txt", "old result\n");

  // Cancel in the Warning! dialog: the old file stays, and the user is told
  // that nothing was saved.
  ui.resultFileExistScripts.push_back([](ResultFileExistBox&) { return Answer::Cancel; });
  doc.SaveExperiment();
  EXPECT_FALSE(doc.saved);
  EXPECT_EQ(resultText(), "old result\n");
  EXPECT_EQ(ui.messages(), std::vector<std::string>{kSaveCancelled});
  ui.shown.clear();

  // Another name, then a resolution of 0, then none, then Cancel: each
  // refused with its message; no result file, no calibration record.
  for (const char* typed : {"0", ""}) {
    ui.resultFileExistScripts.push_back([](ResultFileExistBox& b) {
      b.edited = "plate1-again";
      b.ok();
      return Answer::Yes;
    });
    ui.infoGeneralScripts.push_back(Typing(typed));
  }
  ui.resultFileExistScripts.push_back([](ResultFileExistBox& b) {
    b.edited = "plate1-again";
    b.ok();
    return Answer::Yes;
  });
  ui.infoGeneralScripts.push_back([](MyBoxInfoGeneral&) { return false; });
  for (int i = 0; i < 3; ++i) doc.SaveExperiment();
  EXPECT_FALSE(doc.saved);
  EXPECT_FALSE(fs::exists(results / "plate1-again.txt"));
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{kResolutionNeeded, kResolutionNeeded, kSaveCancelled}));
  EXPECT_FALSE(fs::exists(*KW_Log::Log_File_Path(ui, logname::kCalibParam)));
  EXPECT_FALSE(fs::exists(*KW_Log::Log_File_Path(ui, logname::kCalibration)));
  EXPECT_EQ(resultText(), "old result\n");

  // The result file cannot be written (a folder holds its name): the
  // message names it, the experiment stays unsaved and nothing half-written
  // is left.
  ui.shown.clear();
  fs::remove(results / "plate1-again.txt");
  fs::create_directory(results / "plate1-again.txt");
  ui.resultFileExistScripts.push_back([](ResultFileExistBox& b) {
    b.edited = "plate1-again";
    b.ok();
    return Answer::Yes;
  });
  ui.infoGeneralScripts.push_back(Typing("600"));
  doc.SaveExperiment();
  EXPECT_FALSE(doc.saved);
  ASSERT_EQ(ui.messages().size(), 1U);
  EXPECT_EQ(ui.messages()[0].rfind(
                "The result file " + (results / "plate1-again.txt").string() + " could not be written: ", 0),
            0U);
  int leftovers = 0;
  for (const auto& e : fs::directory_iterator(results))
    leftovers += e.path().filename().string().find(".txt.") != std::string::npos;
  EXPECT_EQ(leftovers, 0);

  // A result folder that does not exist: the message, then the folder dialog.
  ui.shown.clear();
  doc.fixedResultFolder = (home / "gone").string();
  fs::remove(results / "plate1.txt");
  doc.SaveExperiment();
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{kResultFolderMissing, kSaveCancelled}));
  EXPECT_EQ(ui.shown[1].kind, FRONTEND::ScriptedFrontend::Kind::ResultFolderDialog);
  EXPECT_FALSE(doc.saved);
}

TEST_F(AnalysisTest, NoEverywhereAndAutoWithoutPlants) {
  KW_SciDoc doc;
  doc.setFrontend(&ui);
  OpenPlate(doc, 300, 5);
  doc.AutoPrepare();
  doc.Skeletonize();
  doc.FindRoots();
  const int plants = doc.nbr_item;
  ASSERT_GT(plants, 0);
  for (int k = 0; k < plants; ++k) ui.isARootAnswers.push_back(Answer::No);
  doc.ConfirmRoots();
  EXPECT_EQ(doc.nbr_item, 0);
  EXPECT_EQ(rootstest::CountNonBlack(doc), 0);
  EXPECT_TRUE(doc.marks.isChecked(StepMark::ConfirmRoots));
  EXPECT_TRUE(doc.marks.isChecked(StepMark::FindRoots));

  // A plate without plants: an empty Confirm roots, then the message.
  KW_SciDoc empty;
  empty.setFrontend(&ui);
  rootstest::MakeBlack(empty, 300, 300);
  empty.fixedResultFolder = results.string();
  ui.shown.clear();
  empty.AutoRun();
  EXPECT_EQ(ui.messages().back(), kNoPlantDetected);
  EXPECT_FALSE(empty.saved);
  EXPECT_EQ(empty.threshold, 90);
  EXPECT_TRUE(fs::is_empty(results));
}

}  // namespace
