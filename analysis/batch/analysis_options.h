// The options of morvane-batch analyze that choose how plates are measured
// and which part of a screen a run takes: --lengths, --min-lateral,
// --background, --traits and --shard.
#pragma once

#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "roots/analysis_settings.h"

namespace CLI {
class App;
}

// The K-th (1-based) of N equal parts of a picture list.
struct Shard {
  int index = 1;
  int count = 1;
};

struct MeasureOptions {
  AnalysisSettings settings;
  std::string traits;  // the trait table to write; empty for none
  std::optional<Shard> shard;
};

// Reads "K/N" with 1 <= K <= N (whole numbers, N at most 100000).
std::optional<Shard> ParseShard(const std::string& text);

// The pictures of shard: the list sorted (so every machine of a cluster
// sees the same order), cut into N parts whose sizes differ by one at most,
// and the K-th of them.
std::vector<std::string> ShardPictures(std::vector<std::string> pictures, const Shard& shard);

// The values of these options as given on the command line.
struct MeasureOptionTexts {
  std::optional<std::string> lengths, minLateral, background, traits, shard;
};

// Declares the options on a command.
void AddMeasureOptions(CLI::App& command, MeasureOptionTexts& texts);

// Reads the values given into options: nothing when all are good, else the
// reason for the first bad one.
std::optional<std::string> ApplyMeasureOptions(const MeasureOptionTexts& texts, MeasureOptions& options);

// The options that choose the pipeline and, for the adaptive one, the area
// and the scale: --pipeline, --plate, --plate-height, --scale. The adaptive
// pipeline tells light from dark backgrounds itself unless a background was
// chosen (backgroundChosen).
struct PipelineOptionTexts {
  std::optional<std::string> pipeline, plate, plateHeight, scale;
};
void AddPipelineOptions(CLI::App& command, PipelineOptionTexts& texts);
std::optional<std::string> ApplyPipelineOptions(const PipelineOptionTexts& texts, AnalysisSettings& settings,
                                                bool backgroundChosen);

// A decimal number in the C conventions (a point, never a comma) within
// [lowest, highest]; nothing for anything else. format general also takes
// an exponent ("1e-1").
std::optional<double> DecimalNumber(const std::string& text, double lowest, double highest,
                                    std::chars_format format = std::chars_format::fixed);
