// The plate in a photograph, and the erosion and dilation of masks the
// segmentation uses.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "image/detail/mask_tools.h"
#include "image/detail/segmentation_steps.h"

// Erosion and dilation of a mask by a diamond of the given radius (at most
// 254), through the city-block distance transform: the cost does not grow
// with the radius, and the distances are thresholded row by row into the
// result (image/detail/mask_tools.h).
// A mask without any clear pixel erodes to itself (the picture's border does
// not count as clear), and an empty one dilates to itself.
cv::Mat ErodeDisc(const cv::Mat& mask, double radius) {
  if (cv::countNonZero(mask) == static_cast<int>(mask.total())) return mask.clone();
  return DistanceOver(mask, std::min(radius, 254.0));
}
cv::Mat DilateDisc(const cv::Mat& mask, double radius) {
  if (cv::countNonZero(mask) == 0) return mask.clone();
  return DistanceToSetAtMost(mask, std::min(radius, 254.0));
}

namespace {

// The side of the plate each pixel lies on, as its position from the middle
// of the outline's box falls: 0 top, 1 bottom, 2 left, 3 right.
cv::Mat PlateSides(cv::Size size, const cv::Rect& box) {
  cv::Mat sides(size, CV_8U);
  const double midX = box.x + box.width / 2.0, midY = box.y + box.height / 2.0;
  for (int y = 0; y < size.height; ++y) {
    const double v = std::abs((y - midY) / (box.height / 2.0));
    auto* row = sides.ptr<std::uint8_t>(y);
    for (int x = 0; x < size.width; ++x) {
      const double u = (x - midX) / (box.width / 2.0);
      row[x] = std::abs(u) > v ? (u < 0 ? 2 : 3) : (y < midY ? 0 : 1);
    }
  }
  return sides;
}

// The inside of the plate's outline (on the small, blurred picture), the rim
// and its reflections left out. On each side the rim ends where the strong
// edges (stronger than nearly all of the plate's inside, away from the rim)
// no longer fill a band along the outline, and the inside begins a little
// further in; at most 6% of the plate's smaller side within the outline. A
// scan cut close to a narrow rim keeps the roots that reach down to it, and
// the wide reflections of a photo stay out.
cv::Mat InsideRim(const cv::Mat& small, const cv::Mat& region, const cv::Rect& box) {
  const double side = std::min(box.width, box.height);
  const double widest = std::max(1.5, side * 0.06);
  cv::Mat gradX, gradY, magnitude, distance;
  cv::Sobel(small, gradX, CV_32F, 1, 0);
  cv::Sobel(small, gradY, CV_32F, 0, 1);
  cv::magnitude(gradX, gradY, magnitude);
  cv::distanceTransform(region, distance, cv::DIST_L1, 3);
  std::vector<float> inner;
  for (int y = 0; y < small.rows; ++y)
    for (int x = 0; x < small.cols; ++x)
      if (distance.at<float>(y, x) > 2 * widest) inner.push_back(magnitude.at<float>(y, x));
  if (inner.size() < 100) return ErodeDisc(region, widest);
  const auto quantile = [&inner](double q) {
    const auto k = inner.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(inner.size() - 1));
    std::nth_element(inner.begin(), k, inner.end());
    return *k;
  };
  const float strong = std::max(4.0F * quantile(0.5), quantile(0.9));
  const cv::Mat sides = PlateSides(small.size(), box);
  // Pixels and strong edges in each side's bands, one pixel wide.
  const int bands = static_cast<int>(std::ceil(widest));
  std::vector<std::array<int, 2>> counts(static_cast<std::size_t>(4 * bands), {0, 0});
  for (int y = 0; y < small.rows; ++y)
    for (int x = 0; x < small.cols; ++x) {
      const float d = distance.at<float>(y, x);
      if (d <= 0.0F || d > static_cast<float>(bands)) continue;
      auto& c = counts[static_cast<std::size_t>(sides.at<std::uint8_t>(y, x) * bands) +
                       static_cast<std::size_t>(std::ceil(d)) - 1];
      ++c[0];
      if (magnitude.at<float>(y, x) > strong) ++c[1];
    }
  const double margin = std::max(2.0, side * 0.01);
  cv::Mat inside(region.size(), CV_8U, cv::Scalar(0));
  std::vector<std::pair<double, cv::Mat>> eroded;
  for (int s = 0; s < 4; ++s) {
    int rim = 0;
    for (int d = 1; d <= bands; ++d) {
      const auto& c = counts[static_cast<std::size_t>(s * bands + d - 1)];
      if (c[0] > 0 && c[1] >= 0.15 * c[0]) rim = d;
    }
    const double inset = std::min(widest, std::max(1.5, rim + margin));
    auto it = std::find_if(eroded.begin(), eroded.end(), [inset](const auto& e) { return e.first == inset; });
    if (it == eroded.end()) it = eroded.insert(eroded.end(), {inset, ErodeDisc(region, inset)});
    it->second.copyTo(inside, sides == s);
  }
  return inside;
}

}  // namespace

// The plate: the largest bright region set off from a darker surrounding
// that does not run along the picture's border, holes filled. Returns the
// mask of its inside at full size (empty when none is plausible) and the
// bounding box of its outline.
cv::Mat FindPlateRegion(const cv::Mat& grey, cv::Mat neutral, cv::Rect& box) {
  const int longest = std::max(grey.cols, grey.rows);
  const double f = longest > 400 ? 400.0 / longest : 1.0;
  cv::Mat small;
  cv::resize(grey, small, cv::Size(), f, f, cv::INTER_AREA);
  cv::GaussianBlur(small, small, cv::Size(), 2.0);
  cv::Mat bright;
  const double level = cv::threshold(small, bright, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
  // Thin bridges (a rim reflection touching the box around) are cut; but a
  // thin bright rim around darker agar is the plate's outline itself, so the
  // regions are looked for with and without the cut.
  const int k = Odd(std::max(3, static_cast<int>(std::lround(small.cols * 0.02))));
  const cv::Mat cut = cv::getStructuringElement(cv::MORPH_ELLIPSE, {k, k});
  std::vector<cv::Mat> candidates{bright};
  // A ruler or cardboard lying against the plate is often as bright as it,
  // but coloured: the plate is also looked for among the grey pixels only,
  // down to a somewhat darker level (agar in shade).
  if (!neutral.empty()) {
    cv::Mat grey8;
    cv::resize(neutral, grey8, small.size(), 0, 0, cv::INTER_AREA);
    neutral.release();
    for (const double t : {level, 0.75 * level}) candidates.push_back((small > t) & (grey8 > 127));
  }
  std::vector<std::vector<cv::Point>> contours;
  for (const cv::Mat& mask : candidates) {
    cv::Mat opened;
    cv::morphologyEx(mask, opened, cv::MORPH_OPEN, cut);
    // Each bright region with its holes filled (a plate's rim alone is a ring
    // around darker agar; roots, writing and a ruler make holes in a bright one).
    for (const cv::Mat* m : {static_cast<const cv::Mat*>(&opened), &mask}) {
      std::vector<std::vector<cv::Point>> found;
      cv::findContours(*m, found, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
      contours.insert(contours.end(), found.begin(), found.end());
    }
  }
  const double total = static_cast<double>(small.cols) * small.rows;
  int best = -1;
  double bestScore = 0;
  for (std::size_t i = 0; i < contours.size(); ++i) {
    const cv::Rect r = cv::boundingRect(contours[i]);
    const double area = cv::contourArea(contours[i]);
    if (area < 0.08 * total) continue;
    const int borders = (r.x <= 1 ? 1 : 0) + (r.y <= 1 ? 1 : 0) + (r.x + r.width >= small.cols - 1 ? 1 : 0) +
                        (r.y + r.height >= small.rows - 1 ? 1 : 0);
    if (borders >= 2) continue;
    // A plate fills most of its bounding box (a round dish 79%), and is convex.
    const double fill = area / (static_cast<double>(r.width) * r.height);
    if (fill < 0.6) continue;
    std::vector<cv::Point> hull;
    cv::convexHull(contours[i], hull);
    const double solidity = area / std::max(1.0, cv::contourArea(hull));
    const double score = area * fill * solidity / (1.0 + borders);
    if (score > bestScore) {
      bestScore = score;
      best = static_cast<int>(i);
      contours[i] = std::move(hull);
    }
  }
  if (best < 0) {
    // No bright plate on a darker ground (a light box, a scan filled by the
    // plate): the rim's outline among the picture's edges, the largest
    // convex shape they draw.
    cv::Mat edges;
    cv::Mat gradX, gradY, magnitude;
    cv::Sobel(small, gradX, CV_16S, 1, 0);
    cv::Sobel(small, gradY, CV_16S, 0, 1);
    cv::convertScaleAbs(gradX, gradX);
    cv::convertScaleAbs(gradY, gradY);
    cv::addWeighted(gradX, 0.5, gradY, 0.5, 0, magnitude);
    cv::threshold(magnitude, edges, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    // The rim is drawn in pieces (reflections, marker strokes at its
    // corners): the plate is the convex hull of every strong edge away from
    // the picture's border.
    const int frame = std::max(2, small.cols / 50);
    edges(cv::Rect(0, 0, edges.cols, frame)).setTo(0);
    edges(cv::Rect(0, edges.rows - frame, edges.cols, frame)).setTo(0);
    edges(cv::Rect(0, 0, frame, edges.rows)).setTo(0);
    edges(cv::Rect(edges.cols - frame, 0, frame, edges.rows)).setTo(0);
    std::vector<cv::Point> points;
    cv::findNonZero(edges, points);
    if (points.size() >= 3) {
      std::vector<cv::Point> hull;
      cv::convexHull(points, hull);
      if (cv::contourArea(hull) >= 0.2 * total) {
        contours.assign(1, hull);
        best = 0;
      }
    }
  }
  if (best < 0) return {};
  cv::Mat region(small.size(), CV_8U, cv::Scalar(0));
  cv::drawContours(region, contours, best, cv::Scalar(255), cv::FILLED);
  const cv::Rect outer = cv::boundingRect(region);
  box = cv::Rect(static_cast<int>(outer.x / f), static_cast<int>(outer.y / f),
                 static_cast<int>(outer.width / f), static_cast<int>(outer.height / f));
  region = InsideRim(small, region, outer);
  cv::Mat full;
  cv::resize(region, full, grey.size(), 0, 0, cv::INTER_NEAREST);
  return full;
}
