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
