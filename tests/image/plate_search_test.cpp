// The plate's inside in a picture: the rim and its reflections are left out,
// by as much as each side's rim is wide.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "image/detail/segmentation_steps.h"

namespace {

TEST(PlateSearch, TheInsideEndsWhereEachSidesRimEnds) {
  // A light plate 720 pixels square on a dark ground. Along its top edge
  // lie reflections 40 pixels wide; its bottom rim is one thin bright line
  // 8 pixels inside the outline (a scan cut close to the rim).
  cv::Mat grey(800, 800, CV_8U, cv::Scalar(20));
  grey(cv::Rect(40, 40, 720, 720)).setTo(100);
  for (int y = 40; y < 80; y += 4) grey(cv::Rect(40, y, 720, 2)).setTo(170);
  grey(cv::Rect(40, 748, 720, 3)).setTo(160);
  // Roots inside, which are no rim.
  for (int x = 120; x < 700; x += 60) cv::line(grey, {x, 120}, {x + 20, 700}, cv::Scalar(150), 3);
  cv::Rect box;
  const cv::Mat inside = FindPlateRegion(grey, cv::Mat(), box);
  ASSERT_FALSE(inside.empty());
  EXPECT_NEAR(box.y, 40, 3);
  EXPECT_NEAR(box.height, 720, 6);
  const auto rows = [&](int x) {
    int first = -1, last = -1;
    for (int y = 0; y < inside.rows; ++y)
      if (inside.at<std::uint8_t>(y, x) != 0) {
        if (first < 0) first = y;
        last = y;
      }
    return std::pair{first, last};
  };
  for (const int x : {200, 400, 600}) {
    SCOPED_TRACE(x);
    const auto [first, last] = rows(x);
    // The reflections stay out (6% of the plate within its outline at most).
    EXPECT_GE(first, 80);
    EXPECT_LE(first, 40 + 720 * 6 / 100 + 4);
    // The thin rim stays out too, and not much more: roots reaching down to
    // it are kept whole.
    EXPECT_LT(last, 748);
    EXPECT_GT(last, 760 - 720 * 6 / 100 + 10);
  }
}

}  // namespace
