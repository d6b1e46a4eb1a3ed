// The display of the last calibration parameters (Options > Last
// paramaters): the threshold and erosion method of the last saved
// experiment, read from the last line of LOG_calib.param in the Log folder.
#pragma once

#include <string>
#include <string_view>

namespace FRONTEND {
class Frontend;
}

struct LastCalibParams {
  int threshold = 90;
  std::string method = "Original";
  bool found = false;
};

// Shown when the parameter file cannot be opened; the defaults are then shown.
inline constexpr std::string_view kCalibFileNotFound =
    "Calibration file not found ! Default parameters : 90 Original";

// The threshold is the integer in the four characters at positions 11 to 14
// of the last line; the method the first of the known names found in the
// line, "Gaussian2" tried before "Gaussian"; "Original" when none is there.
LastCalibParams ParseLastCalibLine(std::string_view line);

// Reads the parameter file; when it cannot be opened, shows kCalibFileNotFound
// and returns the defaults.
LastCalibParams ReadLastCalibParams(FRONTEND::Frontend& frontend);
