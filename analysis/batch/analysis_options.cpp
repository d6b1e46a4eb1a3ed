#include "batch/analysis_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

constexpr long kMaxShards = 100000;

std::optional<long> wholeNumber(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9)
    return std::nullopt;
  return std::strtol(text.c_str(), nullptr, 10);
}

}  // namespace

std::optional<Shard> ParseShard(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const auto k = wholeNumber(text.substr(0, slash));
  const auto n = wholeNumber(text.substr(slash + 1));
  if (!k || !n || *n < 1 || *n > kMaxShards || *k < 1 || *k > *n) return std::nullopt;
  return Shard{static_cast<int>(*k), static_cast<int>(*n)};
}

std::vector<std::string> ShardPictures(std::vector<std::string> pictures, const Shard& shard) {
  std::sort(pictures.begin(), pictures.end());
  const std::size_t total = pictures.size();
  const auto n = static_cast<std::size_t>(std::max(shard.count, 1));
  const auto k = static_cast<std::size_t>(std::clamp(shard.index, 1, std::max(shard.count, 1)));
  const std::size_t first = total * (k - 1) / n;
  const std::size_t last = total * k / n;
  return {pictures.begin() + static_cast<std::ptrdiff_t>(first),
          pictures.begin() + static_cast<std::ptrdiff_t>(last)};
}

void AddMeasureOptions(CLI::App& command, MeasureOptionTexts& texts) {
  command
      .add_option("--lengths", texts.lengths,
                  "pixel (default) or true: lengths along the skeleton's pixels, or "
                  "true lengths along each whole root")
      ->type_name("pixel|true");
  command.add_option("--min-lateral", texts.minLateral, "lateral roots shorter than this are left out (cm)")
      ->type_name("CM");
  command
      .add_option("--background", texts.background, "dark (default), light or auto: the plate's background")
      ->type_name("dark|light|auto");
  command.add_option("--traits", texts.traits, "writes a trait table of every plant to this CSV file")
      ->type_name("FILE.csv");
  command.add_option("--shard", texts.shard, "takes the K-th of N equal parts of the sorted pictures")
      ->type_name("K/N");
}

std::optional<std::string> ApplyMeasureOptions(const MeasureOptionTexts& texts, MeasureOptions& options) {
  if (texts.lengths) {
    const auto mode = ParseLengthMode(*texts.lengths);
    if (!mode) return "--lengths must be pixel or true";
    options.settings.lengths = *mode;
  }
  if (texts.minLateral) {
    // A point before the decimals whatever the locale, as in every file.
    const auto cm = DecimalNumber(*texts.minLateral, 0.0, 100.0, std::chars_format::general);
    if (!cm) return "--min-lateral needs a length in centimetres (0 to 100)";
    options.settings.minLateralCm = *cm;
  }
  if (texts.background) {
    const auto background = ParseBackground(*texts.background);
    if (!background) return "--background must be dark, light or auto";
    options.settings.background = *background;
    options.settings.backgroundUsed = *background == Background::Light ? Background::Light : Background::Dark;
  }
  if (texts.traits) {
    if (texts.traits->empty()) return "--traits needs a file name";
    options.traits = *texts.traits;
  }
  if (texts.shard) {
    const auto shard = ParseShard(*texts.shard);
    if (!shard) return "--shard needs K/N with whole numbers 1 <= K <= N (N at most 100000), as 2/8";
    options.shard = shard;
  }
  return std::nullopt;
}

std::optional<double> DecimalNumber(const std::string& text, double lowest, double highest,
                                    std::chars_format format) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, format);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value) || value < lowest ||
      value > highest)
    return std::nullopt;
  return value;
}

void AddPipelineOptions(CLI::App& command, PipelineOptionTexts& texts) {
  command
      .add_option("--pipeline", texts.pipeline,
                  "fixed (default): the plate's white frame and a fixed threshold; adaptive: photographs "
                  "and scans, the plate found, roots segmented on uneven light")
      ->type_name("fixed|adaptive");
  command
      .add_option("--plate", texts.plate,
                  "adaptive only: find (default) the plate's rim, frame as the fixed pipeline, or none "
                  "(no plate: the whole picture)")
      ->type_name("find|frame|none");
  command.add_option("--plate-height", texts.plateHeight, "the plate's inside height (cm, default 12.5)")
      ->type_name("CM");
  command.add_option("--scale", texts.scale, "pixels per centimetre, instead of the plate's or resolution's")
      ->type_name("PIXELS_PER_CM");
}

std::optional<std::string> ApplyPipelineOptions(const PipelineOptionTexts& texts, AnalysisSettings& settings,
                                                bool backgroundChosen) {
  if (texts.pipeline) {
    const auto pipeline = ParsePipeline(*texts.pipeline);
    if (!pipeline) return "--pipeline must be fixed or adaptive";
    settings.pipeline = *pipeline;
  }
  const bool adaptive = settings.pipeline == Pipeline::Adaptive;
  if (adaptive && !backgroundChosen) settings.background = Background::Auto;
  if (texts.plate) {
    const auto plate = ParsePlateMode(*texts.plate);
    if (!plate) return "--plate must be find, frame or none";
    settings.plate = *plate;
  }
  if (texts.plateHeight) {
    const auto cm = DecimalNumber(*texts.plateHeight, 0.5, 100.0);
    if (!cm) return "--plate-height needs a height in centimetres (0.5 to 100)";
    settings.plateHeightCm = *cm;
  }
  if (texts.scale) {
    const auto perCm = DecimalNumber(*texts.scale, 0.01, 100000.0);
    if (!perCm) return "--scale needs pixels per centimetre (0.01 to 100000)";
    settings.pixelsPerCm = *perCm;
  }
  if (!adaptive && (texts.plate || texts.plateHeight || texts.scale))
    return "--plate, --plate-height and --scale go with --pipeline adaptive";
  return std::nullopt;
}
