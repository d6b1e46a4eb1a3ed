// Two analyze runs into one results folder at once, on overlapping lists of
// pictures: each picture both runs take is saved by one and kept by the
// other (who writes the exports it lacks, if any), and every file either
// leaves is whole.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/batch_frontend.h"
#include "roots/analysis_dialog_models.h"
#include "roots/result_file.h"
#include "roots/result_writer.h"
#include "runs/folder_analysis.h"
#include "support/png_reader.h"
#include "support/rsml_reader.h"
#include "support/test_env.h"
#include "synth/synth_plate.h"

namespace {

namespace fs = std::filesystem;

// Steps the two runs have reached ("A confirms p2", "B finished p3"), for
// one run to wait on the other at a chosen point.
class Steps {
 public:
  void reach(const std::string& step) {
    {
      const std::lock_guard<std::mutex> hold(m_lock);
      m_reached.insert(step);
    }
    m_changed.notify_all();
  }
  // False when step is not reached within a minute: the other run is stuck
  // or never gets there, and the test fails instead of hanging.
  bool await(const std::string& step) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::minutes(1), [&] { return m_reached.count(step) != 0; });
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::set<std::string> m_reached;
};

// One run's observer. At three points of a picture's analysis it says
// where it is ("A starts p2") and waits for what gates lists there, if
// anything: "starts", before the run looks for the picture's result file;
// "confirms", once it found none and before it saves; "saved", once its
// result file is written and before its exports are.
class GatedObserver : public FolderAnalysisObserver {
 public:
  GatedObserver(std::string run, Steps& steps, std::map<std::string, std::string> gates)
      : m_run(std::move(run)), m_steps(steps), m_gates(std::move(gates)) {}

  void started(const std::string& picture) override { at("starts", picture); }
  FRONTEND::Answer confirmPlant(const std::string& picture, int plant, const MyBoxIsARoot&) override {
    if (plant == 1) at("confirms", picture);
    return FRONTEND::Answer::Yes;
  }
  void message(const std::string& picture, const std::string& text) override {
    if (text == kExperimentSaved) at("saved", picture);
  }
  void finished(const PictureOutcome& outcome, std::size_t, std::size_t) override {
    const std::string name = fs::path(outcome.picture).stem().string();
    m_outcomes[name] = outcome.state == PictureOutcome::State::Saved     ? "saved"
                       : outcome.state == PictureOutcome::State::Skipped ? "skipped: " + outcome.problem
                                                                         : "failed: " + outcome.problem;
    m_steps.reach(m_run + " finished " + name);
  }
  std::map<std::string, std::string> outcomes() const { return m_outcomes; }
  std::vector<std::string> stuck() const { return m_stuck; }

 private:
  void at(const std::string& point, const std::string& picture) {
    const std::string here = point + " " + fs::path(picture).stem().string();
    m_steps.reach(m_run + " " + here);
    const auto gate = m_gates.find(here);
    if (gate != m_gates.end() && !m_steps.await(gate->second)) m_stuck.push_back(gate->second);
  }

  std::string m_run;
  Steps& m_steps;
  std::map<std::string, std::string> m_gates;  // "confirms p2" -> the step it waits for
  std::map<std::string, std::string> m_outcomes;
  std::vector<std::string> m_stuck;
};

class SharedResults : public testenv::HomeTest {};

}  // namespace

TEST_F(SharedResults, TwoRunsIntoOneFolderEachKeepWhatTheOtherSaved) {
  const fs::path plates = home / "plates";
  fs::create_directories(plates);
  std::vector<std::string> pictures;
  for (int k = 1; k <= 5; ++k) {
    synth::PlateOptions o;
    o.seed = static_cast<std::uint32_t>(40 + k);
    o.plants = 2;
    std::string error;
    const std::string name = "p" + std::to_string(k);
    pictures.push_back((plates / (name + ".bmp")).string());
    ASSERT_EQ(synth::WritePlate(synth::MakePlate(o), o, pictures.back(), (plates / name).string() + ".txt",
                                error, 8),
              1)
        << error;
  }
  const auto options = [&](std::vector<std::string> list) {
    FolderAnalysisOptions run;
    run.pictures = std::move(list);
    run.user = "demo";
    run.experiment = "shared";
    run.age = "7";
    run.resolution = "300";
    run.results = (home / "res").string();
    run.rsml = (home / "rsml").string();
    run.overlay = (home / "overlay").string();
    run.confirm = true;  // the observer's turn between the look for a result file and the save
    run.settings.lengths = LengthMode::True;
    return run;
  };
  FolderAnalysisOptions a = options({pictures[0], pictures[1], pictures[2], pictures[3]});
  FolderAnalysisOptions b = options({pictures[1], pictures[2], pictures[3], pictures[4]});
  ASSERT_FALSE(PrepareFolderAnalysis(a).has_value());
  ASSERT_FALSE(PrepareFolderAnalysis(b).has_value());

  // p2: B comes to it between A's result file and A's exports, and writes
  // the exports itself. p3 and p4: both runs find no result file; B saves
  // p3 first, A p4.
  Steps steps;
  GatedObserver observerA(
      "A", steps,
      {{"saved p2", "B finished p2"}, {"confirms p3", "B finished p3"}, {"confirms p4", "B confirms p4"}});
  GatedObserver observerB(
      "B", steps,
      {{"starts p2", "A saved p2"}, {"confirms p3", "A confirms p3"}, {"confirms p4", "A finished p4"}});
  FolderAnalysisSummary summaryA, summaryB;
  std::thread runA([&] {
    FRONTEND::BatchFrontend frontend;
    summaryA = RunFolderAnalysis(a, frontend, observerA);
  });
  {
    FRONTEND::BatchFrontend frontend;
    summaryB = RunFolderAnalysis(b, frontend, observerB);
  }
  runA.join();
  EXPECT_TRUE(observerA.stuck().empty() && observerB.stuck().empty());

  const std::string kept = "skipped: result file exists, kept";
  EXPECT_EQ(observerA.outcomes(), (std::map<std::string, std::string>{
                                      {"p1", "saved"}, {"p2", "saved"}, {"p3", kept}, {"p4", "saved"}}));
  EXPECT_EQ(observerB.outcomes(),
            (std::map<std::string, std::string>{{"p2", kept + "; wrote its RSML file and overlay picture"},
                                                {"p3", "saved"},
                                                {"p4", kept},
                                                {"p5", "saved"}}));
  EXPECT_EQ(summaryA.failed + summaryB.failed, 0);

  // Every file is whole: the result files, RSML files and overlays read
  // back, and agree on the plants; no file is left under a temporary name.
  for (int k = 1; k <= 5; ++k) {
    const std::string name = "p" + std::to_string(k);
    INFO_PICTURE result;
    ASSERT_EQ(ReadResultFile(FRONTEND::DefaultFrontend(), (home / "res" / (name + ".txt")).string(), result),
              1)
        << name;
    EXPECT_EQ(result.nbr, 2) << name;
    const auto rsml = testenv::ReadRsml(home / "rsml" / (name + ".rsml"));
    ASSERT_TRUE(rsml.has_value()) << name;
    EXPECT_EQ(static_cast<int>(rsml->plants.size()), result.nbr) << name;
    const auto png = testenv::ReadPng(home / "overlay" / (name + ".png"));
    ASSERT_TRUE(png.has_value()) << name;
    EXPECT_GT(png->width, 0) << name;
  }
  for (const char* folder : {"res", "rsml", "overlay"}) {
    int files = 0;
    for (const auto& e : fs::directory_iterator(home / folder)) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 5) << folder;
  }
}
