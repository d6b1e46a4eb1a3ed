// The ground's level around each cell of the background's grid: the ground
// between crowded lines, not their mean; leaves left out unless they cover
// nearly all around; and the area kept where crowded lines raise the mean
// but not the ground, while a strip unlike the rest stays out.
#include "image/detail/ground_level.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "image/detail/segmentation_steps.h"

namespace {

// Ground at level 60, with bright lines 3 pixels wide every 8 rows (3 of 8
// pixels: more than a quarter, less than half) in the columns [left, right).
cv::Mat CrowdedLines(int width, int height, int left, int right) {
  cv::Mat grey(height, width, CV_8U, cv::Scalar(60));
  for (int y = 0; y + 3 <= height; y += 8) grey(cv::Rect(left, y, right - left, 3)).setTo(220);
  return grey;
}

TEST(GroundLevels, TheGroundBetweenCrowdedBrightLinesAndUnderCrowdedDarkOnes) {
  const cv::Mat bright = CrowdedLines(64, 64, 0, 64);
  const cv::Mat levels = GroundLevels(bright, cv::Mat(), {4, 4}, 1, 0.25);
  ASSERT_EQ(levels.size(), cv::Size(4, 4));
  EXPECT_EQ(cv::countNonZero(levels != 60), 0);
  // The cells' mean is raised by the lines.
  cv::Mat mean;
  cv::resize(bright, mean, {4, 4}, 0, 0, cv::INTER_AREA);
  EXPECT_EQ(cv::countNonZero(mean < 100), 0);
  const cv::Mat dark = 280 - bright;  // ground 220, lines 60
  EXPECT_EQ(cv::countNonZero(GroundLevels(dark, cv::Mat(), {4, 4}, 1, 0.75) != 220), 0);
}

TEST(GroundLevels, TheNeighbourhoodOfEachCellOnly) {
  // Lines in the right half only, over a brighter ground: the cells beside
  // the left half take in its ground, the others keep their own.
  cv::Mat grey = CrowdedLines(64, 16, 32, 64);
  grey(cv::Rect(32, 0, 32, 16)) += 40;  // ground 100 under the lines
  const cv::Mat levels = GroundLevels(grey, cv::Mat(), {8, 2}, 1, 0.25);
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(levels.at<std::uint8_t>(0, c), c <= 4 ? 60 : 100) << "cell " << c;
    EXPECT_EQ(levels.at<std::uint8_t>(1, c), levels.at<std::uint8_t>(0, c)) << "cell " << c;
  }
}

TEST(GroundLevels, LeavesAreLeftOutUnlessTheyCoverNearlyAllAround) {
  cv::Mat grey(32, 32, CV_8U, cv::Scalar(60));
  cv::Mat leaves(grey.size(), CV_8U, cv::Scalar(0));
  // Bright leaves over 60% of the picture: a quarter of the rest is no
  // longer ground once they are counted.
  leaves(cv::Rect(0, 0, 32, 19)).setTo(255);
  grey.setTo(200, leaves);
  EXPECT_EQ(cv::countNonZero(GroundLevels(grey, leaves, {1, 1}, 0, 0.5) != 60), 0);
  EXPECT_EQ(cv::countNonZero(GroundLevels(grey, cv::Mat(), {1, 1}, 0, 0.5) != 200), 0);
  // Nearly all of it left out: all of it counts.
  leaves(cv::Rect(0, 0, 32, 30)).setTo(255);
  grey.setTo(200, leaves);
  EXPECT_EQ(cv::countNonZero(GroundLevels(grey, leaves, {1, 1}, 0, 0.5) != 200), 0);
}

TEST(GroundLevels, SizesThatDoNotFitGiveNoLevels) {
  const cv::Mat grey(8, 8, CV_8U, cv::Scalar(60));
  EXPECT_TRUE(GroundLevels(grey, cv::Mat(), {9, 1}, 1, 0.25).empty());
  EXPECT_TRUE(GroundLevels(grey, cv::Mat(), {0, 1}, 1, 0.25).empty());
  EXPECT_TRUE(GroundLevels(grey, cv::Mat(4, 4, CV_8U, cv::Scalar(0)), {2, 2}, 1, 0.25).empty());
  EXPECT_EQ(GroundLevels(grey, cv::Mat(), {8, 8}, 0, 0.25).size(), cv::Size(8, 8));
}

TEST(CommonArea, CrowdedLinesStayInTheAreaAndADarkStripStaysOut) {
  // Ground at 60, a dark strip along the top, and a crowd of bright lines
  // that raises the mean far above the rest.
  cv::Mat grey = CrowdedLines(384, 384, 128, 256);
  grey(cv::Rect(0, 0, 384, 96)).setTo(60);
  grey(cv::Rect(0, 224, 384, 160)).setTo(60);
  grey(cv::Rect(0, 0, 384, 48)).setTo(10);
  const cv::Size coarse(24, 24);
  cv::Mat background;
  cv::resize(grey, background, coarse, 0, 0, cv::INTER_AREA);
  cv::resize(background, background, grey.size(), 0, 0, cv::INTER_LINEAR);
  const cv::Mat region(grey.size(), CV_8U, cv::Scalar(255));
  const cv::Mat area = CommonArea(grey, cv::Mat(), background, region, coarse, false, 4);
  EXPECT_EQ(cv::countNonZero(area(cv::Rect(0, 0, 384, 48))), 0);
  // (The mean alone leaves the crowd out.)
  EXPECT_GT(cv::countNonZero(CommonBackground(background, region, 4)(cv::Rect(128, 96, 128, 128)) == 0),
            8000);
  EXPECT_EQ(cv::countNonZero(area(cv::Rect(0, 80, 384, 304)) == 0), 0);
  // Dark lines on a light ground (a label's print as well as roots): the
  // mean alone decides.
  const cv::Mat light = 255 - grey, lightBackground = 255 - background;
  const cv::Mat dark = CommonArea(light, cv::Mat(), lightBackground, region, coarse, true, 4);
  EXPECT_EQ(cv::countNonZero(dark != CommonBackground(lightBackground, region, 4)), 0);
}

}  // namespace
