// How a plate is lit, for the adaptive segmentation.
#pragma once

#include <opencv2/core.hpp>

// The median grey level where mask is set (or of the whole plane when mask
// is empty).
int MedianLevel(const cv::Mat& grey, const cv::Mat& mask);

// Whether the roots of the plate whose outline box is outline and whose
// inside is inside (CV_8U planes of the picture's size) are darker than its
// agar: a plate lit from behind.
bool BacklitPlate(const cv::Mat& grey, const cv::Mat& inside, const cv::Rect& outline);

// The grey levels (medians) of the leaves and of the ground just around
// them, given as masks (CV_8U planes of grey's size); both -1 when either
// mask holds fewer than least pixels.
struct LeafLight {
  int leaf = -1;
  int ground = -1;
};
LeafLight LeafLevels(const cv::Mat& grey, const cv::Mat& leaves, const cv::Mat& around, int least);

// How the plants stand out of the ground, as their leaves do: Unknown
// without leaves, or with leaves about as light as the ground.
enum class PlantShade { Unknown, Darker, Brighter };
PlantShade ShadeOf(const LeafLight& light);
