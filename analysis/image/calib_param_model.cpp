#include "image/calib_param_model.h"

#include <array>
#include <cstdlib>
#include <fstream>

#include "base/frontend.h"
#include "base/kw_log.h"

LastCalibParams ParseLastCalibLine(std::string_view line) {
  LastCalibParams p;
  p.found = true;
  // The threshold digits follow "Threshold : "; a short line is read as far as it goes.
  const std::string digits = line.size() > 11 ? std::string(line.substr(11, 4)) : std::string();
  p.threshold = std::atoi(digits.c_str());
  static constexpr std::array<std::string_view, 7> kOrder = {
      "Original", "Average", "Exponential", "Gaussian2", "Pyramide Shaped", "Conical", "Gaussian"};
  p.method = "Original";
  for (const std::string_view name : kOrder) {
    if (line.find(name) != std::string_view::npos) {
      p.method = std::string(name);
      break;
    }
  }
  return p;
}

LastCalibParams ReadLastCalibParams(FRONTEND::Frontend& frontend) {
  const auto path = KW_Log::Log_File_Path(frontend, logname::kCalibParam);
  std::ifstream in;
  if (path) in.open(*path);
  if (!path || !in) {
    FRONTEND::ShowMessage(frontend, kCalibFileNotFound);
    return {};
  }
  // Lines are kept to 249 characters, as the display reads them.
  std::string line;
  std::string last;
  bool any = false;
  while (std::getline(in, line)) {
    last = line.substr(0, 249);
    any = true;
  }
  if (!any) return {};  // an empty file: the defaults
  return ParseLastCalibLine(last);
}
