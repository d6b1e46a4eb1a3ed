#include "batch/analyze_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <tuple>

#include "base/batch_frontend.h"
#include "base/kw_log.h"
#include "batch/analysis_options.h"
#include "batch/command_line.h"
#include "batch/detail/analyze_options.h"
#include "batch/picture_outputs.h"
#include "database/kw_sql.h"
#include "image/picture_files.h"
#include "image/pixel_pool.h"
#include "image/step_dialog_models.h"
#include "image/vote_filter.h"
#include "roots/analysis_dialog_models.h"
#include "roots/plate_exports.h"
#include "roots/result_writer.h"
#include "roots/sci_doc.h"
#include "roots/touching_plants.h"
#include "roots/trait_table.h"

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

using Options = AnalyzeOptions;

int fail(const std::string& text) { return AnalyzeFail(text); }

// The frontend of one picture: the dialogs answered from the options, the
// messages on standard error with the picture's name.
class AnalyzeFrontend : public FRONTEND::BatchFrontend {
 public:
  AnalyzeFrontend(const Options& options, std::string picture)
      : m_options(options), m_picture(std::move(picture)) {}

  void showMessage(const std::string& /*title*/, const std::string& text) override {
    std::fprintf(stderr, "morvane-batch: %s: %s\n", m_picture.c_str(), text.c_str());
  }
  FRONTEND::FolderChoice chooseFolder(const std::string& /*title*/, const std::string& /*start*/) override {
    return {};
  }
  FRONTEND::Answer ask(const FRONTEND::DialogRequest& request) override {
    const auto answer = [](bool ok) { return ok ? FRONTEND::Answer::Yes : FRONTEND::Answer::Cancel; };
    return std::visit(FRONTEND::Overloaded{
                          [&](ThresholdModel* model) { return answer(threshold(*model)); },
                          [&](ErosionMethodModel* model) { return answer(model->select(m_options.method)); },
                          [&](MyBoxIsARoot* box) { return isARoot(*box); },
                          [&](MyBoxInfoGeneral* box) { return answer(infoGeneral(*box)); },
                          [&](ResultFileExistBox* box) { return resultFileExists(*box); },
                          [&](auto*) { return BatchFrontend::ask(request); }},
                      request);
  }

 private:
  bool threshold(ThresholdModel& model) const {
    model.setText(std::to_string(m_options.threshold.value_or(ThresholdModel::kOpening)));
    return true;
  }
  FRONTEND::Answer isARoot(MyBoxIsARoot& box) {
    if (!m_options.confirm) return FRONTEND::Answer::Yes;
    std::fprintf(stderr, "%s: Is this a root? (plant %d, %d x %d pixels) [y/n] ", m_picture.c_str(),
                 ++m_plant, box.pictureWidth(), box.pictureHeight());
    std::string answer;
    if (!std::getline(std::cin, answer)) return FRONTEND::Answer::Cancel;
    return !answer.empty() && (answer[0] == 'n' || answer[0] == 'N') ? FRONTEND::Answer::No
                                                                     : FRONTEND::Answer::Yes;
  }
  bool infoGeneral(MyBoxInfoGeneral& box) const {
    box.user = m_options.user;
    box.experiment = m_options.experiment;
    box.box = m_options.box;
    box.genotype = m_options.genotype;
    box.media = m_options.media;
    box.age = m_options.age;
    box.resolution = m_options.resolution;
    box.ok();
    return true;
  }
  FRONTEND::Answer resultFileExists(ResultFileExistBox& box) const {
    if (!m_options.overwrite) return FRONTEND::Answer::Cancel;
    box.overwrite();
    return FRONTEND::Answer::Yes;
  }

  const Options& m_options;
  std::string m_picture;
  int m_plant = 0;
};

struct Outcome {
  std::string picture;
  int plants = 0;
  double seconds = 0;
  enum class State { Saved, Skipped, Failed } state = State::Failed;
  std::string problem;
  LogCapture logs;
  std::string traits;  // the picture's rows of the trait table
};

std::string TitleOf(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

Outcome AnalyzeOneOrFail(const std::string& path, const Options& options);

// A temporary file of an output older than this is left over from a run
// that was killed or failed; a younger one may be another run's write.
constexpr std::chrono::seconds kStaleAfter{120};

// Confirmation, the result file and the exports of a document whose plants
// are found. missing: the exports a kept result file lacks (then only they
// are written); empty for a whole analysis.
void SaveFoundPlants(KW_SciDoc& doc, const Options& options, Outcome& out, const PictureOutputs& outputs,
                     const std::vector<std::string>& missing);

// The adaptive pipeline: the plate, the roots and the seedlings found in the
// picture; a picture without a plausible seedling fails with the reason.
void AnalyzeAdaptive(KW_SciDoc& doc, const Options& options, Outcome& out, const PictureOutputs& outputs,
                     const std::vector<std::string>& missing) {
  if (doc.AdaptivePrepare(out.problem) != 1) return;
  doc.FindRoots();
  if (doc.AdaptiveSelectPlants(out.problem) != 1) return;
  SaveFoundPlants(doc, options, out, outputs, missing);
}

PlateExports ExportsOf(const Options& o) {
  PlateExports e;
  e.rsmlFolder = o.rsml;
  e.overlayFolder = o.overlay;
  e.metadata.user = o.user;
  e.metadata.experiment = o.experiment;
  e.metadata.box = o.box;
  e.metadata.genotype = o.genotype;
  e.metadata.media = o.media;
  e.metadata.age = o.age;
  e.metadata.resolutionDpi = o.resolution;
  return e;
}

// A picture that needs more memory than there is fails alone; the run goes on.
Outcome AnalyzeOne(const std::string& path, const Options& options) {
  try {
    return AnalyzeOneOrFail(path, options);
  } catch (const std::bad_alloc&) {
    Outcome out;
    out.picture = path;
    out.problem = "not enough memory";
    return out;
  }
}

Outcome AnalyzeOneOrFail(const std::string& path, const Options& options) {
  Outcome out;
  out.picture = path;
  const auto start = Clock::now();
  {
    AnalyzeFrontend frontend(options, fs::path(path).filename().string());
    const PictureOutputs outputs = OutputsOf(TitleOf(path), options.results, options.rsml, options.overlay);
    RemoveStaleTemporaries(outputs, kStaleAfter);
    // A kept result file whose exports are all there is passed over; one
    // that lacks some gets them: the picture is analysed again into a
    // scratch folder, whose result file goes away with it.
    std::vector<std::string> missing;
    if (!options.overwrite && ::access(outputs.result.c_str(), F_OK) == 0) {
      missing = MissingExports(outputs);
      if (missing.empty()) {
        out.state = Outcome::State::Skipped;
        out.problem = "result file exists, kept";
        return out;
      }
    }
    const bool exportsOnly = !missing.empty();
    const ScratchFolder scratch(exportsOnly ? options.results : std::string());
    if (exportsOnly && scratch.path().empty()) {
      out.problem = "cannot make a scratch folder in " + options.results;
      return out;
    }
    KW_SciDoc doc;
    // The picture's dialogs are answered from the options, and its logs
    // gathered to be written whole, in the order of the pictures.
    doc.setFrontend(&frontend);
    doc.setLogCapture(&out.logs);
    doc.pixelPool = options.pixelPool;
    // The colours of the plants do not change a measure; a fixed seed keeps
    // every run of a picture the same.
    doc.setColourSeed(1U);
    doc.fixedResultFolder = exportsOnly ? scratch.path() : options.results;
    // Recorded once for the run, before the workers start; the documents get
    // no sampleNames either, so no worker ever reaches the database.
    doc.recordNames = false;
    doc.settings = options.measure.settings;
    doc.keepOpenedPicture = !options.overlay.empty();
    doc.showPlantPictures = options.confirm;
    if (!doc.OpenPicture(path)) {
      out.problem = doc.loadError == "not a readable bitmap" ? "cannot be read as a bitmap"
                                                             : "cannot be read: " + doc.loadError;
    } else if (options.measure.settings.pipeline == Pipeline::Adaptive) {
      AnalyzeAdaptive(doc, options, out, outputs, missing);
    } else {
      doc.ApplyBackground();
      int framed = 0;
      if (options.threshold) {
        doc.MakeBlackWhite();
        framed = doc.RemoveBox();
        if (framed == 1) {
          doc.RemoveNoise();
          doc.Dilate();
        }
      } else {
        framed = doc.AutoPrepare();
      }
      if (framed != 1) {
        out.problem = "no plate frame found";
      } else {
        doc.Skeletonize();
        doc.FindRoots();
        SaveFoundPlants(doc, options, out, outputs, missing);
      }
    }
  }
  out.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return out;
}

void SaveFoundPlants(KW_SciDoc& doc, const Options& options, Outcome& out, const PictureOutputs& outputs,
                     const std::vector<std::string>& missing) {
  const bool exportsOnly = !missing.empty();
  doc.ConfirmRoots();
  out.plants = doc.nbr_item;
  if (doc.nbr_item == 0) {
    out.problem = "no plants found";
    return;
  }
  doc.SaveExperiment();
  if (!doc.saved) {
    if (!options.overwrite && ::access(outputs.result.c_str(), F_OK) == 0) {
      // Another run into the same folder saved it meanwhile.
      out.state = Outcome::State::Skipped;
      out.problem = "result file exists, kept";
    } else {
      out.problem = "not saved";
    }
    return;
  }
  FlagMergedPlants(doc);
  PlateExports exports = ExportsOf(options);
  if (exportsOnly) {
    // Only what the kept result file lacks.
    std::error_code ec;
    if (fs::exists(outputs.rsml, ec)) exports.rsmlFolder.clear();
    if (fs::exists(outputs.overlay, ec)) exports.overlayFolder.clear();
  }
  const bool written = WritePlateExports(doc, exports, out.problem);
  out.state = !written      ? Outcome::State::Failed
              : exportsOnly ? Outcome::State::Skipped
                            : Outcome::State::Saved;
  if (written && exportsOnly) out.problem = "result file exists, kept; wrote its " + JoinedWithAnd(missing);
  if (out.state == Outcome::State::Saved && !options.measure.traits.empty())
    out.traits = TraitTableRows(doc, ExportsOf(options).metadata);
}

}  // namespace

int RunAnalyzeCommand(const std::vector<std::string>& args) {
  // The run's own boxes: on standard error, every question with its default.
  FRONTEND::BatchFrontend frontend;
  Options options;
  if (const auto status = ParseAnalyzeOptions(args, options)) return *status;
  if (options.results.empty()) {
    const auto folder = KW_Log::Result_Folder_Path(frontend);
    if (!folder) return fail("no result folder: give --results DIR");
    options.results = *folder;
  }
  std::error_code ec;
  fs::create_directories(options.results, ec);
  if (!fs::is_directory(options.results, ec)) return fail("cannot make the result folder " + options.results);
  while (options.results.size() > 1 && options.results.back() == '/') options.results.pop_back();
  // Every output folder asked for is made alike, before anything is written.
  for (const std::string& folder :
       {options.rsml, options.overlay,
        options.measure.traits.empty() ? std::string()
                                       : fs::path(options.measure.traits).parent_path().string()}) {
    std::string error;
    if (!folder.empty() && !MakeOutputFolder(folder, error)) return fail(error);
  }
  std::string traits;
  if (!options.measure.traits.empty()) {
    traits = TraitTableHeader();
    std::string error;
    if (!WriteFileWhole(options.measure.traits, traits, error))
      return fail("cannot write the trait table " + options.measure.traits + ": " + error);
  }
  if (options.pictures.empty() && options.measure.shard) {
    std::printf("shard %d/%d holds no picture\n", options.measure.shard->index, options.measure.shard->count);
    return 0;
  }

  const std::size_t total = options.pictures.size();
  int jobs =
      options.jobs > 0 ? options.jobs : static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
  if (options.confirm) jobs = 1;
  jobs = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(jobs), total));

  // Every picture of a run carries the same genotype and media: recorded in
  // the database once, here, and not by each picture's thread (the client
  // library must not be set up from two threads at once).
  KW_SQL::Add_Genotype(frontend, options.genotype);
  KW_SQL::Add_Media(frontend, options.media);

  const bool terminal = ::isatty(::fileno(stdout)) != 0;
  const auto start = Clock::now();
  std::vector<std::optional<Outcome>> done(total);
  std::size_t committed = 0;
  int saved = 0, skipped = 0, failed = 0, plants = 0;
  std::mutex commitLock;
  std::atomic<std::size_t> next{0};

  // Pictures are handed over in their order: each one's logs are written
  // whole, after those of the pictures before it, as a run on one thread
  // writes them.
  auto commitReady = [&]() {
    while (committed < total && done[committed]) {
      Outcome& o = *done[committed];
      o.logs.Commit(frontend);
      traits += o.traits;
      plants += o.plants;
      const std::string name = fs::path(o.picture).filename().string();
      switch (o.state) {
        case Outcome::State::Saved:
          ++saved;
          break;
        case Outcome::State::Skipped:
          ++skipped;
          break;
        case Outcome::State::Failed:
          ++failed;
          std::fprintf(stderr, "morvane-batch: %s: %s\n", name.c_str(), o.problem.c_str());
          break;
      }
      ++committed;
      if (terminal) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const double left = elapsed / static_cast<double>(committed) * static_cast<double>(total - committed);
        std::printf("\r%zu/%zu pictures, %d plants, %.0f s elapsed, %.0f s left   ", committed, total, plants,
                    elapsed, left);
      } else if (o.state == Outcome::State::Skipped) {
        std::printf("%s: skipped, %s\n", name.c_str(), o.problem.c_str());
      } else {
        std::printf("%s: %d plants, %.2f s%s%s\n", name.c_str(), o.plants, o.seconds,
                    o.state == Outcome::State::Failed ? ", " : "",
                    o.state == Outcome::State::Failed ? o.problem.c_str() : "");
      }
      std::fflush(stdout);
      done[committed - 1].reset();
    }
  };
  auto work = [&]() {
    for (std::size_t i = next++; i < total; i = next++) {
      Outcome o = AnalyzeOne(options.pictures[i], options);
      const std::lock_guard<std::mutex> hold(commitLock);
      done[i] = std::move(o);
      commitReady();
    }
  };
  std::vector<std::thread> workers;
  for (int k = 1; k < jobs; ++k) workers.emplace_back(work);
  work();
  for (std::thread& t : workers) t.join();

  bool traitsWritten = true;
  if (!options.measure.traits.empty()) {
    std::string error;
    traitsWritten = WriteFileWhole(options.measure.traits, traits, error);
    if (!traitsWritten) fail("cannot write the trait table " + options.measure.traits + ": " + error);
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  if (terminal) std::printf("\n");
  std::printf("%zu pictures: %d saved, %d skipped, %d failed; %d plants; %.1f s with %d jobs\n", total, saved,
              skipped, failed, plants, elapsed, jobs);
  return failed == 0 && traitsWritten ? 0 : 1;
}
