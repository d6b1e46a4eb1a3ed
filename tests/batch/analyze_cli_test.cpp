// morvane-batch analyze run as a program: result files and module logs do
// not depend on the number of jobs, and a run reports what it could not do.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "roots/result_file.h"
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
    EXPECT_EQ(ReadResultFile(e.path().string(), p), 1);
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

}  // namespace
