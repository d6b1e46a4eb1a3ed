// The options of morvane-batch analyze that choose how plates are measured
// and which part of a screen a run takes: --lengths, --min-lateral,
// --background, --traits and --shard.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "roots/analysis_settings.h"

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

// When args[i] is one of these options, reads it and its value (moving i on)
// into options and returns the empty text, or the reason when the value is
// bad; returns nothing when args[i] is another argument.
std::optional<std::string> ParseMeasureOption(const std::vector<std::string>& args, std::size_t& i,
                                              MeasureOptions& options);
