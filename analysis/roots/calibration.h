// The image parameters of the saved experiments: a history of every save
// (Log/Calibration_parameters.txt) and the parameters of the last one
// (Log/LOG_calib.param), which "Re-use previous" and the "Last paramaters"
// display read back.
#pragma once

#include <string>
#include <string_view>

namespace FRONTEND {
class Frontend;
}

inline constexpr std::string_view kCalibrationNotFound =
    "Calibration file not found ! Default paranmeters : 90 Original";
inline constexpr std::string_view kCalibrationNotWritten = "Error file creation !";

struct CalibrationParameters {
  int threshold = 90;
  std::string method = "Original";
  bool found = false;  // false: the file could not be read, the defaults stand
};

// The threshold and method of one last-parameters line: the number atoi
// reads from the four characters at positions 11 to 14, and the last of
// "Gaussian", "Conical", "Pyramide Shaped", "Gaussian2", "Exponential",
// "Average", "Original" searched in this order that the line holds
// ("Original" when none).
CalibrationParameters ParseCalibrationLine(std::string_view line);

// Reads the last line of LOG_calib.param. When the file cannot be opened:
// shows kCalibrationNotFound and returns 90 and "Original"; a file without
// any line gives the same defaults without a message.
CalibrationParameters ReadCalibration(FRONTEND::Frontend& frontend);

// The two files' texts for one save: the history record (six lines, the
// times in asctime form with their own line feeds) and the last-parameters
// line (no line end).
std::string CalibrationRecord(std::string_view pictureName, int threshold, std::string_view method,
                              std::string_view loadTime, std::string_view saveTime);
std::string CalibrationLastLine(int threshold, std::string_view method);
