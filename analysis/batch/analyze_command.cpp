#include "batch/analyze_command.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "base/batch_frontend.h"
#include "base/kw_log.h"
#include "batch/analysis_options.h"
#include "batch/detail/analyze_options.h"
#include "database/kw_sql.h"
#include "roots/analysis_dialog_models.h"
#include "runs/folder_analysis.h"

const char* const kAnalyzeCommandUsage =
    "       morvane-batch analyze PICTURE... --resolution DPI [--user U --experiment E --box B --genotype G\n"
    "         --media M --age DAYS] [--results DIR] [--threshold T --method NAME] [--overwrite] [--confirm]\n"
    "         [--jobs N] [--lengths pixel|true] [--min-lateral CM] [--background dark|light|auto]\n"
    "         [--traits FILE.csv] [--shard K/N] [--rsml DIR] [--overlay DIR]\n"
    "         [--pipeline fixed|adaptive] [--plate find|frame|none] [--plate-height CM] [--scale "
    "PIXELS_PER_CM]\n";

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int fail(const std::string& text) { return AnalyzeFail(text); }

// The run on the terminal: each picture's messages on standard error with
// its name, the plants asked on the terminal (--confirm), and a line per
// picture, or on a terminal one line of progress rewritten.
class TerminalObserver : public FolderAnalysisObserver {
 public:
  void message(const std::string& picture, const std::string& text) override {
    std::fprintf(stderr, "morvane-batch: %s: %s\n", picture.c_str(), text.c_str());
  }
  FRONTEND::Answer confirmPlant(const std::string& picture, int plant, const MyBoxIsARoot& box) override {
    std::fprintf(stderr, "%s: Is this a root? (plant %d, %d x %d pixels) [y/n] ", picture.c_str(), plant,
                 box.pictureWidth(), box.pictureHeight());
    std::string answer;
    if (!std::getline(std::cin, answer)) return FRONTEND::Answer::Cancel;
    return !answer.empty() && (answer[0] == 'n' || answer[0] == 'N') ? FRONTEND::Answer::No
                                                                     : FRONTEND::Answer::Yes;
  }
  void finished(const PictureOutcome& o, std::size_t committed, std::size_t total) override {
    m_plants += o.plants;
    const std::string name = fs::path(o.picture).filename().string();
    if (o.state == PictureOutcome::State::Failed)
      std::fprintf(stderr, "morvane-batch: %s: %s\n", name.c_str(), o.problem.c_str());
    if (m_terminal) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - m_start).count();
      const double left = elapsed / static_cast<double>(committed) * static_cast<double>(total - committed);
      std::printf("\r%zu/%zu pictures, %d plants, %.0f s elapsed, %.0f s left   ", committed, total, m_plants,
                  elapsed, left);
    } else if (o.state == PictureOutcome::State::Skipped) {
      std::printf("%s: skipped, %s\n", name.c_str(), o.problem.c_str());
    } else {
      std::printf("%s: %d plants, %.2f s%s%s\n", name.c_str(), o.plants, o.seconds,
                  o.state == PictureOutcome::State::Failed ? ", " : "",
                  o.state == PictureOutcome::State::Failed ? o.problem.c_str() : "");
    }
    std::fflush(stdout);
  }
  bool terminal() const { return m_terminal; }
  Clock::time_point start() const { return m_start; }

 private:
  const bool m_terminal = ::isatty(::fileno(stdout)) != 0;
  const Clock::time_point m_start = Clock::now();
  int m_plants = 0;
};

}  // namespace

int RunAnalyzeCommand(const std::vector<std::string>& args) {
  // The run's own boxes: on standard error, every question with its default.
  FRONTEND::BatchFrontend frontend;
  AnalyzeOptions options;
  if (const auto status = ParseAnalyzeOptions(args, options)) return *status;
  if (options.run.results.empty()) {
    const auto folder = KW_Log::Result_Folder_Path(frontend);
    if (!folder) return fail("no result folder: give --results DIR");
    options.run.results = *folder;
  }
  FolderAnalysisOptions run = options.RunOptions();
  if (const auto problem = PrepareFolderAnalysis(run)) return fail(*problem);
  if (run.pictures.empty() && options.measure.shard) {
    std::printf("shard %d/%d holds no picture\n", options.measure.shard->index, options.measure.shard->count);
    return 0;
  }

  // Every picture of a run carries the same genotype and media: recorded in
  // the database once, here, and not by each picture's thread (the client
  // library must not be set up from two threads at once).
  KW_SQL::Add_Genotype(frontend, run.genotype);
  KW_SQL::Add_Media(frontend, run.media);

  TerminalObserver observer;
  const FolderAnalysisSummary s = RunFolderAnalysis(run, frontend, observer);
  if (!s.traitsError.empty()) fail(s.traitsError);
  const double elapsed = std::chrono::duration<double>(Clock::now() - observer.start()).count();
  if (observer.terminal()) std::printf("\n");
  std::printf("%zu pictures: %d saved, %d skipped, %d failed; %d plants; %.1f s with %d jobs\n", s.total,
              s.saved, s.skipped, s.failed, s.plants, elapsed, s.jobs);
  return s.failed == 0 && s.traitsError.empty() ? 0 : 1;
}
