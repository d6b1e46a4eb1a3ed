// Loading and saving a 3000 x 3000 24-bit bitmap, next to reading and
// writing the same number of bytes with one fread or fwrite call.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "image/pic_doc.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr int kSide = 3000;

std::string benchPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("morvane-bench-") + name)).string();
}

// A picture with varied colours, saved once.
const std::string& pictureFile() {
  static const std::string path = [] {
    KW_PicDoc doc;
    doc.width = kSide;
    doc.height = kSide;
    doc.bitCount = 24;
    doc.paletteCount = 0;
    doc.pixels.resize(static_cast<std::size_t>(kSide) * kSide);
    for (std::size_t i = 0; i < doc.pixels.size(); ++i)
      doc.pixels[i] = static_cast<std::uint32_t>(i * 2654435761U) & 0xFFFFFFU;
    std::string p = benchPath("picture.bmp");
    if (!doc.SaveBitmap(p)) std::abort();
    return p;
  }();
  return path;
}

std::size_t fileBytes() { return static_cast<std::size_t>(std::filesystem::file_size(pictureFile())); }

void BM_LoadBitmap(benchmark::State& state) {
  const std::string& path = pictureFile();
  for (auto _ : state) {
    KW_PicDoc doc;
    benchmark::DoNotOptimize(doc.LoadBitmap(path));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileBytes()));
}

void BM_RawRead(benchmark::State& state) {
  const std::string& path = pictureFile();
  const std::size_t n = fileBytes();
  for (auto _ : state) {
    std::vector<std::uint8_t> buffer(n);
    FilePtr f(std::fopen(path.c_str(), "rb"));
    benchmark::DoNotOptimize(std::fread(buffer.data(), 1, n, f.get()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void BM_SaveBitmap(benchmark::State& state) {
  KW_PicDoc doc;
  if (doc.LoadBitmap(pictureFile()) == nullptr) std::abort();
  const std::string out = benchPath("saved.bmp");
  for (auto _ : state) benchmark::DoNotOptimize(doc.SaveBitmap(out));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileBytes()));
  std::filesystem::remove(out);
}

void BM_RawWrite(benchmark::State& state) {
  const std::size_t n = fileBytes();
  const std::vector<std::uint8_t> buffer(n, 0x5A);
  const std::string out = benchPath("raw.bin");
  for (auto _ : state) {
    FilePtr f(std::fopen(out.c_str(), "wb"));
    benchmark::DoNotOptimize(std::fwrite(buffer.data(), 1, n, f.get()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
  std::filesystem::remove(out);
}

BENCHMARK(BM_LoadBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawWrite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
