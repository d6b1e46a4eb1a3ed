// Loading and saving a 3000 x 3000 24-bit bitmap, next to reading and
// writing the same number of bytes with one fread or fwrite call; loading a
// 3000 x 3000 run-length picture, and a 1 KB run-length file that declares
// 16384 x 16384 pixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

void add16(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void add32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  add16(b, v);
  add16(b, v >> 16);
}

// An 8-bit run-length file of two colours: header, table, data.
std::string runLengthFile(const char* name, std::int32_t width, std::int32_t height,
                          const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> b = {'B', 'M'};
  add32(b, static_cast<std::uint32_t>(62 + data.size()));
  add32(b, 0);
  add32(b, 62);
  for (const std::uint32_t v : {40U, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)})
    add32(b, v);
  add16(b, 1);
  add16(b, 8);
  for (const std::uint32_t v :
       {1U, static_cast<std::uint32_t>(data.size()), 2835U, 2835U, 0U, 0U, 0U, 0xFFFFFFU})
    add32(b, v);
  b.insert(b.end(), data.begin(), data.end());
  std::string path = benchPath(name);
  FilePtr f(std::fopen(path.c_str(), "wb"));
  if (f == nullptr || std::fwrite(b.data(), 1, b.size(), f.get()) != b.size()) std::abort();
  return path;
}

// A plate-like picture: white rows crossed by a few dark runs, each row
// ended by a line end.
const std::string& runLengthPicture() {
  static const std::string path = [] {
    std::vector<std::uint8_t> data;
    for (int row = 0; row < kSide; ++row) {
      int left = kSide;
      for (int k = 0; left > 0; ++k) {
        const int n = std::min(left, k % 2 == 0 ? 200 + (row * 7 + k) % 55 : 1 + (row + k) % 9);
        data.push_back(static_cast<std::uint8_t>(n));
        data.push_back(static_cast<std::uint8_t>(k % 2 == 0 ? 1 : 0));
        left -= n;
      }
      data.push_back(0);
      data.push_back(0);
    }
    data.push_back(0);
    data.push_back(1);
    return runLengthFile("runlength.bmp", kSide, kSide, data);
  }();
  return path;
}

// About 1 KB of runs declaring 16384 x 16384 pixels.
const std::string& runLengthBomb() {
  static const std::string path = [] {
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 480; ++i) {
      data.push_back(255);
      data.push_back(1);
    }
    data.push_back(0);
    data.push_back(1);
    return runLengthFile("bomb.bmp", 16384, 16384, data);
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
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fileBytes()));
}

void BM_LoadRunLength(benchmark::State& state) {
  const std::string& path = runLengthPicture();
  for (auto _ : state) {
    KW_PicDoc doc;
    if (doc.LoadBitmap(path) == nullptr) std::abort();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kSide * kSide);
}

// Cost of a file whose header promises far more pixels than its data holds.
void BM_LoadRunLengthBomb(benchmark::State& state) {
  const std::string& path = runLengthBomb();
  for (auto _ : state) {
    KW_PicDoc doc;
    benchmark::DoNotOptimize(doc.LoadBitmap(path));
  }
}

void BM_RawRead(benchmark::State& state) {
  const std::string& path = pictureFile();
  const std::size_t n = fileBytes();
  for (auto _ : state) {
    std::vector<std::uint8_t> buffer(n);
    FilePtr f(std::fopen(path.c_str(), "rb"));
    benchmark::DoNotOptimize(std::fread(buffer.data(), 1, n, f.get()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

void BM_SaveBitmap(benchmark::State& state) {
  KW_PicDoc doc;
  if (doc.LoadBitmap(pictureFile()) == nullptr) std::abort();
  const std::string out = benchPath("saved.bmp");
  for (auto _ : state) benchmark::DoNotOptimize(doc.SaveBitmap(out));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fileBytes()));
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
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n));
  std::filesystem::remove(out);
}

BENCHMARK(BM_LoadBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRunLength)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRunLengthBomb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawWrite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
