// The main function of the benchmarks: the steps write their logs into the
// program folder's Log folder, so unless MORVANE_HOME names one, a folder
// under the temporary folder takes its place, out of the build tree.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline int RunBenchmarks(int argc, char** argv, const std::string& tag) {
  if (std::getenv("MORVANE_HOME") == nullptr) {
    const auto home = std::filesystem::temp_directory_path() / ("morvane-bench-" + tag);
    std::filesystem::create_directories(home);
    ::setenv("MORVANE_HOME", home.c_str(), 1);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
