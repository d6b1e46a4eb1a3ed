#include "roots/analysis_settings.h"

#include "base/text_format.h"

std::string_view LengthModeName(LengthMode mode) { return mode == LengthMode::True ? "true" : "pixel"; }

std::string_view BackgroundName(Background background) {
  switch (background) {
    case Background::Light:
      return "light";
    case Background::Auto:
      return "auto";
    case Background::Dark:
      break;
  }
  return "dark";
}

std::optional<LengthMode> ParseLengthMode(std::string_view text) {
  if (text == "pixel") return LengthMode::Pixel;
  if (text == "true") return LengthMode::True;
  return std::nullopt;
}

std::optional<Background> ParseBackground(std::string_view text) {
  if (text == "dark") return Background::Dark;
  if (text == "light") return Background::Light;
  if (text == "auto") return Background::Auto;
  return std::nullopt;
}

std::string_view PipelineName(Pipeline pipeline) {
  return pipeline == Pipeline::Adaptive ? "adaptive" : "fixed";
}

std::string_view PlateModeName(PlateMode plate) {
  switch (plate) {
    case PlateMode::Frame:
      return "frame";
    case PlateMode::None:
      return "none";
    case PlateMode::Find:
      break;
  }
  return "find";
}

std::optional<Pipeline> ParsePipeline(std::string_view text) {
  if (text == "fixed") return Pipeline::Fixed;
  if (text == "adaptive") return Pipeline::Adaptive;
  return std::nullopt;
}

std::optional<PlateMode> ParsePlateMode(std::string_view text) {
  if (text == "find") return PlateMode::Find;
  if (text == "frame") return PlateMode::Frame;
  if (text == "none") return PlateMode::None;
  return std::nullopt;
}

std::string AnalysisSettings::minLateralText() const { return FormatText("%g", minLateralCm); }

std::string AnalysisSettings::backgroundText() const {
  std::string text(
      BackgroundName(backgroundUsed == Background::Light ? Background::Light : Background::Dark));
  if (background == Background::Auto) text += " (auto)";
  return text;
}

std::string AnalysisSettings::logLine() const {
  return FormatText("lengths %s, min-lateral %f cm, background %s\n",
                    std::string(LengthModeName(lengths)).c_str(), minLateralCm, backgroundText().c_str());
}
