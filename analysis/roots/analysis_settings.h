// How an analysis measures: the length mode, the least lateral root kept and
// the kind of background the picture was taken on. The defaults are the
// fixed method (lengths as pixel steps, every lateral kept, bright roots on
// a dark background), whose results stay comparable with earlier
// experiments. The document keeps the settings it ran with, so a caller reads
// them after the analysis (the trait table, the log of the save).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// pixel: every length is the sum of the steps between successive skeleton
// pixels. true: every length runs along the skeleton path smoothed by a
// running average (see SmoothedPathLength in root_measures.h).
enum class LengthMode { Pixel, True };

// dark: bright roots on a dark background, the picture binarised as it is.
// light: dark roots on a light background, the picture inverted first.
// auto: decided per picture from the inside of the plate.
enum class Background { Dark, Light, Auto };

// fixed: the method of every earlier experiment (fixed threshold, the plate's
// white frame, margin cut), byte for byte. adaptive: for photographs and
// scans as laboratories make them: the plate found in the picture, the roots
// segmented on uneven light, the seedlings found, every plant checked.
enum class Pipeline { Fixed, Adaptive };
// What the adaptive pipeline analyses. find: the inside of the plate's rim
// found in the picture. frame: the fixed method's frame removal. none: the
// whole picture (paper, rhizotrons: no plate).
enum class PlateMode { Find, Frame, None };

struct AnalysisSettings {
  LengthMode lengths = LengthMode::Pixel;
  // Lateral roots shorter than this, with everything below them, are left
  // out of the trees, the counts and the result file; 0 keeps them all.
  double minLateralCm = 0.0;
  Background background = Background::Dark;
  Pipeline pipeline = Pipeline::Fixed;
  // Used by the adaptive pipeline only.
  PlateMode plate = PlateMode::Find;
  // The inside height of the plate in centimetres: gives the scale when a
  // plate is found.
  double plateHeightCm = 12.5;
  // Pixels per centimetre given by the user (--scale); 0: from the plate, or
  // from the resolution when there is no plate. Overrides the plate.
  double pixelsPerCm = 0.0;
  // Dots per inch of the picture when known (0 otherwise): the scale of a
  // picture without a plate.
  double resolutionDpi = 0.0;
  // The background the picture was treated as (Dark or Light): the choice of
  // auto once it is made, otherwise background itself.
  Background backgroundUsed = Background::Dark;

  // The background in words: "dark", "light", or "light (auto)" when auto chose it.
  std::string backgroundText() const;
  // One line for the logs: "lengths true, min-lateral 0.100000 cm, background light (auto)\n".
  std::string logLine() const;
  // The least lateral length in centimetres, as short as it goes: "0", "0.1".
  std::string minLateralText() const;
};

std::string_view LengthModeName(LengthMode mode);        // "pixel", "true"
std::string_view BackgroundName(Background background);  // "dark", "light", "auto"
std::optional<LengthMode> ParseLengthMode(std::string_view text);
std::optional<Background> ParseBackground(std::string_view text);
std::string_view PipelineName(Pipeline pipeline);  // "fixed", "adaptive"
std::string_view PlateModeName(PlateMode plate);   // "find", "frame", "none"
std::optional<Pipeline> ParsePipeline(std::string_view text);
std::optional<PlateMode> ParsePlateMode(std::string_view text);
