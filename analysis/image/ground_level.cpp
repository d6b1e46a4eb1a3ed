// The ground's level cell by cell: a histogram of each cell, counted as the
// picture's rows are read, then the histograms of each cell's neighbourhood
// added up and read at the share asked for; and the area whose ground is
// that of most of it.
#include "image/detail/ground_level.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "image/detail/segmentation_steps.h"

namespace {

// Roots with their hairs cover less than this share of the pixels around a
// cell of the background's grid even where they crowd: the rest is ground.
constexpr double kGroundShare = 0.25;

constexpr std::size_t kLevels = 256;
// A cell's histogram holds one bin more, for the pixels left out: every
// pixel is counted without a branch.
constexpr std::size_t kStride = kLevels + 1;

// The level below which share of total, the first kLevels counts of h, lie.
std::uint8_t LevelAt(const std::uint32_t* h, std::uint32_t total, double share) {
  const auto wanted = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::ceil(share * total)));
  std::uint32_t sum = 0;
  for (std::size_t v = 0; v < kLevels; ++v) {
    sum += h[v];
    if (sum >= wanted) return static_cast<std::uint8_t>(v);
  }
  return static_cast<std::uint8_t>(kLevels - 1);
}

// The first of pixels pixels in the cell-th of cells cells along a side:
// pixel x lies in cell x * cells / pixels.
int FirstPixel(int cell, int pixels, int cells) {
  return static_cast<int>((static_cast<long>(cell) * pixels + cells - 1) / cells);
}

// The histograms of every cell (row by row of cells, kStride counts each):
// kept, with the pixels of leftOut in the last bin; all (when anyLeftOut)
// of every pixel.
void CountCells(const cv::Mat& grey, const cv::Mat& leftOut, bool anyLeftOut, const cv::Size& coarse,
                std::vector<std::uint32_t>& kept, std::vector<std::uint32_t>& all) {
  const auto cells = static_cast<std::size_t>(coarse.area()) * kStride;
  kept.assign(cells, 0U);
  all.assign(anyLeftOut ? cells : 0, 0U);
  std::vector<std::size_t> cellOf(static_cast<std::size_t>(grey.cols));
  for (int x = 0; x < grey.cols; ++x)
    cellOf[static_cast<std::size_t>(x)] =
        static_cast<std::size_t>(static_cast<long>(x) * coarse.width / grey.cols) * kStride;
  const auto rowStride = static_cast<std::size_t>(coarse.width) * kStride;
  const auto cellRows = [&](const cv::Range& range) {
    for (int cy = range.start; cy < range.end; ++cy) {
      std::uint32_t* k = kept.data() + static_cast<std::size_t>(cy) * rowStride;
      std::uint32_t* a = anyLeftOut ? all.data() + static_cast<std::size_t>(cy) * rowStride : nullptr;
      const int end = FirstPixel(cy + 1, grey.rows, coarse.height);
      for (int y = FirstPixel(cy, grey.rows, coarse.height); y < end; ++y) {
        const auto* g = grey.ptr<std::uint8_t>(y);
        if (a != nullptr) {
          const auto* l = leftOut.ptr<std::uint8_t>(y);
          for (std::size_t x = 0; x < cellOf.size(); ++x) {
            ++a[cellOf[x] + g[x]];
            ++k[cellOf[x] + (l[x] != 0 ? kLevels : g[x])];
          }
        } else {
          for (std::size_t x = 0; x < cellOf.size(); ++x) ++k[cellOf[x] + g[x]];
        }
      }
    }
  };
  cv::parallel_for_(cv::Range(0, coarse.height), cellRows, static_cast<double>(grey.total()) / (1 << 20));
}

}  // namespace

cv::Mat GroundLevels(const cv::Mat& grey, const cv::Mat& leftOut, const cv::Size& coarse, int reach,
                     double share) {
  if (grey.type() != CV_8U || coarse.width <= 0 || coarse.height <= 0 || coarse.width > grey.cols ||
      coarse.height > grey.rows || reach < 0 ||
      !(leftOut.empty() || (leftOut.type() == CV_8U && leftOut.size() == grey.size())))
    return {};
  const bool anyLeftOut = !leftOut.empty() && cv::countNonZero(leftOut) > 0;
  std::vector<std::uint32_t> kept, all;
  CountCells(grey, leftOut, anyLeftOut, coarse, kept, all);
  cv::Mat levels(coarse, CV_8U);
  const auto width = static_cast<std::size_t>(coarse.width);
  const auto cellAt = [&](int y, int x) {
    return (static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) * kStride;
  };
  // The pixels of the cells in rows [cellTop, cellBottom) and columns
  // [cellLeft, cellRight).
  const auto pixels = [&](int cellTop, int cellBottom, int cellLeft, int cellRight) {
    const long rows =
        FirstPixel(cellBottom, grey.rows, coarse.height) - FirstPixel(cellTop, grey.rows, coarse.height);
    const long columns =
        FirstPixel(cellRight, grey.cols, coarse.width) - FirstPixel(cellLeft, grey.cols, coarse.width);
    return static_cast<std::uint32_t>(rows * columns);
  };
  // The neighbourhoods' histograms, added up by rows of cells first (the
  // cells reach rows up and down, for each column), then along the row as a
  // running sum: a few additions of histograms for each cell, whatever reach.
  std::vector<std::uint32_t> column(width * kStride), near(kStride), nearAll(kStride);
  for (int cy = 0; cy < coarse.height; ++cy) {
    std::fill(column.begin(), column.end(), 0U);
    const int top = std::max(0, cy - reach), bottom = std::min(coarse.height - 1, cy + reach);
    for (int y = top; y <= bottom; ++y) {
      const std::uint32_t* row = kept.data() + cellAt(y, 0);
      for (std::size_t i = 0; i < column.size(); ++i) column[i] += row[i];
    }
    std::fill(near.begin(), near.end(), 0U);
    for (int x = 0; x < std::min(coarse.width, reach); ++x)
      for (std::size_t v = 0; v < kStride; ++v) near[v] += column[static_cast<std::size_t>(x) * kStride + v];
    for (int cx = 0; cx < coarse.width; ++cx) {
      if (cx + reach < coarse.width)
        for (std::size_t v = 0; v < kStride; ++v)
          near[v] += column[static_cast<std::size_t>(cx + reach) * kStride + v];
      if (cx - reach - 1 >= 0)
        for (std::size_t v = 0; v < kStride; ++v)
          near[v] -= column[static_cast<std::size_t>(cx - reach - 1) * kStride + v];
      // Where nearly all of the neighbourhood is left out, all of it counts.
      const std::uint32_t count =
          pixels(top, bottom + 1, std::max(0, cx - reach), std::min(coarse.width, cx + reach + 1));
      const std::uint32_t* h = near.data();
      std::uint32_t total = count - near[kLevels];
      if (anyLeftOut && 4 * std::uint64_t{near[kLevels]} > 3 * std::uint64_t{count}) {
        total = count;
        std::fill(nearAll.begin(), nearAll.end(), 0U);
        for (int y = top; y <= bottom; ++y)
          for (int x = std::max(0, cx - reach); x <= std::min(coarse.width - 1, cx + reach); ++x)
            for (std::size_t v = 0; v < kStride; ++v) nearAll[v] += all[cellAt(y, x) + v];
        h = nearAll.data();
      }
      levels.at<std::uint8_t>(cy, cx) = LevelAt(h, total, share);
    }
  }
  return levels;
}

cv::Mat CommonArea(const cv::Mat& grey, const cv::Mat& leftOut, const cv::Mat& background,
                   const cv::Mat& region, const cv::Size& coarse, bool darkRoots, int margin) {
  cv::Mat common = CommonBackground(background, region, margin);
  if (darkRoots) return common;
  cv::Mat ground = GroundLevels(grey, leftOut, coarse, 1, kGroundShare);
  if (ground.empty()) return common;
  // Smoothed and brought to full size as the background is.
  cv::GaussianBlur(ground, ground, cv::Size(), 0.7);
  cv::resize(ground, ground, grey.size(), 0, 0, cv::INTER_LINEAR);
  common |= CommonBackground(ground, region, margin);
  return common;
}
