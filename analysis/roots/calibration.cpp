#include "roots/calibration.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "base/text_format.h"
#include "roots/sci_doc.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Searched in this order; a later hit replaces an earlier one, so a line
// naming "Gaussian2" gives "Gaussian2" and not "Gaussian".
constexpr std::array<std::string_view, 7> kMethodsInSearchOrder = {
    "Gaussian", "Conical", "Pyramide Shaped", "Gaussian2", "Exponential", "Average", "Original"};

}  // namespace

CalibrationParameters ParseCalibrationLine(std::string_view line) {
  CalibrationParameters p;
  p.found = true;
  // The threshold digits follow "Threshold : "; atoi skips the blank at 11.
  const std::string digits(line.size() > 11 ? line.substr(11, 4) : std::string_view());
  p.threshold = std::atoi(digits.c_str());
  p.method = "Original";
  for (const std::string_view m : kMethodsInSearchOrder)
    if (line.find(m) != std::string_view::npos) p.method = std::string(m);
  return p;
}

CalibrationParameters ReadCalibration(FRONTEND::Frontend& frontend) {
  const auto path = KW_Log::Log_File_Path(frontend, logname::kCalibParam);
  const FilePtr file(path ? std::fopen(path->c_str(), "r") : nullptr);
  if (!file) {
    FRONTEND::ShowMessage(frontend, kCalibrationNotFound);
    return {};
  }
  char buffer[250] = {};
  std::string last;
  bool any = false;
  while (std::fgets(buffer, sizeof buffer, file.get()) != nullptr) {
    last = buffer;
    any = true;
  }
  if (!any) return {90, "Original", true};
  return ParseCalibrationLine(last);
}

std::string CalibrationRecord(std::string_view pictureName, int threshold, std::string_view method,
                              std::string_view loadTime, std::string_view saveTime) {
  std::string text;
  text += std::string(pictureName) + " \n";
  text += FormatText("\tThreshold : %i \n", threshold);
  text += "\tErosion Method : " + std::string(method) + " \n";
  text += "\tTime start : " + std::string(loadTime) + " ";
  text += "\tTime end : " + std::string(saveTime) + " \n";
  text += "------------------------------------- \n";
  return text;
}

std::string CalibrationLastLine(int threshold, std::string_view method) {
  return FormatText("Threshold : %i ", threshold) + "\tErosion Method : " + std::string(method) + " ";
}

void KW_SciDoc::WriteCalibration() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char saveTime[64] = {};
  asctime_r(&local, saveTime);

  // The history is appended through the module log writers (a batch gathers
  // a picture's records with its logs), once it is known to be writable.
  const auto history = KW_Log::Log_File_Path(frontend(), logname::kCalibration);
  const FilePtr probe(history ? std::fopen(history->c_str(), "ab") : nullptr);
  if (!probe) {
    FRONTEND::ShowMessage(frontend(), kCalibrationNotWritten);
  } else {
    AppendLog(logSink(), logname::kCalibration,
              CalibrationRecord(pictureName, threshold, erosionMethod, loadTime, saveTime));
  }
  const auto last = KW_Log::Log_File_Path(frontend(), logname::kCalibParam);
  const FilePtr lastProbe(last ? std::fopen(last->c_str(), "ab") : nullptr);
  if (lastProbe) {
    TruncateLog(logSink(), logname::kCalibParam);
    AppendLog(logSink(), logname::kCalibParam, CalibrationLastLine(threshold, erosionMethod));
  }
}
