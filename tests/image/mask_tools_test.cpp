// The components of a mask found on its runs are OpenCV's 8-connected
// components: the same pixels together, and the same statistics in the same
// order, on sparse and dense masks, thin lines and blobs, small pictures and
// pictures large enough for OpenCV to label them in parallel stripes. The
// thresholded city-block distances are OpenCV's distance transform compared,
// and the area reductions are cv::resize's to the last bit.
#include "image/detail/mask_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace {

cv::Mat RandomMask(cv::RNG& rng, int width, int height, double density, bool blobs) {
  cv::Mat noise(height, width, CV_32F);
  rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
  if (blobs) {
    cv::GaussianBlur(noise, noise, cv::Size(), 2.0);
    cv::normalize(noise, noise, 0.0, 1.0, cv::NORM_MINMAX);
  }
  cv::Mat mask = noise < density;
  return mask;
}

void ExpectSameAsOpenCv(const cv::Mat& mask) {
  cv::Mat labels, stats, centroids;
  const int n = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
  const std::vector<ComponentStats> found = MaskComponentStats(mask);
  ASSERT_EQ(found.size() + 1, static_cast<std::size_t>(n));
  for (int i = 1; i < n; ++i) {
    const ComponentStats& s = found[static_cast<std::size_t>(i - 1)];
    EXPECT_EQ(s.left, stats.at<int>(i, cv::CC_STAT_LEFT));
    EXPECT_EQ(s.top, stats.at<int>(i, cv::CC_STAT_TOP));
    EXPECT_EQ(s.width, stats.at<int>(i, cv::CC_STAT_WIDTH));
    EXPECT_EQ(s.height, stats.at<int>(i, cv::CC_STAT_HEIGHT));
    EXPECT_EQ(s.area, stats.at<int>(i, cv::CC_STAT_AREA));
    EXPECT_EQ(s.centroidX, centroids.at<double>(i, 0));
    EXPECT_EQ(s.centroidY, centroids.at<double>(i, 1));
  }
  // The runs' components are OpenCV's labels, numbered otherwise: one
  // component for each label and one label for each component.
  const MaskRuns runs = FindMaskRuns(mask);
  ASSERT_EQ(runs.components + 1, n);
  std::vector<int> labelOf(static_cast<std::size_t>(runs.components), 0);
  std::vector<int> componentOf(static_cast<std::size_t>(n), -1);
  for (int y = 0; y < mask.rows; ++y)
    for (int r = runs.rowFirst[static_cast<std::size_t>(y)];
         r < runs.rowFirst[static_cast<std::size_t>(y) + 1]; ++r) {
      const int c = runs.component[static_cast<std::size_t>(r)];
      for (int x = runs.begin[static_cast<std::size_t>(r)]; x < runs.end[static_cast<std::size_t>(r)]; ++x) {
        const int label = labels.at<int>(y, x);
        ASSERT_NE(label, 0);
        int& known = labelOf[static_cast<std::size_t>(c)];
        if (known == 0) known = label;
        ASSERT_EQ(known, label);
        int& back = componentOf[static_cast<std::size_t>(label)];
        if (back < 0) back = c;
        ASSERT_EQ(back, c);
      }
    }
  EXPECT_EQ(cv::countNonZero(mask), cv::countNonZero(labels));
}

TEST(MaskRuns, SmallMasksOfEveryDensity) {
  cv::RNG rng(12345);
  for (int t = 0; t < 300; ++t) {
    SCOPED_TRACE(t);
    const cv::Mat mask =
        RandomMask(rng, rng.uniform(1, 120), rng.uniform(1, 120), rng.uniform(0.0, 0.8), t % 3 == 0);
    ExpectSameAsOpenCv(mask);
  }
}

TEST(MaskRuns, LargeMasksLabelledInStripes) {
  cv::RNG rng(777);
  for (int t = 0; t < 6; ++t) {
    SCOPED_TRACE(t);
    const cv::Mat mask =
        RandomMask(rng, rng.uniform(1500, 2600), rng.uniform(1500, 2600), rng.uniform(0.05, 0.6), t % 2 == 0);
    ExpectSameAsOpenCv(mask);
  }
}

TEST(MaskRuns, EdgeCases) {
  ExpectSameAsOpenCv(cv::Mat(1, 1, CV_8U, cv::Scalar(0)));
  ExpectSameAsOpenCv(cv::Mat(1, 1, CV_8U, cv::Scalar(255)));
  ExpectSameAsOpenCv(cv::Mat(7, 13, CV_8U, cv::Scalar(1)));
  // A diagonal line is one component; a checkerboard is one too.
  cv::Mat diagonal(40, 40, CV_8U, cv::Scalar(0));
  for (int i = 0; i < 40; ++i) diagonal.at<std::uint8_t>(i, 39 - i) = 9;
  ExpectSameAsOpenCv(diagonal);
  EXPECT_EQ(FindMaskRuns(diagonal).components, 1);
  cv::Mat board(33, 31, CV_8U);
  for (int y = 0; y < board.rows; ++y)
    for (int x = 0; x < board.cols; ++x) board.at<std::uint8_t>(y, x) = (x + y) % 2 == 0 ? 255 : 0;
  ExpectSameAsOpenCv(board);
  // A view into a larger picture (rows not contiguous).
  cv::RNG rng(5);
  const cv::Mat big = RandomMask(rng, 300, 200, 0.3, true);
  ExpectSameAsOpenCv(big(cv::Rect(17, 9, 201, 150)));
}

// What the segmentation did with OpenCV: the distance transform, then a
// comparison.
cv::Mat OpenCvOver(const cv::Mat& mask, double limit) {
  cv::Mat distance;
  cv::distanceTransform(mask, distance, cv::DIST_L1, cv::DIST_MASK_3, CV_8U);
  return distance > limit;
}
cv::Mat OpenCvToSetAtMost(const cv::Mat& mask, double limit) {
  cv::Mat distance;
  cv::distanceTransform(~mask, distance, cv::DIST_L1, cv::DIST_MASK_3, CV_8U);
  return distance <= limit;
}

// The distances kept on the runs are the transform's at every set pixel.
void ExpectSameRunDistances(const cv::Mat& mask) {
  cv::Mat distance;
  cv::distanceTransform(mask, distance, cv::DIST_L1, cv::DIST_MASK_3, CV_8U);
  const MaskRuns runs = FindMaskRuns(mask);
  const RunDistances ours = DistancesOnRuns(runs, mask.cols, mask.rows);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(mask.cols));
  for (int y = 0; y < mask.rows; ++y) {
    ours.fillRow(runs, y, row.data(), mask.cols);
    for (int x = 0; x < mask.cols; ++x)
      ASSERT_EQ(static_cast<int>(row[static_cast<std::size_t>(x)]),
                static_cast<int>(distance.at<std::uint8_t>(y, x)))
          << y << "," << x;
  }
}

void ExpectSameDistances(const cv::Mat& mask) {
  ExpectSameRunDistances(mask);
  for (const double limit : {0.0, 0.5, 1.0, 2.5, 3.0, 7.5, 40.0, 200.0, 254.0}) {
    SCOPED_TRACE(limit);
    EXPECT_EQ(cv::countNonZero(DistanceOver(mask, limit) != OpenCvOver(mask, limit)), 0);
    EXPECT_EQ(cv::countNonZero(DistanceToSetAtMost(mask, limit) != OpenCvToSetAtMost(mask, limit)), 0);
  }
}

TEST(MaskDistances, AsOpenCvThresholded) {
  cv::RNG rng(99);
  for (int t = 0; t < 60; ++t) {
    SCOPED_TRACE(t);
    cv::Mat mask =
        RandomMask(rng, rng.uniform(1, 150), rng.uniform(1, 150), rng.uniform(0.0, 1.0), t % 2 == 0);
    // Set pixels of other values than 255 count as set for the one and not
    // for the other, as in OpenCV.
    if (t % 5 == 0) mask.setTo(7, RandomMask(rng, mask.cols, mask.rows, 0.3, false));
    ExpectSameDistances(mask);
  }
  // Thin lines on a wide clear ground and their inverse: long runs of words
  // where nothing changes, broken at every offset.
  cv::Mat lines(403, 611, CV_8U, cv::Scalar(0));
  for (int i = 0; i < 12; ++i)
    cv::line(lines, {rng.uniform(0, 611), rng.uniform(0, 403)}, {rng.uniform(0, 611), rng.uniform(0, 403)},
             cv::Scalar(255), 1 + i % 4);
  ExpectSameDistances(lines);
  ExpectSameDistances(~lines);
  // Distances past 255, and masks without a clear or a set pixel.
  cv::Mat far(700, 620, CV_8U, cv::Scalar(255));
  far.at<std::uint8_t>(3, 5) = 0;
  ExpectSameDistances(far);
  ExpectSameDistances(~far);
  ExpectSameDistances(cv::Mat(300, 20, CV_8U, cv::Scalar(255)));
  ExpectSameDistances(cv::Mat(20, 300, CV_8U, cv::Scalar(0)));
  ExpectSameDistances(cv::Mat(1, 1, CV_8U, cv::Scalar(0)));
  ExpectSameDistances(cv::Mat(1, 9, CV_8U, cv::Scalar(255)));
}

// Reduces planes by area with AreaReduction, rows taken from the planes.
template <std::size_t kPlanes>
void ExpectSameReductions(const std::array<cv::Mat, kPlanes>& planes, cv::Size to) {
  const AreaReduction reduction(planes[0].size(), to);
  if (!reduction.general()) return;
  std::array<cv::Mat, kPlanes> ours;
  std::array<cv::Mat*, kPlanes> out{};
  for (std::size_t k = 0; k < kPlanes; ++k) out[k] = &ours[k];
  reduction.reduce<kPlanes>(
      [&](std::size_t k, int y, std::uint8_t* scratch) -> const std::uint8_t* {
        // Half the rows through the scratch row.
        const auto* p = planes[k].template ptr<std::uint8_t>(y);
        if (y % 2 == 0) return p;
        std::copy(p, p + planes[k].cols, scratch);
        return scratch;
      },
      out);
  for (std::size_t k = 0; k < kPlanes; ++k) {
    cv::Mat theirs;
    cv::resize(planes[k], theirs, to, 0, 0, cv::INTER_AREA);
    ASSERT_EQ(ours[k].size(), theirs.size());
    EXPECT_EQ(cv::countNonZero(ours[k] != theirs), 0) << planes[k].size() << " to " << to;
  }
}

TEST(AreaReduction, AsCvResizeToTheLastBit) {
  cv::RNG rng(2024);
  int general = 0;
  for (int t = 0; t < 120; ++t) {
    const int width = rng.uniform(2, 900), height = rng.uniform(2, 900);
    const int factor = rng.uniform(2, 40);
    const cv::Size to(std::max(1, width / factor), std::max(1, height / factor));
    std::array<cv::Mat, 3> planes;
    for (cv::Mat& p : planes) {
      p.create(height, width, CV_8U);
      rng.fill(p, cv::RNG::UNIFORM, 0, 256);
      if (t % 2 == 0) cv::GaussianBlur(p, p, cv::Size(), 3.0);
    }
    planes[2] = RandomMask(rng, width, height, 0.5, true);
    if (AreaReduction(planes[0].size(), to).general()) ++general;
    ExpectSameReductions<3>(planes, to);
    ExpectSameReductions<1>(std::array<cv::Mat, 1>{planes[0]}, to);
  }
  EXPECT_GT(general, 60);
  // Whole-number scales are OpenCV's other way, left to it.
  EXPECT_FALSE(AreaReduction(cv::Size(400, 300), cv::Size(100, 75)).general());
  EXPECT_TRUE(AreaReduction(cv::Size(401, 300), cv::Size(100, 75)).general());
  // A large picture, reduced in parallel stripes by OpenCV.
  cv::Mat big(2437, 2291, CV_8U);
  rng.fill(big, cv::RNG::UNIFORM, 0, 256);
  ExpectSameReductions<1>(std::array<cv::Mat, 1>{big}, cv::Size(2291 / 14, 2437 / 14));
}

}  // namespace
