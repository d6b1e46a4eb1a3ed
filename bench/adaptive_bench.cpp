// Milliseconds for the adaptive pipeline, from the decoded picture to the
// measured plants (the plate found, the roots segmented, the skeleton, the
// trees and their measures): on the generated 600-dpi plate of the other
// benchmarks, and on a 640 x 640 photograph of a real plate from the shared
// test data (skipped when it is not there). The counter gives the decoded
// picture's size in MB; the program's peak memory is measured on the
// command line (/usr/bin/time -v morvane-batch measure --pipeline adaptive).
//
//   cmake --build build --target bench_adaptive && build/bench/bench_adaptive
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_main.h"
#include "bench_plate.h"
#include "image/picture_files.h"
#include "roots/sci_doc.h"

namespace {

void Run(benchmark::State& state, const KW_PicDoc& picture) {
  for (auto _ : state) {
    KW_SciDoc doc;
    doc.setColourSeed(1U);
    doc.settings.pipeline = Pipeline::Adaptive;
    doc.settings.lengths = LengthMode::True;
    doc.pixels = picture.pixels;
    doc.width = picture.width;
    doc.height = picture.height;
    std::string problem;
    if (doc.MeasurePlateAdaptive(problem) != KW_SciDoc::kPlateMeasured) {
      state.SkipWithError(problem.c_str());
      return;
    }
    benchmark::DoNotOptimize(doc.root.data());
  }
  state.counters["picture_mb"] = static_cast<double>(picture.pixels.size() * 4) / (1024.0 * 1024.0);
}

void AdaptivePlate600(benchmark::State& state) {
  KW_PicDoc picture;
  picture.pixels = BenchPlate().pixels;
  picture.width = BenchPlate().width;
  picture.height = BenchPlate().height;
  Run(state, picture);
}

void AdaptivePhoto640(benchmark::State& state) {
  const std::filesystem::path photo = std::filesystem::path(MORVANE_TESTDATA) / "real" / "plates-dark-cloth" /
                                      "images" / "Control-1_jpg.rf.1ec69444b53efde797b9c784b71ea6ec.jpg";
  KW_PicDoc picture;
  std::string error;
  if (!LoadPictureFile(picture, photo.string(), error)) {
    state.SkipWithError(("no photograph: " + error).c_str());
    return;
  }
  Run(state, picture);
}

BENCHMARK(AdaptivePlate600)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(AdaptivePhoto640)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarks(argc, argv, "adaptive"); }
