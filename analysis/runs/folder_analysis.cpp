#include "runs/folder_analysis.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "base/batch_frontend.h"
#include "image/step_dialog_models.h"
#include "roots/analysis_dialog_models.h"
#include "roots/plate_exports.h"
#include "roots/result_writer.h"
#include "roots/root_records.h"
#include "roots/sci_doc.h"
#include "roots/touching_plants.h"
#include "roots/trait_table.h"
#include "runs/picture_outputs.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Options = FolderAnalysisOptions;
using Outcome = PictureOutcome;

// The frontend of one picture: the dialogs answered from the options, the
// messages and the plants to confirm put to the observer.
class PictureFrontend : public FRONTEND::BatchFrontend {
 public:
  PictureFrontend(const Options& options, FolderAnalysisObserver& observer, std::string picture)
      : m_options(options), m_observer(observer), m_picture(std::move(picture)) {}

  void showMessage(const std::string& /*title*/, const std::string& text) override {
    m_observer.message(m_picture, text);
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
  FRONTEND::Answer isARoot(const MyBoxIsARoot& box) {
    if (!m_options.confirm) return FRONTEND::Answer::Yes;
    return m_observer.confirmPlant(m_picture, ++m_plant, box);
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
  FolderAnalysisObserver& m_observer;
  std::string m_picture;
  int m_plant = 0;
};

std::string TitleOf(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// A temporary file of an output older than this is left over from a run
// that was killed or failed; a younger one may be another run's write.
constexpr std::chrono::seconds kStaleAfter{120};

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

std::vector<PlantSummary> PlantSummaries(const KW_SciDoc& doc) {
  const double cm = static_cast<double>(doc.scale);
  std::vector<PlantSummary> rows;
  for (const RootTree& tree : doc.root) {
    PlantSummary row;
    row.plant = static_cast<int>(rows.size()) + 1;
    row.mainRootCm = tree.main_length * cm;
    row.lateralRoots = tree.nbr_LR;
    row.lateralLengthCm = MeasurePlantTraits(tree).firstOrderLength * cm;
    row.flags = PlantFlagsText(tree.flags);
    rows.push_back(std::move(row));
  }
  return rows;
}

// Confirmation, the result file and the exports of a document whose plants
// are found. missing: the exports a kept result file lacks (then only they
// are written); empty for a whole analysis.
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
  if (out.state == Outcome::State::Saved && !options.traits.empty())
    out.traits = TraitTableRows(doc, ExportsOf(options).metadata);
  if (out.state == Outcome::State::Saved && options.plantSummaries) out.plantRows = PlantSummaries(doc);
}

// The adaptive pipeline: the plate, the roots and the seedlings found in the
// picture; a picture without a plausible seedling fails with the reason.
void AnalyzeAdaptive(KW_SciDoc& doc, const Options& options, Outcome& out, const PictureOutputs& outputs,
                     const std::vector<std::string>& missing) {
  if (doc.AdaptivePrepare(out.problem) != 1) return;
  doc.FindRoots();
  if (doc.AdaptiveSelectPlants(out.problem) != 1) return;
  SaveFoundPlants(doc, options, out, outputs, missing);
}

Outcome AnalyzeOneOrFail(const std::string& path, const Options& options, FolderAnalysisObserver& observer) {
  Outcome out;
  out.picture = path;
  const auto start = Clock::now();
  {
    PictureFrontend frontend(options, observer, fs::path(path).filename().string());
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
    if (options.pixelPool) doc.pixelPool = options.pixelPool;
    // The colours of the plants do not change a measure; a fixed seed keeps
    // every run of a picture the same.
    doc.setColourSeed(1U);
    doc.fixedResultFolder = exportsOnly ? scratch.path() : options.results;
    // Recorded once for the run, before the workers start; the documents get
    // no sampleNames either, so no worker ever reaches the database.
    doc.recordNames = false;
    doc.settings = options.settings;
    doc.keepOpenedPicture = !options.overlay.empty();
    doc.showPlantPictures = options.confirm;
    if (!doc.OpenPicture(path)) {
      out.problem = doc.loadError == "not a readable bitmap" ? "cannot be read as a bitmap"
                                                             : "cannot be read: " + doc.loadError;
    } else if (options.settings.pipeline == Pipeline::Adaptive) {
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

// A picture that needs more memory than there is fails alone; the run goes on.
Outcome AnalyzeOne(const std::string& path, const Options& options, FolderAnalysisObserver& observer) {
  try {
    return AnalyzeOneOrFail(path, options, observer);
  } catch (const std::bad_alloc&) {
    Outcome out;
    out.picture = path;
    out.problem = "not enough memory";
    return out;
  }
}

}  // namespace

std::optional<std::string> PrepareFolderAnalysis(FolderAnalysisOptions& options) {
  std::error_code ec;
  if (!options.results.empty()) fs::create_directories(options.results, ec);
  if (options.results.empty() || !fs::is_directory(options.results, ec))
    return "cannot make the result folder " + options.results;
  while (options.results.size() > 1 && options.results.back() == '/') options.results.pop_back();
  // Every output folder asked for is made alike, before anything is written.
  for (const std::string& folder :
       {options.rsml, options.overlay,
        options.traits.empty() ? std::string() : fs::path(options.traits).parent_path().string()}) {
    std::string error;
    if (!folder.empty() && !MakeOutputFolder(folder, error)) return error;
  }
  if (!options.traits.empty()) {
    std::string error;
    if (!WriteFileWhole(options.traits, TraitTableHeader(), error))
      return "cannot write the trait table " + options.traits + ": " + error;
  }
  return std::nullopt;
}

FolderAnalysisSummary RunFolderAnalysis(const FolderAnalysisOptions& options, FRONTEND::Frontend& logFrontend,
                                        FolderAnalysisObserver& observer, const std::atomic<bool>* cancel) {
  FolderAnalysisSummary summary;
  const std::size_t total = options.pictures.size();
  summary.total = total;
  int jobs =
      options.jobs > 0 ? options.jobs : static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
  if (options.confirm) jobs = 1;
  jobs = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(jobs), total));
  summary.jobs = jobs;

  std::string traits = options.traits.empty() ? std::string() : TraitTableHeader();
  std::vector<std::optional<Outcome>> done(total);
  std::mutex commitLock;
  std::size_t next = 0;  // under commitLock

  // Pictures are handed over in their order: each one's logs are written
  // whole, after those of the pictures before it, as a run on one thread
  // writes them.
  auto commitReady = [&]() {
    while (summary.done < total && done[summary.done]) {
      Outcome& o = *done[summary.done];
      o.logs.Commit(logFrontend);
      traits += o.traits;
      summary.plants += o.plants;
      switch (o.state) {
        case Outcome::State::Saved:
          ++summary.saved;
          break;
        case Outcome::State::Skipped:
          ++summary.skipped;
          break;
        case Outcome::State::Failed:
          ++summary.failed;
          break;
      }
      ++summary.done;
      observer.finished(o, summary.done, total);
      done[summary.done - 1].reset();
    }
  };
  // The next picture to start; none once cancelled, so that the pictures
  // begun are always the first ones and all of them are handed over.
  auto take = [&]() -> std::optional<std::size_t> {
    const std::lock_guard<std::mutex> hold(commitLock);
    if (next >= total) return std::nullopt;
    if (cancel != nullptr && cancel->load()) {
      summary.cancelled = true;
      return std::nullopt;
    }
    return next++;
  };
  auto work = [&]() {
    while (const auto i = take()) {
      observer.started(options.pictures[*i]);
      Outcome o = AnalyzeOne(options.pictures[*i], options, observer);
      const std::lock_guard<std::mutex> hold(commitLock);
      done[*i] = std::move(o);
      commitReady();
    }
  };
  std::vector<std::thread> workers;
  for (int k = 1; k < jobs; ++k) workers.emplace_back(work);
  work();
  for (std::thread& t : workers) t.join();

  if (!options.traits.empty()) {
    std::string error;
    if (!WriteFileWhole(options.traits, traits, error))
      summary.traitsError = "cannot write the trait table " + options.traits + ": " + error;
  }
  return summary;
}
