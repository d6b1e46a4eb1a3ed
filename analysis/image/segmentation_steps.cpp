// Robust noise estimates, hysteresis, what is no root, and the area whose
// background is that of most of it.
#include "image/detail/segmentation_steps.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "image/detail/mask_tools.h"

namespace {

template <class Level, int kCount>
void LevelBins(const Level* __restrict level, const std::uint8_t* __restrict mask,
               std::uint16_t* __restrict bins) {
  // Every value read, whatever is made of it: no branch in the block.
  for (int x = 0; x < kCount; ++x) {
    const int bin = std::min(std::max(level[x] + kLevelOffset, 0), 2 * kLevelOffset - 1);
    const bool in = mask[x] != 0;
    bins[x] = in ? static_cast<std::uint16_t>(bin) : kLeftOut;
  }
}

// The histogram of plane (CV_8U or CV_16S) where mask is set.
template <class Level>
LevelHistogram HistogramOver(const cv::Mat& plane, const cv::Mat& mask) {
  LevelCounter counter;
  std::vector<std::uint16_t> bins(static_cast<std::size_t>(plane.cols));
  for (int y = 0; y < plane.rows; ++y) {
    const auto* p = plane.ptr<Level>(y);
    const auto* m = mask.ptr<std::uint8_t>(y);
    int x = 0;
    for (; x + kBlock <= plane.cols; x += kBlock) LevelBins<Level, kBlock>(p + x, m + x, bins.data() + x);
    for (; x < plane.cols; ++x) LevelBins<Level, 1>(p + x, m + x, bins.data() + x);
    counter.add(bins.data(), plane.cols);
  }
  return counter.histogram();
}

}  // namespace

// Median and robust spread of a histogram's levels: 1.4826 x the median
// absolute deviation from the median (the spread of a normal distribution's
// values), at least 1.
void RobustSpread(const LevelHistogram& h, double& median, double& sigma) {
  median = 0;
  sigma = 1;
  const long count = h.total;
  if (count == 0) return;
  const auto quantile = [count](const std::vector<long>& counts, double q) {
    long seen = 0;
    for (std::size_t v = 0; v < counts.size(); ++v) {
      seen += counts[v];
      if (static_cast<double>(seen) >= q * static_cast<double>(count)) return static_cast<int>(v);
    }
    return static_cast<int>(counts.size()) - 1;
  };
  const int med = quantile(h.counts, 0.5);
  std::vector<long> deviations(std::size_t{2} * kLevelOffset, 0);
  for (int v = 0; v < 2 * kLevelOffset; ++v)
    deviations[static_cast<std::size_t>(std::abs(v - med))] += h.counts[static_cast<std::size_t>(v)];
  median = med - kLevelOffset;
  // Grey levels are whole numbers: half a level of spread is always there.
  sigma = std::max(1.0, 1.4826 * (quantile(deviations, 0.5) + 0.5));
}

// Median and robust spread of a signed plane (CV_16S) where mask is set.
void RobustSpread(const cv::Mat& plane, const cv::Mat& mask, double& median, double& sigma) {
  RobustSpread(HistogramOver<std::int16_t>(plane, mask), median, sigma);
}

namespace {

std::size_t At(int i) { return static_cast<std::size_t>(i); }

// Sets the runs of the components that keep marks to 255 and clears the
// rest of out (of the runs' size).
void PaintRuns(const MaskRuns& runs, const std::vector<std::uint8_t>& keep, cv::Mat& out) {
  for (int y = 0; y < out.rows; ++y) {
    auto* o = out.ptr<std::uint8_t>(y);
    int x = 0;
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      std::fill(o + x, o + runs.begin[At(r)], std::uint8_t{0});
      x = runs.end[At(r)];
      const std::uint8_t value = keep[At(runs.component[At(r)])] != 0 ? 255 : 0;
      std::fill(o + runs.begin[At(r)], o + x, value);
    }
    std::fill(o + x, o + out.cols, std::uint8_t{0});
  }
}

}  // namespace

// A mask of 0 and 255 kept as its runs (a plate's inside is one run a row),
// painted again.
cv::Mat PaintedMask(const MaskRuns& runs, cv::Size size) {
  cv::Mat mask(size, CV_8U);
  PaintRuns(runs, std::vector<std::uint8_t>(At(runs.components), 1), mask);
  return mask;
}

// Keeps the components of low that hold a pixel of high: low's own plane,
// the others cleared from it.
cv::Mat Hysteresis(cv::Mat low, const cv::Mat& high) {
  const MaskRuns runs = FindMaskRuns(low);
  std::vector<std::uint8_t> keep(At(runs.components), 0);
  for (int y = 0; y < high.rows; ++y) {
    const auto* h = high.ptr<std::uint8_t>(y);
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      std::uint8_t& k = keep[At(runs.component[At(r)])];
      if (k == 0)
        k = std::any_of(h + runs.begin[At(r)], h + runs.end[At(r)], [](std::uint8_t v) { return v != 0; })
                ? 1
                : 0;
    }
  }
  PaintRuns(runs, keep, low);
  return low;
}

// The width of the lines of clear that are at least minLength long: twice
// the median distance to their edge along their ridges (the pixels no
// 4-neighbour of which lies deeper), less one; 0 without such lines. A wide
// area (a label, a leaf) has few ridge pixels for its size, a line many.
int LineWidth(const cv::Mat& clear, int minLength) {
  // The components and their extents, on runs (no plane of labels).
  const MaskRuns runs = FindMaskRuns(clear);
  const std::size_t n = At(runs.components);
  std::vector<int> left(n, clear.cols), right(n, -1), top(n, -1), bottom(n, -1);
  for (int y = 0; y < clear.rows; ++y)
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      const std::size_t c = At(runs.component[At(r)]);
      if (top[c] < 0) top[c] = y;
      bottom[c] = y;
      left[c] = std::min(left[c], runs.begin[At(r)]);
      right[c] = std::max(right[c], runs.end[At(r)] - 1);
    }
  std::vector<std::uint8_t> line(n, 0);
  for (std::size_t i = 0; i < n; ++i)
    line[i] = std::max(right[i] - left[i] + 1, bottom[i] - top[i] + 1) >= minLength ? 1 : 0;
  // The depths kept on the runs: rows of them (0 where clear) as they are
  // needed, three at a time.
  const RunDistances depth = DistancesOnRuns(runs, clear.cols, clear.rows);
  std::vector<long> histogram(256, 0);
  long count = 0;
  const auto width = At(clear.cols);
  std::vector<std::uint8_t> rows(3 * width);
  std::uint8_t* above = rows.data();
  std::uint8_t* d = above + width;
  std::uint8_t* below = d + width;
  if (clear.rows >= 3) {
    depth.fillRow(runs, 0, above, clear.cols);
    depth.fillRow(runs, 1, d, clear.cols);
  }
  for (int y = 1; y + 1 < clear.rows; ++y) {
    depth.fillRow(runs, y + 1, below, clear.cols);
    // The pixels of lines, away from the picture's border.
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      if (line[At(runs.component[At(r)])] == 0) continue;
      const int to = std::min(runs.end[At(r)], clear.cols - 1);
      for (int x = std::max(runs.begin[At(r)], 1); x < to; ++x) {
        const std::size_t i = At(x);
        if (d[i] != 0 && d[i] >= above[i] && d[i] >= below[i] && d[i] >= d[i - 1] && d[i] >= d[i + 1]) {
          ++histogram[d[i]];
          ++count;
        }
      }
    }
    std::uint8_t* oldest = above;
    above = d;
    d = below;
    below = oldest;
  }
  long seen = 0;
  for (std::size_t v = 1; v < histogram.size(); ++v) {
    seen += histogram[v];
    if (2 * seen >= count && count > 0) return 2 * static_cast<int>(v) - 1;
  }
  return 0;
}

// Leaves out components that cannot be roots: too small, blobs (neither
// long nor thin), and lines that run along the border of the area (a rim,
// the edge of the paper) for most of their pixels.
void DropNonRoots(cv::Mat& mask, int rootWidth, int minLength) {
  const MaskRuns runs = FindMaskRuns(mask);
  const std::size_t n = At(runs.components);
  std::vector<int> left(n, mask.cols), right(n, -1), top(n, -1), bottom(n, -1), area(n, 0), nearBorder(n, 0);
  const int band = std::max(3, std::min(mask.cols, mask.rows) / 20);
  for (int y = 0; y < mask.rows; ++y) {
    const bool rowNear = y < band || y >= mask.rows - band;
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      const std::size_t c = At(runs.component[At(r)]);
      const int from = runs.begin[At(r)], to = runs.end[At(r)];
      if (top[c] < 0) top[c] = y;
      bottom[c] = y;
      left[c] = std::min(left[c], from);
      right[c] = std::max(right[c], to - 1);
      area[c] += to - from;
      // Its pixels outside the columns [band, cols - band) of the middle.
      const int middle = rowNear ? 0 : std::max(0, std::min(to, mask.cols - band) - std::max(from, band));
      nearBorder[c] += to - from - middle;
    }
  }
  std::vector<std::uint8_t> keep(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const int w = right[i] - left[i] + 1, h = bottom[i] - top[i] + 1;
    const double pixels = area[i];
    const int extent = std::max(w, h);
    // Mean width: the area over the extent; a root is long for its width.
    const bool longEnough = extent >= minLength;
    const bool thin = pixels / std::max(1, extent) <= 10.0 * rootWidth;
    const bool alongBorder = nearBorder[i] * 2 > pixels;
    keep[i] = longEnough && thin && !alongBorder ? 1 : 0;
  }
  PaintRuns(runs, keep, mask);
}

void CopyPlane(const cv::Mat& plane, std::vector<std::uint8_t>& out) {
  out.clear();
  out.reserve(plane.total());
  for (int y = 0; y < plane.rows; ++y) out.insert(out.end(), plane.ptr(y), plane.ptr(y) + plane.cols);
}

// Fills the holes of mask smaller than most: a hairy or doubled root leaves
// small gaps that would become loops of the skeleton.
void FillSmallHoles(cv::Mat& mask, double most) {
  std::vector<std::vector<cv::Point>> contours;
  std::vector<cv::Vec4i> hierarchy;
  // (findContours works on a copy of its own.)
  cv::findContours(mask, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
  for (std::size_t i = 0; i < contours.size(); ++i)
    if (hierarchy[i][3] >= 0 && cv::contourArea(contours[i]) < most)
      cv::drawContours(mask, contours, static_cast<int>(i), cv::Scalar(255), cv::FILLED);
}

// The area is where the background is that of most of it: a ruler or the
// cardboard taken in with the plate, a dark strip at the top of paper, a clip
// or the bench beside it are left out, with their edges (and their texture
// stays out of the noise the thresholds are measured against).
namespace {

template <int kCount>
void CommonPixels(const std::uint8_t* __restrict level, const std::uint8_t* __restrict region, int above,
                  int below, std::uint8_t* __restrict common) {
  for (int x = 0; x < kCount; ++x) {
    const int v = level[x];
    const std::uint8_t r = region[x];
    common[x] = ((v > above) & (v < below)) != 0 ? r : 0;
  }
}

}  // namespace

cv::Mat CommonBackground(const cv::Mat& background, const cv::Mat& region, int margin) {
  double median = 0, spread = 0;
  RobustSpread(HistogramOver<std::uint8_t>(background, region), median, spread);
  const double band = std::max(25.0, 4.0 * spread);
  // Levels are whole numbers: over median - band is over its whole part,
  // under median + band under the next whole number up.
  const int above = static_cast<int>(std::floor(median - band));
  const int below = static_cast<int>(std::ceil(median + band));
  cv::Mat common(background.size(), CV_8U);
  for (int y = 0; y < background.rows; ++y) {
    const auto* level = background.ptr<std::uint8_t>(y);
    const auto* r = region.ptr<std::uint8_t>(y);
    auto* c = common.ptr<std::uint8_t>(y);
    int x = 0;
    for (; x + kBlock <= background.cols; x += kBlock)
      CommonPixels<kBlock>(level + x, r + x, above, below, c + x);
    for (; x < background.cols; ++x) CommonPixels<1>(level + x, r + x, above, below, c + x);
  }
  return ErodeDisc(common, margin);
}
