// The analysis of many pictures, from the bitmap to the saved result file
// and its exports: the work of morvane-batch analyze and of the desktop's
// Analyse folder, one run for both. Pictures are analysed on several
// threads at once; what each leaves (logs, trait rows, the observer's
// report) is handed over in the order of the pictures, as a run on one
// thread hands it over.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "roots/analysis_settings.h"

class MyBoxIsARoot;
class PixelPool;

struct FolderAnalysisOptions {
  std::vector<std::string> pictures;
  // The sample's fields, written into every result file.
  std::string user, experiment, box, genotype, media, age, resolution;
  // The folder of the result files, without a trailing "/" (see
  // PrepareFolderAnalysis).
  std::string results;
  // Where the RSML files and the overlay pictures go; empty: not written.
  std::string rsml, overlay;
  // Make B\W at this threshold with the noise-removal method named, instead
  // of Auto (the fixed pipeline only).
  std::optional<int> threshold;
  std::string method;
  // Replace existing result files instead of keeping them.
  bool overwrite = false;
  // Every plant is put to the observer (confirmPlant); one job then.
  bool confirm = false;
  // Pictures analysed at once; 0: one per core.
  int jobs = 0;
  AnalysisSettings settings;
  // The trait table to write; empty for none.
  std::string traits;
  // Each picture's outcome lists its plants (PictureOutcome::plantRows).
  bool plantSummaries = false;
  // The picture buffers the workers hand on to each other; may be null.
  std::shared_ptr<PixelPool> pixelPool;
};

// One plant of a saved picture, in centimetres.
struct PlantSummary {
  int plant = 0;  // 1-based, as in the result file
  double mainRootCm = 0.0;
  int lateralRoots = 0;  // laterals of the main root, as the result file counts them
  double lateralLengthCm = 0.0;
  std::string flags;  // "touches-edge;merged", empty for none
};

struct PictureOutcome {
  std::string picture;  // the path as given
  enum class State { Saved, Skipped, Failed } state = State::Failed;
  // Why it failed or was skipped; what a kept result file got.
  std::string problem;
  int plants = 0;
  double seconds = 0.0;
  std::vector<PlantSummary> plantRows;  // with plantSummaries, for a saved picture
  LogCapture logs;
  std::string traits;  // the picture's rows of the trait table
};

// What a run reports while it works. started and message come from the
// worker threads; finished comes one picture at a time, in the order of
// the pictures.
class FolderAnalysisObserver {
 public:
  FolderAnalysisObserver() = default;
  FolderAnalysisObserver(const FolderAnalysisObserver&) = delete;
  FolderAnalysisObserver& operator=(const FolderAnalysisObserver&) = delete;
  virtual ~FolderAnalysisObserver() = default;

  // A worker begins the picture.
  virtual void started(const std::string& /*picture*/) {}
  // A box of the picture's analysis says text (picture: the file's name).
  virtual void message(const std::string& /*picture*/, const std::string& /*text*/) {}
  // Is plant (1-based) of the picture a root? Asked with confirm only.
  virtual FRONTEND::Answer confirmPlant(const std::string& /*picture*/, int /*plant*/,
                                        const MyBoxIsARoot& /*box*/) {
    return FRONTEND::Answer::Yes;
  }
  // The picture is done and its logs written; done of total pictures.
  virtual void finished(const PictureOutcome& /*outcome*/, std::size_t /*done*/, std::size_t /*total*/) {}
};

struct FolderAnalysisSummary {
  std::size_t total = 0;  // pictures given
  std::size_t done = 0;   // pictures analysed: all of them unless cancelled
  int saved = 0, skipped = 0, failed = 0, plants = 0;
  int jobs = 0;
  bool cancelled = false;
  // The trait table's error, empty when it was written (or not asked for).
  std::string traitsError;
};

// Makes the result folder (cutting trailing "/" from options.results) and
// the export folders, and writes the trait table's header: nothing when
// the run may start, else what stands in the way.
std::optional<std::string> PrepareFolderAnalysis(FolderAnalysisOptions& options);

// Analyses options.pictures after PrepareFolderAnalysis. The logs of every
// picture go to the log files through logFrontend. When cancel turns true,
// no further picture is started: those begun are finished and saved, and
// the trait table holds the rows of the pictures done.
FolderAnalysisSummary RunFolderAnalysis(const FolderAnalysisOptions& options, FRONTEND::Frontend& logFrontend,
                                        FolderAnalysisObserver& observer,
                                        const std::atomic<bool>* cancel = nullptr);
