// The steps of the root segmentation that stand on their own: the plate's
// search, erosion and dilation of masks, robust noise estimates, hysteresis,
// the removal of what is no root, and the area whose background is that of
// most of it. Planes are OpenCV matrices, top row first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

#include "image/detail/mask_tools.h"

// The loops over the pixels of a row run over blocks of kBlock pixels (a
// count the compiler knows, on rows it knows apart): each block becomes a
// few vector instructions, at -O2 too; the last pixels go one at a time.
constexpr int kBlock = 16;

constexpr int kLevelOffset = 256;
// Counts of the levels -256 to 255 (a signed grey-level difference), and
// how many there are.
struct LevelHistogram {
  std::vector<long> counts = std::vector<long>(std::size_t{2} * kLevelOffset, 0);
  long total = 0;
};

// Histograms are counted from a row of bins, the bin kLeftOut for the pixels
// left out (no branch for each pixel), in four histograms taking turns (a
// run of equal levels would otherwise wait on one counter), summed at the
// end.
constexpr std::uint16_t kLeftOut = 2 * kLevelOffset;
class LevelCounter {
 public:
  void add(const std::uint16_t* bins, int n) {
    int x = 0;
    for (; x + 4 <= n; x += 4)
      for (std::size_t k = 0; k < 4; ++k) ++counts_[k * kStride + bins[static_cast<std::size_t>(x) + k]];
    for (; x < n; ++x) ++counts_[bins[static_cast<std::size_t>(x)]];
  }
  LevelHistogram histogram() const {
    LevelHistogram h;
    for (std::size_t k = 0; k < 4; ++k)
      for (std::size_t v = 0; v < h.counts.size(); ++v) {
        h.counts[v] += counts_[k * kStride + v];
        h.total += counts_[k * kStride + v];
      }
    return h;
  }

 private:
  static constexpr std::size_t kStride = std::size_t{kLeftOut} + 1;
  std::vector<long> counts_ = std::vector<long>(4 * kStride, 0);
};

// The odd number n or n + 1 (the size of a centred kernel).
inline int Odd(int n) { return n % 2 == 0 ? n + 1 : n; }

// Erosion and dilation of a mask by a diamond of the given radius (at most
// 254), through the city-block distance transform: the cost does not grow
// with the radius. A mask without any clear pixel erodes to itself (the
// picture's border does not count as clear), and an empty one dilates to
// itself.
cv::Mat ErodeDisc(const cv::Mat& mask, double radius);
cv::Mat DilateDisc(const cv::Mat& mask, double radius);

// The plate: the largest bright region set off from a darker surrounding
// that does not run along the picture's border, holes filled. Returns the
// mask of its inside at full size (empty when none is plausible) and the
// bounding box of its outline; neutral: 255 where a pixel is grey rather than
// coloured.
cv::Mat FindPlateRegion(const cv::Mat& grey, cv::Mat neutral, cv::Rect& box);

// Median and robust spread of a histogram's levels: 1.4826 x the median
// absolute deviation from the median (the spread of a normal distribution's
// values), at least 1.
void RobustSpread(const LevelHistogram& h, double& median, double& sigma);
// Median and robust spread of a signed plane (CV_16S) where mask is set.
void RobustSpread(const cv::Mat& plane, const cv::Mat& mask, double& median, double& sigma);

// A mask of 0 and 255 kept as its runs (a plate's inside is one run a row),
// painted again.
cv::Mat PaintedMask(const MaskRuns& runs, cv::Size size);
// Keeps the components of low that hold a pixel of high: low's own plane,
// the others cleared from it.
cv::Mat Hysteresis(cv::Mat low, const cv::Mat& high);
// The width of the lines of clear that are at least minLength long: twice
// the median distance to their edge along their ridges, less one; 0 without
// such lines.
int LineWidth(const cv::Mat& clear, int minLength);
// Leaves out components that cannot be roots: too small, blobs (neither
// long nor thin), and lines that run along the border of the area (a rim,
// the edge of the paper) for most of their pixels.
void DropNonRoots(cv::Mat& mask, int rootWidth, int minLength);
// The plane's pixels, row by row, into out.
void CopyPlane(const cv::Mat& plane, std::vector<std::uint8_t>& out);
// Fills the holes of mask smaller than most: a hairy or doubled root leaves
// small gaps that would become loops of the skeleton.
void FillSmallHoles(cv::Mat& mask, double most);
// The area of region where the background is that of most of it: a ruler or
// the cardboard taken in with the plate, a dark strip at the top of paper, a
// clip or the bench beside it are left out, with margin pixels of their
// edges.
cv::Mat CommonBackground(const cv::Mat& background, const cv::Mat& region, int margin);
