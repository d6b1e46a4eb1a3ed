// morvane-batch analyze (and measure) run as a user runs it, one program per
// iteration: wall time (manual time) and the program's peak resident memory
// (counter peak_MB, from wait4). The cases:
//   NoisePicture/N  an N x N picture of random colours, the hostile case:
//                   every speck becomes a "plant"; the bound is under 200 MB
//                   and 3 s at 2000 x 2000, under 400 MB at 3000 x 3000.
//   Plate600/K      the generated 600-dpi plate of six seedlings; K = 1
//                   adds --rsml, --overlay and --traits, K = 0 does not, so
//                   the two give what the exports cost on the command line.
//   AdaptiveMeasure/K  measure --pipeline adaptive: K = 0 on the generated
//                   600-dpi plate (a bitmap), K = 1 on the 12-megapixel
//                   light-box photograph of the shared test data (a JPEG;
//                   skipped when it is not there). Counter picture_MB: the
//                   decoded picture, width x height x 3 bytes (the peak
//                   also holds the program's code and libraries).
//
//   cmake --build build --target bench_analyze_program morvane-batch && build/bench/bench_analyze_program
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_main.h"
#include "bench_plate.h"
#include "image/pic_doc.h"
#include "image/picture_files.h"
#include "synth/synth_plate.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path Folder() {
  fs::path folder = fs::temp_directory_path() / "morvane-bench-analyze-program";
  fs::create_directories(folder);
  return folder;
}

std::string NoisePicture(int side) {
  const fs::path path = Folder() / ("noise" + std::to_string(side) + ".bmp");
  if (fs::exists(path)) return path.string();
  KW_PicDoc doc;
  doc.width = doc.height = side;
  doc.bitCount = 24;
  doc.pixels.resize(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
  std::mt19937 random(static_cast<std::uint32_t>(side));
  for (std::uint32_t& p : doc.pixels) p = random() & 0xFFFFFFU;
  doc.xPelsPerMeter = doc.yPelsPerMeter = 11811;
  doc.SaveBitmap(path.string());
  return path.string();
}

std::string PlatePicture() {
  const fs::path path = Folder() / "plate600.bmp";
  if (fs::exists(path)) return path.string();
  synth::PlateOptions options;
  options.dpi = 600;
  options.plants = 6;
  options.seed = 7;
  std::string error;
  synth::WritePlate(BenchPlate(), options, path.string(), (Folder() / "plate600-truth.txt").string(), error);
  return path.string();
}

// Runs the program with arguments; the peak resident memory in MB, or -1
// when it could not run or failed.
double RunProgram(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::string program = MORVANE_BATCH_PROGRAM;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, 1);
    ::dup2(quiet, 2);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  if (child < 0) return -1;
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Measure(benchmark::State& state, const std::vector<std::string>& arguments) {
  double peak = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const double mb = RunProgram(arguments);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (mb < 0) {
      state.SkipWithError("morvane-batch analyze failed");
      return;
    }
    peak = std::max(peak, mb);
  }
  state.counters["peak_MB"] = peak;
}

void NoisePicture(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const std::string results = (Folder() / "noise-results").string();
  Measure(state, {"analyze", NoisePicture(side), "--resolution", "300", "--overwrite", "--results", results});
}
BENCHMARK(NoisePicture)->Arg(2000)->Arg(3000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void Plate600(benchmark::State& state) {
  const fs::path out = Folder() / ("plate-out" + std::to_string(state.range(0)));
  std::vector<std::string> arguments{"analyze",
                                     PlatePicture(),
                                     "--resolution",
                                     "600",
                                     "--overwrite",
                                     "--results",
                                     (out / "results").string()};
  if (state.range(0) == 1)
    for (const char* option : {"--rsml", "--overlay"}) {
      arguments.emplace_back(option);
      arguments.push_back((out / (option + 2)).string());
    }
  if (state.range(0) == 1) {
    arguments.emplace_back("--traits");
    arguments.push_back((out / "traits.csv").string());
  }
  Measure(state, arguments);
}
BENCHMARK(Plate600)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void AdaptiveMeasure(benchmark::State& state) {
  std::string picture = PlatePicture();
  if (state.range(0) == 1) {
    picture = (fs::path(MORVANE_TESTDATA) / "plates" / "rhizoscan_J10_Photo_011.jpg").string();
    if (!fs::exists(picture)) {
      state.SkipWithError("no photograph in the shared test data");
      return;
    }
  }
  KW_PicDoc decoded;
  std::string error;
  if (!LoadPictureFile(decoded, picture, error)) {
    state.SkipWithError(("unreadable picture: " + error).c_str());
    return;
  }
  Measure(state, {"measure", picture, "--pipeline", "adaptive"});
  state.counters["picture_MB"] =
      static_cast<double>(decoded.width) * decoded.height * 3.0 / (1024.0 * 1024.0);
}
BENCHMARK(AdaptiveMeasure)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarks(argc, argv, "analyze-program"); }
