// Work on masks (CV_8U) of the adaptive segmentation, done as OpenCV does it
// with less memory and fewer passes over the picture.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

// The 8-connected components of a mask (set where non-zero), found on its
// runs of set pixels rather than on a plane of labels: a few bytes for each
// run instead of four for each pixel of the picture, and no pass over a plane
// of labels. The components are those of cv::connectedComponents with
// connectivity 8.
struct MaskRuns {
  // The runs of row y are [rowFirst[y], rowFirst[y + 1]).
  std::vector<int> rowFirst;
  // Each run's columns, [begin, end).
  std::vector<int> begin, end;
  // Each run's component, numbered from 0 in the order of the components'
  // first runs (top row first, then left to right).
  std::vector<int> component;
  int components = 0;
};

MaskRuns FindMaskRuns(const cv::Mat& mask);

// The city-block distance (at most 255) of every set pixel to the nearest
// clear one (the picture's border is not clear), as cv::distanceTransform
// (DIST_L1, CV_8U) gives it, kept for the set pixels alone: run r's from
// first[r] on. A sparse mask takes a few bytes, not a plane.
struct RunDistances {
  std::vector<std::size_t> first;
  std::vector<std::uint8_t> distance;
  // Row y of the distances into row (width bytes), 0 where clear.
  void fillRow(const MaskRuns& runs, int y, std::uint8_t* row, int width) const;
};
RunDistances DistancesOnRuns(const MaskRuns& runs, int width, int height);

// What cv::connectedComponentsWithStats tells of a component, the
// background left out.
struct ComponentStats {
  int left = 0, top = 0, width = 0, height = 0;
  int area = 0;
  double centroidX = 0.0, centroidY = 0.0;
};

// The components of mask with their statistics, in the order in which
// cv::connectedComponentsWithStats (8-connected) numbers them from 1: by the
// first 2 x 2 block (top block row first, then left to right) of the picture
// that holds a pixel of theirs.
std::vector<ComponentStats> MaskComponentStats(const cv::Mat& mask);

// 255 where the city-block distance of a pixel to the nearest clear (zero)
// pixel of mask is over limit, 0 elsewhere; no clear pixel is at 255. What
// cv::distanceTransform (DIST_L1, CV_8U) and a comparison give, in one plane.
cv::Mat DistanceOver(const cv::Mat& mask, double limit);

// 255 where the city-block distance of a pixel to the nearest pixel of mask
// at 255 is at most limit, 0 elsewhere (the distance transform of ~mask
// compared).
cv::Mat DistanceToSetAtMost(const cv::Mat& mask, double limit);

// cv::resize with INTER_AREA of planes (CV_8U) of one size to a smaller one,
// several planes in one pass over their rows, the same to the last bit: each
// plane's rows are made as they are read (a plane masked, or a mask
// inverted, needs no plane of its own). OpenCV takes another way where both
// scales are whole numbers: general() is false then, and reduce() must not
// be called.
class AreaReduction {
 public:
  AreaReduction(cv::Size from, cv::Size to);
  bool general() const { return general_; }

  // out[k] becomes plane k reduced; row(k, y, scratch) gives row y of
  // plane k (from.width bytes): a row of the plane itself, or scratch (as
  // many bytes) written with it, left alone until the reduction is done with
  // it. Stripes of reduced rows are made in parallel, as OpenCV makes them:
  // row is called from several threads at once.
  template <std::size_t kPlanes, class Row>
  void reduce(Row row, const std::array<cv::Mat*, kPlanes>& out) const;

 private:
  // The source pixels of each reduced pixel along one axis and their
  // weights: reduced pixel d takes sources [first[d], first[d + 1]).
  struct Parts {
    std::vector<int> first, source;
    std::vector<float> weight;
  };
  static Parts Along(int from, int to, double scale);
  cv::Size from_, to_;
  bool general_ = false;
  Parts columns_, rows_;
};

template <std::size_t kPlanes, class Row>
void AreaReduction::reduce(Row row, const std::array<cv::Mat*, kPlanes>& out) const {
  for (cv::Mat* m : out) m->create(to_, CV_8U);
  std::array<float, 256> level{};
  for (std::size_t v = 0; v < level.size(); ++v) level[v] = static_cast<float>(v);
  // OpenCV's operations in OpenCV's order: for each source row (as many
  // times as reduced rows take it), each reduced pixel's sum across it; then
  // the reduced row's sum of those, weighted. The sums across of kBatch
  // source rows and of every plane are made side by side, in registers: they
  // do not wait on one another.
  constexpr std::size_t kBatch = 4;
  const auto width = static_cast<std::size_t>(to_.width);
  const auto sourceWidth = static_cast<std::size_t>(from_.width);
  const auto stripe = [&](const cv::Range& range) {
    std::vector<std::uint8_t> scratch(kBatch * kPlanes * sourceWidth);
    std::vector<float> across(kBatch * kPlanes * width), sum(kPlanes * width, 0.0F);
    const auto begin = static_cast<std::size_t>(rows_.first[static_cast<std::size_t>(range.start)]);
    const auto end = static_cast<std::size_t>(rows_.first[static_cast<std::size_t>(range.end)]);
    auto reduced = static_cast<std::size_t>(range.start);  // the reduced row of entry e
    for (std::size_t e0 = begin; e0 < end; e0 += kBatch) {
      const std::size_t n = std::min(kBatch, end - e0);
      std::array<std::array<const std::uint8_t*, kPlanes>, kBatch> source{};
      for (std::size_t j = 0; j < kBatch; ++j)
        for (std::size_t k = 0; k < kPlanes; ++k)
          source[j][k] = j < n
                             ? row(k, rows_.source[e0 + j], scratch.data() + (j * kPlanes + k) * sourceWidth)
                             : source[0][k];
      for (std::size_t x = 0; x < width; ++x) {
        std::array<std::array<float, kPlanes>, kBatch> a{};
        for (int c = columns_.first[x]; c < columns_.first[x + 1]; ++c) {
          const auto ci = static_cast<std::size_t>(c);
          const auto at = static_cast<std::size_t>(columns_.source[ci]);
          const float w = columns_.weight[ci];
          for (std::size_t j = 0; j < kBatch; ++j)
            for (std::size_t k = 0; k < kPlanes; ++k) a[j][k] += level[source[j][k][at]] * w;
        }
        for (std::size_t j = 0; j < kBatch; ++j)
          for (std::size_t k = 0; k < kPlanes; ++k) across[(j * kPlanes + k) * width + x] = a[j][k];
      }
      for (std::size_t j = 0; j < n; ++j) {
        const std::size_t e = e0 + j;
        while (static_cast<std::size_t>(rows_.first[reduced + 1]) <= e) ++reduced;
        const float beta = rows_.weight[e];
        const bool firstOfRow = e == static_cast<std::size_t>(rows_.first[reduced]);
        for (std::size_t k = 0; k < kPlanes; ++k) {
          const float* from = across.data() + (j * kPlanes + k) * width;
          float* to = sum.data() + k * width;
          for (std::size_t x = 0; x < width; ++x)
            to[x] = firstOfRow ? beta * from[x] : to[x] + beta * from[x];
        }
        if (e + 1 == static_cast<std::size_t>(rows_.first[reduced + 1]))
          for (std::size_t k = 0; k < kPlanes; ++k) {
            cv::Mat& plane = *out[k];
            auto* d = plane.ptr<std::uint8_t>(static_cast<int>(reduced));
            for (std::size_t x = 0; x < width; ++x)
              d[x] = cv::saturate_cast<std::uint8_t>(sum[k * width + x]);
          }
      }
    }
  };
  cv::parallel_for_(cv::Range(0, to_.height), stripe, static_cast<double>(to_.area()) / (1 << 16));
}
