// Milliseconds per image step on a generated 600-dpi plate (about 3200 x 3200
// pixels): the steps of the Auto preparation one by one and together, and the
// "Gaussian2" vote filter. Each step starts from the picture the previous
// steps leave, prepared once; copying it in is not timed.
//
//   cmake --build build --target bench_steps && build/bench/bench_steps
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_main.h"
#include "bench_plate.h"
#include "image/ima_ana.h"
#include "synth/synth_plate.h"

namespace {

struct Stages {
  std::vector<std::uint32_t> scan, binarised, boxed, cut, dilated;
  int width = 0, height = 0;        // of scan and binarised
  int boxWidth = 0, boxHeight = 0;  // after the frame removal
};

const Stages& stages() {
  static const Stages s = [] {
    Stages st;
    const synth::Plate& plate = BenchPlate();
    KW_ImaAna doc;
    doc.pixels = plate.pixels;
    doc.width = st.width = plate.width;
    doc.height = st.height = plate.height;
    st.scan = doc.pixels;
    doc.FixedBinarise();
    st.binarised = doc.pixels;
    doc.RemoveBox();
    st.boxed = doc.pixels;
    st.boxWidth = doc.width;
    st.boxHeight = doc.height;
    doc.CutMargins();
    st.cut = doc.pixels;
    doc.Dilate();
    st.dilated = doc.pixels;
    return st;
  }();
  return s;
}

void load(KW_ImaAna& doc, const std::vector<std::uint32_t>& pixels, int w, int h) {
  doc.pixels = pixels;
  doc.width = w;
  doc.height = h;
}

template <typename Prepare, typename Run>
void timeStep(benchmark::State& state, Prepare&& prepare, Run&& run) {
  KW_ImaAna doc;
  for (auto _ : state) {
    state.PauseTiming();
    prepare(doc);
    state.ResumeTiming();
    run(doc);
    benchmark::DoNotOptimize(doc.pixels.data());
  }
}

void Binarise90(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_ImaAna& d) { load(d, s.scan, s.width, s.height); },
      [](KW_ImaAna& d) { d.FixedBinarise(); });
}

void RemoveBox(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_ImaAna& d) { load(d, s.binarised, s.width, s.height); },
      [](KW_ImaAna& d) { d.RemoveBox(); });
}

void CutMargins(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_ImaAna& d) { load(d, s.boxed, s.boxWidth, s.boxHeight); },
      [](KW_ImaAna& d) { d.CutMargins(); });
}

void Dilate(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_ImaAna& d) { load(d, s.cut, s.boxWidth, s.boxHeight); },
      [](KW_ImaAna& d) { d.Dilate(); });
}

void Skeletonize(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_ImaAna& d) { load(d, s.dilated, s.boxWidth, s.boxHeight); },
      [](KW_ImaAna& d) { d.Skeletonize(); });
}

void AutoPreparation(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_ImaAna& d) { load(d, s.scan, s.width, s.height); },
      [](KW_ImaAna& d) {
        d.FixedBinarise();
        d.RemoveBox();
        d.CutMargins();
        d.Dilate();
        d.Skeletonize();
      });
}

void VoteFilterGaussian2(benchmark::State& state) {
  const Stages& s = stages();
  timeStep(
      state, [&](KW_ImaAna& d) { load(d, s.boxed, s.boxWidth, s.boxHeight); },
      [](KW_ImaAna& d) { d.ApplyVoteFilter(kDefaultVoteMethod); });
}

BENCHMARK(Binarise90)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(RemoveBox)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(CutMargins)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(Dilate)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(Skeletonize)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(AutoPreparation)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(VoteFilterGaussian2)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarks(argc, argv, "steps"); }
