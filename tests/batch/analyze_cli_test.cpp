// morvane-batch analyze run as a program: result files and module logs do
// not depend on the number of jobs, and a run reports what it could not do.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "base/frontend.h"
#include "roots/overlay_picture.h"
#include "roots/result_file.h"
#include "support/png_reader.h"
#include "support/rsml_reader.h"
#include "support/test_env.h"
#include "synth/synth_plate.h"

namespace {

namespace fs = std::filesystem;

class AnalyzeProgramTest : public testenv::HomeTest {
 protected:
  // Runs analyze with its own program folder; the exit status.
  int analyze(const fs::path& programHome, const std::string& arguments, std::string* out = nullptr) {
    const fs::path outFile = programHome / "stdout.txt";
    fs::create_directories(programHome);
    const std::string command = "MORVANE_HOME='" + programHome.string() + "' '" + MORVANE_BATCH_PROGRAM +
                                "' analyze " + arguments + " >'" + outFile.string() + "' 2>'" +
                                (programHome / "stderr.txt").string() + "'";
    const int raw = std::system(command.c_str());
    if (out != nullptr) *out = testenv::ReadFile(outFile);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  void makePlates(const fs::path& folder, int count) {
    fs::create_directories(folder / "sub");
    for (int k = 0; k < count; ++k) {
      synth::PlateOptions o;
      o.seed = static_cast<std::uint32_t>(20 + k);
      o.plants = 3;
      std::string error;
      const fs::path bmp = folder / (k % 2 == 0 ? "" : "sub") / ("p" + std::to_string(k) + ".bmp");
      ASSERT_EQ(synth::WritePlate(synth::MakePlate(o), o, bmp.string(),
                                  (folder / ("t" + std::to_string(k))).string(), error, 8),
                1);
    }
  }
};

TEST_F(AnalyzeProgramTest, JobsChangeNeitherResultsNorLogs) {
  makePlates(home / "plates", 4);
  const std::string common =
      "'" + (home / "plates").string() + "' --resolution 300 --user ana --age 4 --results ";
  std::string out;
  ASSERT_EQ(analyze(home / "one", common + "'" + (home / "one/res").string() + "' --jobs 1", &out), 0) << out;
  ASSERT_EQ(analyze(home / "two", common + "'" + (home / "two/res").string() + "' --jobs 2"), 0);
  EXPECT_NE(out.find("4 pictures: 4 saved, 0 skipped, 0 failed"), std::string::npos) << out;

  int files = 0;
  for (const auto& e : fs::directory_iterator(home / "one/res")) {
    ++files;
    EXPECT_EQ(testenv::ReadFile(e.path()), testenv::ReadFile(home / "two/res" / e.path().filename()));
    INFO_PICTURE p;
    EXPECT_EQ(ReadResultFile(FRONTEND::DefaultFrontend(), e.path().string(), p), 1);
    EXPECT_EQ(p.nbr, 3);
    EXPECT_EQ(p.user, "ana");
  }
  EXPECT_EQ(files, 4);
  // The logs are the same, but for the times of the calibration history.
  const std::regex times("Time (start|end) : [^\n]*\n");
  for (const auto& e : fs::directory_iterator(home / "one/Log")) {
    const std::string name = e.path().filename().string();
    const std::string two = std::regex_replace(testenv::ReadFile(home / "two/Log" / name), times, "");
    EXPECT_EQ(std::regex_replace(testenv::ReadFile(e.path()), times, ""),
              std::regex_replace(two, std::regex("/two/res/"), "/one/res/"))
        << name;
  }
  const std::string history = testenv::ReadFile(home / "two/Log/Calibration_parameters.txt");
  EXPECT_LT(history.find("p0 \n"), history.find("p2 \n"));
  EXPECT_LT(history.find("p2 \n"), history.find("p1 \n"));  // the folder's own pictures before sub/

  // A second run keeps the files; --overwrite writes them again.
  ASSERT_EQ(analyze(home / "one", common + "'" + (home / "one/res").string() + "'", &out), 0);
  EXPECT_NE(out.find("4 skipped"), std::string::npos) << out;
}

TEST_F(AnalyzeProgramTest, UnreadablePicturesAndBadOptionsAreReported) {
  makePlates(home / "plates", 1);
  testenv::WriteFile(home / "plates/broken.bmp", "BM not a bitmap");
  std::string out;
  EXPECT_EQ(analyze(home / "run",
                    "'" + (home / "plates").string() +
                        "' --resolution 300 --threshold 90 --method Gaussian2 --results '" +
                        (home / "run/res").string() + "'",
                    &out),
            1);
  EXPECT_NE(out.find("2 pictures: 1 saved, 0 skipped, 1 failed"), std::string::npos) << out;
  EXPECT_NE(testenv::ReadFile(home / "run/stderr.txt").find("broken.bmp: cannot be read as a bitmap"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(home / "run/res/p0.txt"));
  EXPECT_EQ(analyze(home / "run", "'" + (home / "plates").string() + "' --resolution 0"), 2);
  EXPECT_EQ(analyze(home / "run", "'" + (home / "plates").string() + "' --resolution 300 --threshold 90"), 2);
}

// The lateral roots of a plant in the order of the result file.
void Flatten(const std::vector<INFO_LR>& branches, std::vector<const INFO_LR*>& out) {
  for (const INFO_LR& b : branches) {
    out.push_back(&b);
    Flatten(b.children, out);
  }
}

TEST_F(AnalyzeProgramTest, RsmlFilesAndOverlaysAgreeWithTheResultFiles) {
  MORVANE_REQUIRE_TESTDATA(rsml, "rsml");
  makePlates(home / "plates", 2);
  // A name with the characters XML must escape.
  fs::rename(home / "plates/p0.bmp", home / "plates/p&\"<0>.bmp");
  std::string out;
  ASSERT_EQ(
      analyze(home / "run",
              "'" + (home / "plates").string() + "' --resolution 300 --user 'Ann & Bo' --age 4 --results '" +
                  (home / "run/res").string() + "' --rsml '" + (home / "run/rsml").string() +
                  "' --overlay '" + (home / "run/overlay").string() + "'",
              &out),
      0)
      << out;
  int pictures = 0;
  for (const auto& e : fs::directory_iterator(home / "run/res")) {
    ++pictures;
    const std::string name = e.path().stem().string();
    INFO_PICTURE result;
    ASSERT_EQ(ReadResultFile(FRONTEND::DefaultFrontend(), e.path().string(), result), 1);
    const fs::path rsmlFile = home / "run/rsml" / (name + ".rsml");
    std::string said;
    EXPECT_TRUE(testenv::ValidatesAgainst(rsmlFile, rsml / "rsml.xsd", said)) << said;
    const auto file = testenv::ReadRsml(rsmlFile);
    ASSERT_TRUE(file.has_value()) << name;
    EXPECT_EQ(file->metadata.at("file-key"), name);
    EXPECT_EQ(file->metadata.at("user"), "Ann & Bo");
    EXPECT_EQ(file->metadata.at("unit"), "cm");
    EXPECT_EQ(file->sceneProperties.at("image-resolution"), "300");
    EXPECT_NEAR(std::stod(file->metadata.at("resolution")), 300 / 2.54, 1e-3);
    ASSERT_EQ(static_cast<int>(file->plants.size()), result.nbr);
    for (std::size_t t = 0; t < file->plants.size(); ++t) {
      EXPECT_EQ(file->plants[t].properties.at("age_of_plant"), "4");
      EXPECT_EQ(file->plants[t].properties.at("picture"), name);
      const INFO_MR& plant = result.arbre[t];
      const testenv::RsmlRoot& main = file->plants[t].roots.at(0);
      EXPECT_NEAR(std::stod(main.properties.at("length")), plant.main_length, 1e-5);
      EXPECT_NEAR(std::stod(main.properties.at("vector")), plant.main_straightness, 1e-5);
      EXPECT_NEAR(std::stod(main.properties.at("angle")), plant.main_angle, 1e-4);
      EXPECT_EQ(static_cast<int>(main.children.size()), plant.nbr_secondary_root);
      std::vector<const INFO_LR*> laterals;
      Flatten(plant.children, laterals);
      const auto roots = testenv::PreOrder(file->plants[t]);
      ASSERT_EQ(roots.size(), laterals.size() + 1) << name << " plant " << t + 1;
      for (std::size_t k = 0; k < laterals.size(); ++k) {
        const testenv::RsmlRoot& r = *roots[k + 1];
        EXPECT_NEAR(std::stod(r.properties.at("length")), laterals[k]->length, 1e-5);
        EXPECT_NEAR(std::stod(r.properties.at("parent-position")), laterals[k]->position, 1e-5);
        EXPECT_NEAR(std::stod(r.properties.at("angle")), laterals[k]->angle, 1e-4);
        EXPECT_EQ(static_cast<int>(r.children.size()), laterals[k]->nbr_child);
      }
    }
    const auto png = testenv::ReadPng(home / "run/overlay" / (name + ".png"));
    ASSERT_TRUE(png.has_value()) << name;
    for (std::size_t i = 0; i < static_cast<std::size_t>(result.nbr); ++i)
      EXPECT_NE(std::find(png->argb.begin(), png->argb.end(), 0xFF000000U | OverlayPlantColour(i)),
                png->argb.end());
  }
  EXPECT_EQ(pictures, 2);
  // No leftovers of the files written under temporary names.
  for (const char* folder : {"run/rsml", "run/overlay"}) {
    int files = 0;
    for (const auto& e : fs::directory_iterator(home / folder)) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2) << folder;
  }
  EXPECT_EQ(analyze(home / "run", "'" + (home / "plates").string() + "' --resolution 300 --rsml"), 2);
}

TEST_F(AnalyzeProgramTest, ARerunWritesTheExportsAKeptResultFileLacksAndClearsLeftovers) {
  makePlates(home / "plates", 2);
  const std::string run = "'" + (home / "plates").string() + "' --resolution 300 --results '" +
                          (home / "res").string() + "' --rsml '" + (home / "rsml").string() +
                          "' --overlay '" + (home / "overlay").string() + "' --traits '" +
                          (home / "new/folder/t.csv").string() + "'";
  std::string out;
  // A folder that does not exist is made for the trait table as for the others.
  ASSERT_EQ(analyze(home / "run", run, &out), 0) << out;
  EXPECT_TRUE(fs::exists(home / "new/folder/t.csv"));
  const std::string result = testenv::ReadFile(home / "res/p0.txt");
  const std::string overlay = testenv::ReadFile(home / "overlay/p0.png");
  // A run killed while writing: the RSML file and the overlay of p0 are
  // missing, a temporary file of each lies beside them; a young temporary
  // file of p1 may be another run's write in progress.
  fs::remove(home / "rsml/p0.rsml");
  fs::remove(home / "overlay/p0.png");
  for (const char* leftover : {"rsml/p0.rsml.Ab3dE9", "overlay/p0.png.x0x0x0", "res/p0.txt.QQQQQQ"}) {
    testenv::WriteFile(home / leftover, "half");
    fs::last_write_time(home / leftover, fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  testenv::WriteFile(home / "rsml/p1.rsml.Young1", "half");
  ASSERT_EQ(analyze(home / "run", run, &out), 0) << out;
  EXPECT_NE(out.find("p0.bmp: skipped, result file exists, kept; wrote its RSML file and overlay picture"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("p1.bmp: skipped, result file exists, kept\n"), std::string::npos) << out;
  EXPECT_EQ(testenv::ReadFile(home / "res/p0.txt"), result);
  EXPECT_EQ(testenv::ReadFile(home / "overlay/p0.png"), overlay);
  EXPECT_TRUE(testenv::ReadRsml(home / "rsml/p0.rsml").has_value());
  for (const char* gone : {"rsml/p0.rsml.Ab3dE9", "overlay/p0.png.x0x0x0", "res/p0.txt.QQQQQQ"})
    EXPECT_FALSE(fs::exists(home / gone)) << gone;
  EXPECT_TRUE(fs::exists(home / "rsml/p1.rsml.Young1"));
  // Nothing of the scratch analysis stays in the result folder.
  int entries = 0;
  for (const auto& e : fs::directory_iterator(home / "res"))
    entries += e.path().extension() == ".txt" ? 1 : 2;
  EXPECT_EQ(entries, 2);
  // An output folder that cannot be made stops the run before any picture.
  testenv::WriteFile(home / "file", "x");
  EXPECT_EQ(
      analyze(home / "run", "'" + (home / "plates").string() + "' --resolution 300 --results '" +
                                (home / "res").string() + "' --overlay '" + (home / "file/o").string() + "'"),
      2);
}

}  // namespace
