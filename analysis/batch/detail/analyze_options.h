// The options of one analyze run, read from its command line
// (analyze_parse.cpp) and used by the run (analyze_command.cpp).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/analysis_options.h"
#include "image/pixel_pool.h"
#include "runs/folder_analysis.h"

struct AnalyzeOptions {
  // What the run takes; its settings and trait table are measure's, copied
  // in before the run (RunOptions).
  FolderAnalysisOptions run;
  MeasureOptions measure;
  AnalyzeOptions() { run.pixelPool = std::make_shared<PixelPool>(); }
  FolderAnalysisOptions RunOptions() const {
    FolderAnalysisOptions out = run;
    out.settings = measure.settings;
    out.traits = measure.traits;
    return out;
  }
};

// Says text on standard error after the program's name; returns 2, the
// status of a bad command line.
int AnalyzeFail(const std::string& text);

// Reads the command line into o: nothing when the run may go on, else the
// status to end with (0 after --help, 2 after a bad option, said with the
// usage).
std::optional<int> ParseAnalyzeOptions(const std::vector<std::string>& args, AnalyzeOptions& o);
