#include "batch/measure_command.h"

#include <chrono>
#include <cstdio>
#include <memory>

#include "batch/batch_load.h"
#include "batch/command_line.h"
#include "image/pixel_pool.h"
#include "roots/sci_doc.h"

const char* const kMeasureCommandUsage = "       morvane-batch measure IN.bmp...\n";

namespace {

// Measures one picture; false when it cannot be read or has no plate frame.
bool measure(const std::string& path, const std::shared_ptr<PixelPool>& pixelPool) {
  KW_SciDoc doc;
  doc.pixelPool = pixelPool;
  if (!LoadPicture(doc, path)) return false;
  const auto start = std::chrono::steady_clock::now();
  const int measured = doc.MeasurePlate();
  if (measured == KW_SciDoc::kNoPlateFrame) {
    std::fprintf(stderr, "morvane-batch: %s: no plate frame found, nothing measured\n", path.c_str());
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
  std::printf("  plant  main root (cm)  vector (cm)  angle (deg)  laterals\n");
  for (std::size_t i = 0; i < doc.root.size(); ++i) {
    const RootTree& t = doc.root[i];
    std::printf("  %5zu  %14.3f  %11.3f  %11.2f  %8d\n", i + 1, t.main_length * cm, t.main_vector * cm,
                t.main_angle, t.nbr_LR);
  }
  return true;
}

}  // namespace

int RunMeasureCommand(const std::vector<std::string>& args) {
  std::vector<std::string> pictures;
  const auto command =
      NewCommand("measure", "Measures the plants of plates with the default steps.", kMeasureCommandUsage);
  command->add_option("IN.bmp", pictures, "the plates")->required();
  if (const auto status = ParseCommand(*command, args)) return *status;
  bool all = true;
  const auto pixelPool = std::make_shared<PixelPool>();
  for (const std::string& path : pictures) all = measure(path, pixelPool) && all;
  return all ? 0 : 1;
}
