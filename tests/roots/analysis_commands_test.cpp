// Complete analyses: calibration records, the analysis dialogs' rules and
// the names a document is given.
#include <utility>
#include <variant>
#include <vector>

#include "base/batch_frontend.h"
#include "roots/analysis_fixture.h"

namespace {

using namespace analysistest;

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

// A frontend that looks at every "Is this a root?" picture, or at none.
class PictureTaker : public FRONTEND::BatchFrontend {
 public:
  explicit PictureTaker(bool look) : m_look(look) {}
  FRONTEND::Answer ask(const FRONTEND::DialogRequest& request) override {
    if (auto* const* box = std::get_if<MyBoxIsARoot*>(&request)) {
      sizes.emplace_back((*box)->pictureWidth(), (*box)->pictureHeight());
      if (m_look) pictures.push_back((*box)->picture());
      return FRONTEND::Answer::Yes;
    }
    return BatchFrontend::ask(request);
  }
  std::vector<std::pair<int, int>> sizes;
  std::vector<std::vector<std::uint32_t>> pictures;

 private:
  bool m_look;
};

TEST_F(AnalysisTest, ConfirmRootsShowsEachPlantWithThoseBeforeItYellowCuttingOneCopyAtATime) {
  KW_SciDoc doc;
  OpenPlate(doc, 300, 4);
  ASSERT_EQ(doc.AutoPrepare(), 1);
  doc.Skeletonize();
  doc.FindRoots();
  ASSERT_GT(doc.nbr_item, 1);
  // What the plants' own copies hold: each walk painted yellow in turn on
  // the picture as found, the plant's bounding box copied.
  KW_SciDoc twin;
  twin.width = doc.width;
  twin.height = doc.height;
  twin.pixels = doc.pixels;
  twin.item = doc.item;
  std::vector<std::vector<std::uint32_t>> expected;
  for (std::size_t i = 0; i < twin.item.size(); ++i) {
    for (const ContourPoint& p : twin.item[i].tab) twin.At(p.col, p.row) = 0xFFFF00U;
    twin.MakeSubPicture(static_cast<int>(i));
    expected.push_back(MyBoxIsARoot(twin.item[i].subPicture, twin.item[i].xdim, twin.item[i].ydim).picture());
  }
  KW_SciDoc other;
  other.width = doc.width;
  other.height = doc.height;
  other.pixels = doc.pixels;
  other.item = doc.item;
  other.nbr_item = doc.nbr_item;
  other.setColourSeed(1U);

  PictureTaker looking(true);
  doc.setFrontend(&looking);
  doc.ConfirmRoots();
  EXPECT_EQ(looking.pictures, expected);
  // Nobody looking: the same sizes asked about, the same plants kept.
  PictureTaker answering(false);
  other.setFrontend(&answering);
  other.showPlantPictures = false;
  other.ConfirmRoots();
  EXPECT_EQ(answering.sizes, looking.sizes);
  EXPECT_EQ(other.pixels, doc.pixels);

  // The copy is cut once, when the picture is first looked at.
  int cuts = 0;
  const MyBoxIsARoot lazy(
      [&cuts] {
        ++cuts;
        return std::vector<std::uint32_t>{1U, 2U};
      },
      2, 1);
  EXPECT_EQ(cuts, 0);
  EXPECT_EQ(lazy.picture(), (std::vector<std::uint32_t>{1U, 2U}));
  EXPECT_EQ(lazy.picture().size(), 2U);
  EXPECT_EQ(cuts, 1);
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

}  // namespace
