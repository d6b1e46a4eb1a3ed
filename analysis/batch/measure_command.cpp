#include "batch/measure_command.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "batch/analysis_options.h"
#include "batch/batch_load.h"
#include "batch/command_line.h"
#include "image/pixel_pool.h"
#include "roots/sci_doc.h"

const char* const kMeasureCommandUsage =
    "       morvane-batch measure PICTURE... [--pipeline fixed|adaptive] [--plate find|frame|none]\n"
    "         [--plate-height CM] [--scale PIXELS_PER_CM] [--resolution DPI] [--lengths pixel|true]\n";

namespace {

// Measures one picture; false when it cannot be read or has no plate frame.
bool measure(const std::string& path, const std::shared_ptr<PixelPool>& pixelPool,
             const AnalysisSettings& settings) {
  KW_SciDoc doc;
  doc.pixelPool = pixelPool;
  doc.settings = settings;
  if (!LoadPicture(doc, path)) return false;
  const auto start = std::chrono::steady_clock::now();
  std::string problem;
  const int measured =
      settings.pipeline == Pipeline::Adaptive ? doc.MeasurePlateAdaptive(problem) : doc.MeasurePlate();
  if (measured == KW_SciDoc::kNoPlateFrame) {
    if (problem.empty()) problem = "no plate frame found";
    std::fprintf(stderr, "morvane-batch: %s: %s, nothing measured\n", path.c_str(), problem.c_str());
    return false;
  }
  if (measured != KW_SciDoc::kPlateMeasured) {
    std::fprintf(stderr, "morvane-batch: %s: not enough memory to measure the plate\n", path.c_str());
    return false;
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

  const double cm = static_cast<double>(doc.scale);
  std::printf("%s: %d plants, %.6f cm per pixel, %.0f ms\n", path.c_str(), doc.nbr_root, cm, ms);
  std::printf("  plant  main root (cm)  vector (cm)  angle (deg)  laterals  flags\n");
  for (std::size_t i = 0; i < doc.root.size(); ++i) {
    const RootTree& t = doc.root[i];
    std::printf("  %5zu  %14.3f  %11.3f  %11.2f  %8d  %s\n", i + 1, t.main_length * cm, t.main_vector * cm,
                t.main_angle, t.nbr_LR, PlantFlagsText(t.flags).c_str());
  }
  return true;
}

}  // namespace

int RunMeasureCommand(const std::vector<std::string>& args) {
  std::vector<std::string> pictures;
  PipelineOptionTexts pipeline;
  std::optional<std::string> resolution, lengths;
  const auto command =
      NewCommand("measure", "Measures the plants of plates with the default steps.", kMeasureCommandUsage);
  command->add_option("PICTURE", pictures, "the plates (BMP, PNG, JPEG, TIFF)")->required();
  AddPipelineOptions(*command, pipeline);
  command->add_option("--resolution", resolution, "dots per inch, the scale of a picture without a plate")
      ->type_name("DPI");
  command->add_option("--lengths", lengths, "pixel (default) or true")->type_name("pixel|true");
  if (const auto status = ParseCommand(*command, args)) return *status;
  AnalysisSettings settings;
  const auto refuse = [](const std::string& text) {
    std::fprintf(stderr, "morvane-batch: %s\n%s", text.c_str(), kMeasureCommandUsage);
    return 2;
  };
  if (const auto bad = ApplyPipelineOptions(pipeline, settings, false)) return refuse(*bad);
  if (resolution) {
    const auto dpi = DecimalNumber(*resolution, 1.0, 100000.0);
    if (!dpi) return refuse("--resolution needs dots per inch (1 to 100000)");
    settings.resolutionDpi = *dpi;
  }
  if (lengths) {
    const auto mode = ParseLengthMode(*lengths);
    if (!mode) return refuse("--lengths must be pixel or true");
    settings.lengths = *mode;
  }
  bool all = true;
  const auto pixelPool = std::make_shared<PixelPool>();
  for (const std::string& path : pictures) all = measure(path, pixelPool, settings) && all;
  return all ? 0 : 1;
}
