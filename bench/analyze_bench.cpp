// Milliseconds for one complete analysis of a generated 600-dpi plate, as
// `morvane-batch analyze` runs it: reading the bitmap, the Auto preparation,
// Skeletonize, Find roots, Confirm roots (every plant taken) and Save
// experiment up to the written result file. Counters give the share of each
// stage (milliseconds per analysis). The logs the steps write are part of
// the cost. The argument is the measuring: 0 the default (pixel lengths),
// 1 true lengths with laterals under 0.1 cm left out, 2 the same with the
// background decided per picture (auto).
//
//   cmake --build build --target bench_analyze && build/bench/bench_analyze
//
// The throughput of several jobs is measured on the program itself by
// scripts/analyze-speed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>

#include "bench_main.h"
#include "bench_plate.h"
#include "roots/analysis_dialog_models.h"
#include "roots/overlay_picture.h"
#include "roots/plate_exports.h"
#include "roots/rsml_writer.h"
#include "roots/sci_doc.h"
#include "support/scripted_frontend.h"
#include "synth/synth_plate.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string& plateFile() {
  static const std::string path = [] {
    const fs::path folder = fs::temp_directory_path() / "morvane-bench-analyze-plate";
    fs::create_directories(folder / "results");
    synth::PlateOptions options;
    options.dpi = 600;
    options.plants = 6;
    options.seed = 7;
    std::string error;
    std::string bmp = (folder / "plate600.bmp").string();
    synth::WritePlate(BenchPlate(), options, bmp, (folder / "truth.txt").string(), error);
    return bmp;
  }();
  return path;
}

void AnalyzeOnePlate(benchmark::State& state) {
  const std::string& bmp = plateFile();
  const std::string results = (fs::path(bmp).parent_path() / "results").string();
  FRONTEND::ScriptedFrontend ui;
  double stage[6] = {};
  for (auto _ : state) {
    ui.shown.clear();
    ui.infoGeneralScripts.push_back([](MyBoxInfoGeneral& b) {
      b.resolution = "600";
      b.ok();
      return true;
    });
    ui.resultFileExistScripts.push_back([](ResultFileExistBox& b) {
      b.overwrite();
      return FRONTEND::Answer::Yes;
    });
    auto t = Clock::now();
    auto lap = [&](int k) {
      const auto now = Clock::now();
      stage[k] += std::chrono::duration<double, std::milli>(now - t).count();
      t = now;
    };
    KW_SciDoc doc;
    doc.setFrontend(&ui);
    doc.setColourSeed(1U);
    doc.fixedResultFolder = results;
    if (state.range(0) >= 1) {
      doc.settings.lengths = LengthMode::True;
      doc.settings.minLateralCm = 0.1;
    }
    if (state.range(0) == 2) doc.settings.background = Background::Auto;
    doc.OpenPicture(bmp);
    doc.ApplyBackground();
    lap(0);
    doc.AutoPrepare();
    lap(1);
    doc.Skeletonize();
    lap(2);
    doc.FindRoots();
    lap(3);
    doc.ConfirmRoots();
    lap(4);
    doc.SaveExperiment();
    lap(5);
    if (!doc.saved) state.SkipWithError("the experiment was not saved");
  }
  const char* names[6] = {"read_ms", "prepare_ms", "skeletonize_ms", "find_ms", "confirm_ms", "save_ms"};
  for (int k = 0; k < 6; ++k)
    state.counters[names[k]] = benchmark::Counter(stage[k] / static_cast<double>(state.iterations()));
}

BENCHMARK(AnalyzeOnePlate)
    ->ArgName("measuring")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// What --rsml and --overlay add to the analysis above: the RSML file and the
// overlay picture of the same plate, analysed once beforehand. Counters give
// each part (milliseconds per plate).
void ExportsOfOnePlate(benchmark::State& state) {
  const std::string& bmp = plateFile();
  const fs::path folder = fs::path(bmp).parent_path();
  FRONTEND::ScriptedFrontend ui;
  ui.infoGeneralScripts.push_back([](MyBoxInfoGeneral& b) {
    b.resolution = "600";
    b.ok();
    return true;
  });
  ui.resultFileExistScripts.push_back([](ResultFileExistBox& b) {
    b.overwrite();
    return FRONTEND::Answer::Yes;
  });
  KW_SciDoc doc;
  doc.setFrontend(&ui);
  doc.setColourSeed(1U);
  doc.fixedResultFolder = (folder / "results").string();
  doc.keepOpenedPicture = true;
  doc.OpenPicture(bmp);
  doc.AutoPrepare();
  doc.AutoDetect();
  if (!doc.saved) {
    state.SkipWithError("the experiment was not saved");
    return;
  }
  RsmlMetadata metadata;
  metadata.user = "bench";
  metadata.resolutionDpi = "600";
  // Wall and processor milliseconds per part: the machine may be shared,
  // and the files are synced to disk.
  double wall[3] = {}, cpu[3] = {};
  std::string error;
  for (auto _ : state) {
    auto t = Clock::now();
    std::clock_t c = std::clock();
    auto lap = [&](int k) {
      const auto now = Clock::now();
      const std::clock_t cnow = std::clock();
      wall[k] += std::chrono::duration<double, std::milli>(now - t).count();
      cpu[k] += 1000.0 * static_cast<double>(cnow - c) / CLOCKS_PER_SEC;
      t = now;
      c = cnow;
    };
    if (!WriteRsmlFile((folder / "plate600.rsml").string(), doc, metadata, error))
      state.SkipWithError("RSML");
    lap(0);
    const OverlayPicture picture = RenderOverlay(doc);
    lap(1);
    if (!WriteOverlayPng((folder / "plate600.png").string(), picture, error)) state.SkipWithError("PNG");
    lap(2);
  }
  const auto n = static_cast<double>(state.iterations());
  const char* names[3] = {"rsml", "overlay_render", "overlay_png"};
  for (int k = 0; k < 3; ++k) {
    state.counters[std::string(names[k]) + "_ms"] = benchmark::Counter(wall[k] / n);
    state.counters[std::string(names[k]) + "_cpu_ms"] = benchmark::Counter(cpu[k] / n);
  }
}

BENCHMARK(ExportsOfOnePlate)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarks(argc, argv, "analyze"); }
