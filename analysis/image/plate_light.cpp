#include "image/detail/plate_light.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

// The median grey level where mask is set (or of the whole plane when mask
// is empty), from its histogram.
int MedianLevel(const cv::Mat& grey, const cv::Mat& mask) {
  cv::Mat hist;
  const int channels[] = {0};
  const int sizes[] = {256};
  const float range[] = {0, 256};
  const float* ranges[] = {range};
  cv::calcHist(&grey, 1, channels, mask, hist, 1, sizes, ranges);
  const double half = cv::sum(hist)[0] / 2.0;
  double seen = 0;
  for (int level = 0; level < 256; ++level) {
    seen += hist.at<float>(level);
    if (seen >= half) return level;
  }
  return 255;
}

// Whether the roots of a plate are darker than its agar: a plate lit from
// behind (a light box, a scanner's lamp through it) is bright, and no
// brighter than what lies just around it, and its roots cast shadows; a plate
// lit from the front on a dark ground is brighter than its ground, or dark
// itself, and its roots shine.
bool BacklitPlate(const cv::Mat& grey, const cv::Mat& inside, const cv::Rect& outline) {
  // The ground a little away from the outline found: a plate's rim or the
  // tape around it lies just beyond it.
  const int side = std::min(outline.width, outline.height);
  const auto grown = [&](int by) {
    return cv::Rect(outline.x - by, outline.y - by, outline.width + 2 * by, outline.height + 2 * by) &
           cv::Rect(0, 0, grey.cols, grey.rows);
  };
  cv::Mat ring(grey.size(), CV_8U, cv::Scalar(0));
  ring(grown(std::max(4, side / 6))).setTo(255);
  ring(grown(std::max(2, side / 12))).setTo(0);
  const int agar = MedianLevel(grey, inside);
  if (cv::countNonZero(ring) == 0) return agar > 140;
  return agar >= 96 && MedianLevel(grey, ring) >= agar;
}

LeafLight LeafLevels(const cv::Mat& grey, const cv::Mat& leaves, const cv::Mat& around, int least) {
  LeafLight light;
  if (cv::countNonZero(leaves) < least || cv::countNonZero(around) < least) return light;
  light.leaf = MedianLevel(grey, leaves);
  light.ground = MedianLevel(grey, around);
  return light;
}

// A seedling's leaves are lit as its roots are: lit from behind, both cast
// shadows, whatever the light around the plate; lit from the front, both
// shine on a dark ground. Only leaves clearly darker or brighter than the
// ground around them (by a fifth of its level) say which.
PlantShade ShadeOf(const LeafLight& light) {
  if (light.leaf < 0 || light.ground < 0) return PlantShade::Unknown;
  if (5 * light.leaf <= 4 * light.ground) return PlantShade::Darker;
  if (4 * light.leaf >= 5 * light.ground) return PlantShade::Brighter;
  return PlantShade::Unknown;
}
