// Complete analyses: calibration records, the analysis dialogs' rules, the
// result file written and read back, and the commands that confirm, save
// and run the automatic sequences.
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

namespace {

using FRONTEND::Answer;
namespace fs = std::filesystem;

// Answers the image information dialog as a user typing these texts.
std::function<bool(MyBoxInfoGeneral&)> Typing(const std::string& resolution,
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

// ---- calibration

TEST_F(AnalysisTest, CalibrationFilesAndTheirReading) {
  KW_SciDoc doc;
  doc.setFrontend(&ui);
  doc.pictureName = "plate1";
  doc.threshold = 90;
  doc.erosionMethod = "Gaussian2";
  doc.loadTime = "Tue Dec  8 09:00:00 2026\n";
  for (int k = 0; k < 10; ++k) doc.WriteCalibration();
  EXPECT_EQ(readLog("LOG_calib.param"), "Threshold : 90 \tErosion Method : Gaussian2 ");
  const std::string history = readLog("Calibration_parameters.txt");
  const std::string record = history.substr(0, history.find("-------------------------------------") + 39);
  const std::string head =
      "plate1 \n\tThreshold : 90 \n\tErosion Method : Gaussian2 \n\tTime start : Tue Dec  8 09:00:00 2026\n "
      "\tTime end : ";
  EXPECT_EQ(record.substr(0, head.size()), head);
  // The save time in asctime form with its own line feed, a blank, the separator.
  EXPECT_EQ(record.size(), head.size() + 25 + 41);
  EXPECT_EQ(record.substr(record.size() - 42), "\n \n------------------------------------- \n");
  EXPECT_EQ(history.size(), record.size() * 10);
  CalibrationParameters p = ReadCalibration(ui);
  EXPECT_TRUE(p.found);
  EXPECT_EQ(p.threshold, 90);
  EXPECT_EQ(p.method, "Gaussian2");

  // Position 11 is the blank: a four-digit threshold keeps three digits.
  EXPECT_EQ(ParseCalibrationLine(CalibrationLastLine(1000, "Average")).threshold, 100);
  EXPECT_EQ(ParseCalibrationLine("Threshold : 150 \tErosion Method : Gaussian ").method, "Gaussian");
  EXPECT_EQ(ParseCalibrationLine("Threshold : 150 \tErosion Method : Pyramide Shaped ").method,
            "Pyramide Shaped");
  EXPECT_EQ(ParseCalibrationLine("Threshold : 7").threshold, 7);
  EXPECT_EQ(ParseCalibrationLine("Threshold : 70 \tErosion Method : none").method, "Original");
  EXPECT_TRUE(ui.messages().empty());

  fs::remove(logFolder() / "LOG_calib.param");
  p = ReadCalibration(ui);
  EXPECT_FALSE(p.found);
  EXPECT_EQ(p.threshold, 90);
  EXPECT_EQ(p.method, "Original");
  EXPECT_EQ(ui.messages(), std::vector<std::string>{std::string(kCalibrationNotFound)});
}

TEST_F(AnalysisTest, ReusePreviousRecordsWhatItApplies) {
  fs::create_directories(logFolder());
  testenv::WriteFile(logFolder() / "LOG_calib.param", CalibrationLastLine(150, "Gaussian2"));
  KW_SciDoc doc;
  doc.setFrontend(&ui);
  OpenPlate(doc, 300, 4);
  // The picture binarised at the recalled threshold, kept within 40..120.
  KW_SciDoc twin;
  twin.setFrontend(&ui);
  OpenPlate(twin, 300, 4, "twin");
  ::Binarise(twin.pixels.data(), twin.pixels.data(), twin.width, twin.height, 120);
  twin.RemoveBox();
  twin.ApplyVoteFilter(VoteMethodIndex("Gaussian2"));
  twin.CutMargins();
  twin.Dilate();
  doc.ReusePrevious();
  EXPECT_EQ(doc.threshold, 120);
  EXPECT_EQ(doc.erosionMethod, "Gaussian2");
  EXPECT_EQ(doc.pixels, twin.pixels);
  EXPECT_TRUE(doc.marks.isChecked(StepMark::Dilate));
}

// ---- dialog models

TEST(AnalysisDialogs, RulesOfTheFourDialogs) {
  // 150 x 400 opens 202 wide and 476 high; wide plants get 20 pixels more.
  std::vector<std::uint32_t> sub(std::size_t{150} * 400U, 0U);
  sub[0] = 7U;                               // bottom-left pixel of the plant's copy
  sub[std::size_t{150} * 399U + 149U] = 9U;  // top-right
  const MyBoxIsARoot box(sub, 150, 400);
  EXPECT_EQ(box.dialogWidth(), 202);
  EXPECT_EQ(box.dialogHeight(), 476);
  EXPECT_EQ(MyBoxIsARoot::DialogWidth(187), 207);
  EXPECT_EQ(box.picture()[149], 9U);  // shown upright: the top row first
  EXPECT_EQ(box.picture()[std::size_t{150} * 399U], 7U);
  EXPECT_EQ(MyBoxIsARoot(std::vector<std::uint32_t>(3, 1U), 4, 4).picture().size(), 16U);  // short copy

  ResultFileExistBox exists("plate1");
  EXPECT_EQ(exists.edited, "plate1");
  exists.edited = "plate1b";
  exists.overwrite();
  EXPECT_EQ(exists.resultName(), "plate1");
  exists.ok();
  EXPECT_EQ(exists.resultName(), "plate1b");
  exists.edited = std::string(300, 'x');
  exists.ok();
  EXPECT_EQ(exists.resultName().size(), 149U);

  MyBoxInfoGeneral info;
  EXPECT_EQ(MyBoxInfoGeneral::DigitsOnly("6a0-0"), "600");
  info.user = std::string(400, 'u');
  info.ok();
  EXPECT_EQ(info.user.size(), 249U);
  EXPECT_FALSE(info.complete);  // no resolution
  EXPECT_FALSE(info.resolutionRefused());
  info.resolution = "0";
  info.ok();
  EXPECT_FALSE(info.complete);
  EXPECT_TRUE(info.resolutionRefused());
  info.resolution = "600";
  info.ok();
  EXPECT_TRUE(info.complete);
  EXPECT_EQ(info.resolutionDpi(), 600);

  EXPECT_EQ(ResultBox::ElideMiddle("/home/ana/results", 9), "/ho...lts");
  EXPECT_EQ(ResultBox::ElideMiddle("/r", 9), "/r");
}

// The database's names as a list in memory, with every addition recorded.
class ListedNames : public SampleNames {
 public:
  std::vector<std::string> genotypes;
  std::vector<std::string> media;
  std::vector<std::string> added;

  std::vector<std::string> genotypeNames(FRONTEND::Frontend& /*frontend*/) override { return genotypes; }
  std::vector<std::string> mediaNames(FRONTEND::Frontend& /*frontend*/) override { return media; }
  void addGenotype(FRONTEND::Frontend& /*frontend*/, std::string_view name) override {
    added.push_back("genotype " + std::string(name));
  }
  void addMedia(FRONTEND::Frontend& /*frontend*/, std::string_view name) override {
    added.push_back("media " + std::string(name));
  }
};

// A document measured as far as a save needs: one plant with its tree.
void ReadyToSave(KW_SciDoc& doc, const std::string& title, const fs::path& folder) {
  doc.title = title;
  doc.fixedResultFolder = folder.string();
  doc.nbr_item = doc.nbr_root = 1;
  doc.item.resize(1);
  doc.root.resize(1);
}

TEST_F(AnalysisTest, TheImageInformationListsAndASaveRecordTheDocumentsNames) {
  const auto names = std::make_shared<ListedNames>();
  names->genotypes = {"Ws", "Col-0", "Ler"};
  names->media = {"MS", "Agar"};
  MyBoxInfoGeneral listed(names.get());
  listed.open(ui);
  EXPECT_EQ(listed.genotypeList(), (std::vector<std::string>{"Col-0", "Ler", "Ws"}));
  EXPECT_EQ(listed.mediaList(), (std::vector<std::string>{"Agar", "MS"}));
  // Opening again lists the names as they are then, not twice.
  names->media = {"B5"};
  listed.open(ui);
  EXPECT_EQ(listed.mediaList(), std::vector<std::string>{"B5"});
  MyBoxInfoGeneral without;
  without.open(ui);
  EXPECT_TRUE(without.genotypeList().empty());
  EXPECT_TRUE(without.mediaList().empty());

  // The dialog of a save lists the document's names; the save records the
  // typed genotype and media once the file is complete.
  KW_SciDoc doc;
  doc.setFrontend(&ui);
  ReadyToSave(doc, "named", results);
  doc.sampleNames = names;
  std::vector<std::string> shownGenotypes;
  ui.infoGeneralScripts.push_back([&](MyBoxInfoGeneral& box) {
    box.open(ui);
    shownGenotypes = box.genotypeList();
    return Typing("600", "Ler")(box);
  });
  doc.WriteResultFile();
  ASSERT_TRUE(doc.saved);
  EXPECT_EQ(shownGenotypes, (std::vector<std::string>{"Col-0", "Ler", "Ws"}));
  EXPECT_EQ(names->added, (std::vector<std::string>{"genotype Ler", "media MS"}));

  // Nothing is recorded when the caller records the names itself, nor when
  // the image information is cancelled or refused.
  names->added.clear();
  KW_SciDoc batch;
  batch.setFrontend(&ui);
  ReadyToSave(batch, "batch", results);
  batch.sampleNames = names;
  batch.recordNames = false;
  ui.infoGeneralScripts.push_back(Typing("600"));
  batch.WriteResultFile();
  EXPECT_TRUE(batch.saved);
  KW_SciDoc cancelled;
  cancelled.setFrontend(&ui);
  ReadyToSave(cancelled, "cancelled", results);
  cancelled.sampleNames = names;
  ui.infoGeneralScripts.push_back([](MyBoxInfoGeneral&) { return false; });
  cancelled.WriteResultFile();
  EXPECT_FALSE(cancelled.saved);
  KW_SciDoc refused;
  refused.setFrontend(&ui);
  ReadyToSave(refused, "refused", results);
  refused.sampleNames = names;
  ui.infoGeneralScripts.push_back(Typing("0"));
  refused.WriteResultFile();
  EXPECT_FALSE(refused.saved);
  EXPECT_TRUE(names->added.empty());

  // Without names a save still writes its file.
  KW_SciDoc alone;
  alone.setFrontend(&ui);
  ReadyToSave(alone, "alone", results);
  ui.infoGeneralScripts.push_back(Typing("600"));
  alone.WriteResultFile();
  EXPECT_TRUE(alone.saved);
  EXPECT_NE(resultText("alone").find("Genotype: Col-0"), std::string::npos);
}

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

  // Cancel in the Warning! dialog: the old file stays, nothing is said.
  ui.resultFileExistScripts.push_back([](ResultFileExistBox&) { return Answer::Cancel; });
  doc.SaveExperiment();
  EXPECT_FALSE(doc.saved);
  EXPECT_EQ(resultText(), "old result\n");
  EXPECT_TRUE(ui.messages().empty());

  // Another name, then a resolution of 0: refused with a message, only the
  // picture's name in the file, not saved.
  ui.resultFileExistScripts.push_back([](ResultFileExistBox& b) {
    b.edited = "plate1-again";
    b.ok();
    return Answer::Yes;
  });
  ui.infoGeneralScripts.push_back(Typing("0"));
  doc.SaveExperiment();
  EXPECT_FALSE(doc.saved);
  EXPECT_EQ(resultText("plate1-again"), "plate1-again");
  EXPECT_EQ(ui.messages(), std::vector<std::string>{kResolutionNeeded});
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
  EXPECT_EQ(ui.messages(), std::vector<std::string>{kResultFolderMissing});
  EXPECT_EQ(ui.shown.back().kind, FRONTEND::ScriptedFrontend::Kind::ResultFolderDialog);
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
