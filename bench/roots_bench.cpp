// Milliseconds for the root analysis of a generated 600-dpi plate (about
// 3200 x 3200 pixels, six seedlings), after the Auto preparation and
// Skeletonize: Find roots, the segment trees and the measurements, one by
// one and together, next to Skeletonize itself for scale. Each step starts
// from the state the previous steps leave, prepared once; copying it in is
// not timed. The logs the steps write are part of their cost. The
// measurements run in both length modes.
//
//   cmake --build build --target bench_roots && build/bench/bench_roots
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "bench_main.h"
#include "bench_plate.h"
#include "roots/sci_doc.h"
#include "synth/synth_plate.h"

namespace {

struct Stages {
  std::vector<std::uint32_t> dilated, skeleton, detected;
  std::vector<Item> items;
  int width = 0;
  int height = 0;
};

const Stages& stages() {
  static const Stages s = [] {
    Stages st;
    const synth::Plate& plate = BenchPlate();
    KW_SciDoc doc;
    doc.setColourSeed(1U);
    doc.pixels = plate.pixels;
    doc.width = plate.width;
    doc.height = plate.height;
    doc.FixedBinarise();
    doc.RemoveBox();
    doc.CutMargins();
    doc.Dilate();
    st.dilated = doc.pixels;
    doc.Skeletonize();
    st.skeleton = doc.pixels;
    doc.FindRoots();
    st.detected = doc.pixels;
    st.items = doc.item;
    st.width = doc.width;
    st.height = doc.height;
    return st;
  }();
  return s;
}

void load(KW_SciDoc& doc, const std::vector<std::uint32_t>& pixels, const std::vector<Item>& items) {
  const Stages& s = stages();
  doc.pixels = pixels;
  doc.width = s.width;
  doc.height = s.height;
  doc.item = items;
  doc.nbr_item = static_cast<std::int32_t>(items.size());
  doc.setColourSeed(1U);
}

template <typename Prepare, typename Run>
void timeStep(benchmark::State& state, Prepare&& prepare, Run&& run) {
  KW_SciDoc doc;
  for (auto _ : state) {
    state.PauseTiming();
    prepare(doc);
    state.ResumeTiming();
    run(doc);
    benchmark::DoNotOptimize(doc.pixels.data());
  }
  state.counters["plants"] = static_cast<double>(doc.nbr_item);
}

void Skeletonize(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_SciDoc& d) { load(d, s.dilated, {}); }, [](KW_SciDoc& d) { d.Skeletonize(); });
}

void FindRoots(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_SciDoc& d) { load(d, s.skeleton, {}); }, [](KW_SciDoc& d) { d.FindRoots(); });
}

void CreateTrees(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_SciDoc& d) { load(d, s.detected, s.items); }, [](KW_SciDoc& d) { d.CreateTrees(); });
}

void MeasureTrees(benchmark::State& state) {
  const Stages& s = stages();
  KW_SciDoc built;
  load(built, s.detected, s.items);
  built.CreateTrees();
  // Argument 1: true lengths along the smoothed roots.
  if (state.range(0) == 1) built.settings.lengths = LengthMode::True;
  // Measuring fills the trees' fields only; running it again measures anew.
  for (auto _ : state) {
    built.MeasureTrees();
    benchmark::DoNotOptimize(built.root.data());
  }
  state.counters["plants"] = static_cast<double>(built.nbr_root);
}

void DetectBuildMeasure(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_SciDoc& d) { load(d, s.skeleton, {}); },
      [](KW_SciDoc& d) {
        d.FindRoots();
        d.CreateTrees();
        d.MeasureTrees();
      });
}

BENCHMARK(Skeletonize)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(FindRoots)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(CreateTrees)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(MeasureTrees)->ArgName("true_lengths")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(DetectBuildMeasure)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarks(argc, argv, "roots"); }
