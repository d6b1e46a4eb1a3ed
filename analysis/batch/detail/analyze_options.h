// The options of one analyze run, read from its command line
// (analyze_parse.cpp) and used by the run (analyze_command.cpp).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/analysis_options.h"
#include "image/pixel_pool.h"

struct AnalyzeOptions {
  std::vector<std::string> pictures;
  std::string user, experiment, box, genotype, media, age, resolution;
  std::string results;
  // Where the RSML files and the overlay pictures go; empty: not written.
  std::string rsml, overlay;
  std::optional<int> threshold;
  std::string method;
  bool overwrite = false;
  bool confirm = false;
  int jobs = 0;
  MeasureOptions measure;
  // The picture buffers the workers hand on to each other.
  std::shared_ptr<PixelPool> pixelPool = std::make_shared<PixelPool>();
};

// Says text on standard error after the program's name; returns 2, the
// status of a bad command line.
int AnalyzeFail(const std::string& text);

// Reads the command line into o: nothing when the run may go on, else the
// status to end with (0 after --help, 2 after a bad option, said with the
// usage).
std::optional<int> ParseAnalyzeOptions(const std::vector<std::string>& args, AnalyzeOptions& o);
