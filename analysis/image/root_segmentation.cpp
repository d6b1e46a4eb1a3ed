#include "image/root_segmentation.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "image/detail/plate_light.h"

namespace {

// The grey picture (luminance) and the greenness of every pixel, top row first.
struct Planes {
  cv::Mat grey;  // CV_8U
  // CV_8U: how much greener than grey a pixel with the colour of a leaf is
  // (green less the mean of red and blue), 0 for every other pixel.
  cv::Mat green;
  // CV_8U: 255 where a pixel is white, grey or black rather than coloured
  // (read only to find the plate).
  cv::Mat neutral;
};

Planes ReadPlanes(const KW_PicDoc& doc, bool withNeutral) {
  Planes p;
  p.grey.create(doc.height, doc.width, CV_8U);
  p.green.create(doc.height, doc.width, CV_8U);
  if (withNeutral) p.neutral.create(doc.height, doc.width, CV_8U);
  for (int y = 0; y < doc.height; ++y) {
    const std::uint32_t* in = doc.pixels.data() + static_cast<std::size_t>(doc.height - 1 - y) *
                                                      static_cast<std::size_t>(doc.width);
    auto* g = p.grey.ptr<std::uint8_t>(y);
    auto* gr = p.green.ptr<std::uint8_t>(y);
    for (int x = 0; x < doc.width; ++x) {
      const int r = static_cast<int>((in[x] >> 16) & 0xFFU);
      const int gg = static_cast<int>((in[x] >> 8) & 0xFFU);
      const int b = static_cast<int>(in[x] & 0xFFU);
      g[x] = static_cast<std::uint8_t>((r * 77 + gg * 150 + b * 29) >> 8);
      // Green leaves, whatever the white balance: green the largest channel,
      // saturated and not dark (hue between yellow-green and cyan-green).
      const int lowest = std::min(r, b);
      const bool leafColour = gg >= r && gg >= b && gg > 60 && (gg - lowest) * 255 > 40 * gg;
      gr[x] = leafColour ? static_cast<std::uint8_t>(std::max(1, gg - (r + b) / 2)) : 0;
    }
    if (!withNeutral) continue;
    auto* n = p.neutral.ptr<std::uint8_t>(y);
    for (int x = 0; x < doc.width; ++x) {
      const int r = static_cast<int>((in[x] >> 16) & 0xFFU);
      const int gg = static_cast<int>((in[x] >> 8) & 0xFFU);
      const int b = static_cast<int>(in[x] & 0xFFU);
      const int most = std::max({r, gg, b});
      // Saturation under a fifth: agar, a plate's rim and tape, a light box;
      // not a wooden ruler, cardboard or a coloured bench.
      n[x] = (most - std::min({r, gg, b})) * 5 < most ? 255 : 0;
    }
  }
  return p;
}

int Odd(int n) { return n % 2 == 0 ? n + 1 : n; }

// Erosion and dilation of a mask by a diamond of the given radius (at most
// 254), through the city-block distance transform: the cost does not grow
// with the radius, and the distances take one byte per pixel.
// A mask without any clear pixel erodes to itself (the picture's border does
// not count as clear), and an empty one dilates to itself.
cv::Mat ErodeDisc(const cv::Mat& mask, double radius) {
  if (cv::countNonZero(mask) == static_cast<int>(mask.total())) return mask.clone();
  cv::Mat distance;
  cv::distanceTransform(mask, distance, cv::DIST_L1, cv::DIST_MASK_3, CV_8U);
  return distance > std::min(radius, 254.0);
}
cv::Mat DilateDisc(const cv::Mat& mask, double radius) {
  if (cv::countNonZero(mask) == 0) return mask.clone();
  cv::Mat distance;
  cv::distanceTransform(~mask, distance, cv::DIST_L1, cv::DIST_MASK_3, CV_8U);
  return distance <= std::min(radius, 254.0);
}

// The plate: the largest bright region set off from a darker surrounding
// that does not run along the picture's border, holes filled. Returns the
// mask of its inside at full size (empty when none is plausible) and the
// bounding box of its outline.
cv::Mat FindPlateRegion(const cv::Mat& grey, const cv::Mat& neutral, cv::Rect& box) {
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
  // The rim and its reflections are left out: the inside lies 6% of the
  // plate's smaller side within its outline (eroded where it is small).
  region = ErodeDisc(region, std::max(1.5, std::min(outer.width, outer.height) * 0.06));
  cv::Mat full;
  cv::resize(region, full, grey.size(), 0, 0, cv::INTER_NEAREST);
  return full;
}

// Median and robust spread of a signed plane where mask is set: 1.4826 x
// the median absolute deviation from the median (the spread of a normal
// distribution's values), at least 1.
void RobustSpread(const cv::Mat& plane, const cv::Mat& mask, double& median, double& sigma) {
  constexpr int kOffset = 256;
  std::vector<long> histogram(std::size_t{2} * kOffset, 0);
  long count = 0;
  for (int y = 0; y < plane.rows; ++y) {
    const auto* p = plane.ptr<std::int16_t>(y);
    const auto* m = mask.ptr<std::uint8_t>(y);
    for (int x = 0; x < plane.cols; ++x)
      if (m[x] != 0) {
        ++histogram[static_cast<std::size_t>(std::clamp(p[x] + kOffset, 0, 2 * kOffset - 1))];
        ++count;
      }
  }
  median = 0;
  sigma = 1;
  if (count == 0) return;
  const auto quantile = [count](const std::vector<long>& h, double q) {
    long seen = 0;
    for (std::size_t v = 0; v < h.size(); ++v) {
      seen += h[v];
      if (static_cast<double>(seen) >= q * static_cast<double>(count)) return static_cast<int>(v);
    }
    return static_cast<int>(h.size()) - 1;
  };
  const int med = quantile(histogram, 0.5);
  std::vector<long> deviations(std::size_t{2} * kOffset, 0);
  for (int v = 0; v < 2 * kOffset; ++v)
    deviations[static_cast<std::size_t>(std::abs(v - med))] += histogram[static_cast<std::size_t>(v)];
  median = med - kOffset;
  // Grey levels are whole numbers: half a level of spread is always there.
  sigma = std::max(1.0, 1.4826 * (quantile(deviations, 0.5) + 0.5));
}

// Keeps the components of low that hold a pixel of high.
cv::Mat Hysteresis(const cv::Mat& low, const cv::Mat& high) {
  cv::Mat labels;
  const int n = cv::connectedComponents(low, labels, 8, CV_32S);
  std::vector<std::uint8_t> keep(static_cast<std::size_t>(n), 0);
  for (int y = 0; y < high.rows; ++y) {
    const auto* h = high.ptr<std::uint8_t>(y);
    const auto* l = labels.ptr<int>(y);
    for (int x = 0; x < high.cols; ++x)
      if (h[x] != 0) keep[static_cast<std::size_t>(l[x])] = 1;
  }
  keep[0] = 0;
  cv::Mat out(low.size(), CV_8U);
  for (int y = 0; y < low.rows; ++y) {
    const auto* l = labels.ptr<int>(y);
    auto* o = out.ptr<std::uint8_t>(y);
    for (int x = 0; x < low.cols; ++x) o[x] = keep[static_cast<std::size_t>(l[x])] != 0 ? 255 : 0;
  }
  return out;
}

// Leaves out components that cannot be roots: too small, blobs (neither
// long nor thin), and lines that run along the border of the area (a rim,
// the edge of the paper) for most of their pixels.
void DropNonRoots(cv::Mat& mask, int rootWidth, int minLength) {
  cv::Mat labels, stats, centroids;
  const int n = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
  std::vector<std::uint8_t> keep(static_cast<std::size_t>(n), 0);
  std::vector<int> nearBorder(static_cast<std::size_t>(n), 0);
  const int band = std::max(3, std::min(mask.cols, mask.rows) / 20);
  for (int y = 0; y < mask.rows; ++y) {
    const auto* l = labels.ptr<int>(y);
    const bool rowNear = y < band || y >= mask.rows - band;
    for (int x = 0; x < mask.cols; ++x)
      if (l[x] != 0 && (rowNear || x < band || x >= mask.cols - band))
        ++nearBorder[static_cast<std::size_t>(l[x])];
  }
  for (int i = 1; i < n; ++i) {
    const int w = stats.at<int>(i, cv::CC_STAT_WIDTH), h = stats.at<int>(i, cv::CC_STAT_HEIGHT);
    const double area = stats.at<int>(i, cv::CC_STAT_AREA);
    const int extent = std::max(w, h);
    // Mean width: the area over the extent; a root is long for its width.
    const bool longEnough = extent >= minLength;
    const bool thin = area / std::max(1, extent) <= 10.0 * rootWidth;
    const bool alongBorder = nearBorder[static_cast<std::size_t>(i)] * 2 > area;
    keep[static_cast<std::size_t>(i)] = longEnough && thin && !alongBorder ? 1 : 0;
  }
  for (int y = 0; y < mask.rows; ++y) {
    const auto* l = labels.ptr<int>(y);
    auto* m = mask.ptr<std::uint8_t>(y);
    for (int x = 0; x < mask.cols; ++x) m[x] = keep[static_cast<std::size_t>(l[x])] != 0 ? 255 : 0;
  }
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
  cv::findContours(mask.clone(), contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
  for (std::size_t i = 0; i < contours.size(); ++i)
    if (hierarchy[i][3] >= 0 && cv::contourArea(contours[i]) < most)
      cv::drawContours(mask, contours, static_cast<int>(i), cv::Scalar(255), cv::FILLED);
}

// The area is where the background is that of most of it: a ruler or the
// cardboard taken in with the plate, a dark strip at the top of paper, a clip
// or the bench beside it are left out, with their edges (and their texture
// stays out of the noise the thresholds are measured against).
cv::Mat CommonBackground(const cv::Mat& background, const cv::Mat& region, int margin) {
  cv::Mat level;
  background.convertTo(level, CV_16S);
  double median = 0, spread = 0;
  RobustSpread(level, region, median, spread);
  const double band = std::max(25.0, 4.0 * spread);
  cv::Mat common = (level > median - band) & (level < median + band) & region;
  return ErodeDisc(common, margin);
}

// plane reduced to coarse, averaging only the pixels where mask is set;
// share: how much of each coarse cell the mask covers (0 to 1).
cv::Mat ReducedOver(const cv::Mat& plane, const cv::Mat& mask, const cv::Size& coarse, cv::Mat& share) {
  cv::Mat masked, sum;
  plane.copyTo(masked, mask);
  cv::resize(masked, sum, coarse, 0, 0, cv::INTER_AREA);
  cv::resize(mask, share, coarse, 0, 0, cv::INTER_AREA);
  sum.convertTo(sum, CV_32F);
  share.convertTo(share, CV_32F, 1.0 / 255.0);
  cv::Mat average = sum / cv::max(share, 0.05);
  average.convertTo(average, CV_8U);
  return average;
}

// Leaves are green, and thick: they start seedlings but are no roots. They
// are greener than what lies around them (a light box or a white balance can
// make the whole background a little green), judged at the background's
// scale (coarse).
cv::Mat FindLeaves(const cv::Mat& green, const cv::Mat& grey, const cv::Size& coarse) {
  // The greenness around, over what is not dark (a dark rim or label would
  // lower it and make the light beside it look green).
  const cv::Mat lit = grey > 50;
  cv::Mat share;
  cv::Mat around = ReducedOver(green, lit, coarse, share);
  cv::resize(around, around, grey.size(), 0, 0, cv::INTER_LINEAR);
  // Greener than around by well more than the colour noise (a camera's
  // compression makes blotches of colour on an even background).
  cv::Mat greener;
  cv::subtract(green, around, greener, cv::noArray(), CV_16S);
  double typical = 0, spread = 0;
  RobustSpread(greener, lit, typical, spread);
  cv::Mat leaves = (greener > typical + std::max(6.0, 4.0 * spread)) & lit;
  cv::morphologyEx(leaves, leaves, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
  return leaves;
}

// The grey picture reduced to coarse, averaged over what is not left out:
// leaves along a row of seedlings would otherwise raise the background
// around them, and the top of every root below them would vanish into it.
cv::Mat ReducedWithout(const cv::Mat& grey, const cv::Mat& leftOut, const cv::Size& coarse) {
  cv::Mat plain;
  cv::resize(grey, plain, coarse, 0, 0, cv::INTER_AREA);
  if (cv::countNonZero(leftOut) == 0) return plain;
  cv::Mat share;
  const cv::Mat average = ReducedOver(grey, ~leftOut, coarse, share);
  // Where nearly all of a cell is left out, the plain reduction stands.
  average.copyTo(plain, share >= 0.25);
  return plain;
}

// The background of grey at the scale coarse without its roots, to tell
// where the background is that of most of the area: where roots crowd (the
// laterals below a seedling) they raise the average of every coarse cell and
// no opening takes them out, and the crowd would pass for a background
// unlike the rest. What stands clearly out of the first background
// (residual, in region) and is thin (a rim or a ruler is no root) is left
// out, with leftOut; a cell mostly left out takes its background from the
// cells around it, and keeps its own average where nothing is seen around.
cv::Mat RootFreeBackground(const cv::Mat& grey, const cv::Mat& residual, const cv::Mat& leftOut,
                           const cv::Mat& region, const cv::Size& coarse, int rootWidth) {
  double median = 0, spread = 0;
  RobustSpread(residual, region, median, spread);
  cv::Mat roots = (residual > median + 4.0 * spread) & region;
  const int w = Odd(rootWidth * 2 + 1);
  roots &= ~DilateDisc(ErodeDisc(roots, w / 2.0), w / 2.0 + 2.0);
  cv::Mat share;
  cv::Mat average = ReducedOver(grey, ~(leftOut | DilateDisc(roots, rootWidth / 2.0)), coarse, share);
  average.convertTo(average, CV_32F);
  cv::Mat weighted = average.mul(share), around;
  cv::GaussianBlur(weighted, weighted, cv::Size(), 1.5);
  cv::GaussianBlur(share, around, cv::Size(), 1.5);
  cv::Mat seen = weighted / cv::max(around, 1e-3);
  cv::Mat plain;
  cv::resize(grey, plain, coarse, 0, 0, cv::INTER_AREA);
  plain.convertTo(plain, CV_32F);
  plain.copyTo(seen, around < 0.05);
  average.copyTo(seen, share >= 0.5);
  seen.convertTo(seen, CV_8U);
  cv::Mat full;
  cv::resize(seen, full, grey.size(), 0, 0, cv::INTER_LINEAR);
  return full;
}

RootSegmentation Segment(const Planes& planes, const cv::Mat& region, const cv::Rect& rect,
                         RootPolarity polarity, RootSegmentation out) {
  const cv::Mat grey = planes.grey(rect);
  cv::Mat inside = region(rect);
  const int side = std::min(rect.width, rect.height);
  // Roots are at most this wide; the background varies over longer distances.
  out.rootWidth = std::max(3, side / 80);
  // The background: the picture at a scale well above a root's width, where
  // roots vanish; a grey opening there takes bright lines out, a closing
  // dark ones.
  const int factor = std::max(2, out.rootWidth * 2);
  const cv::Size coarse(std::max(1, rect.width / factor), std::max(1, rect.height / factor));
  cv::Mat leaves = FindLeaves(planes.green(rect), grey, coarse);
  const cv::Mat leftOut = DilateDisc(leaves, out.rootWidth);
  cv::Mat small = ReducedWithout(grey, leftOut, coarse);
  const bool dark =
      polarity == RootPolarity::Dark || (polarity == RootPolarity::Auto && cv::mean(grey, inside)[0] > 140);
  out.darkRoots = dark;
  const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, {3, 3});
  cv::morphologyEx(small, small, dark ? cv::MORPH_CLOSE : cv::MORPH_OPEN, kernel);
  // Smoothed where it is small, so that no filter runs over the whole
  // picture at the background's scale.
  cv::GaussianBlur(small, small, cv::Size(), 0.7);
  cv::Mat background;
  cv::resize(small, background, grey.size(), 0, 0, cv::INTER_LINEAR);
  cv::Mat residual;
  if (dark)
    cv::subtract(background, grey, residual, cv::noArray(), CV_16S);
  else
    cv::subtract(grey, background, residual, cv::noArray(), CV_16S);
  // Line-like structures at the widths roots have: a little smoothing along
  // them adds up a root's pixels and averages the noise out.
  cv::GaussianBlur(residual, residual, cv::Size(), 0.8);
  inside = CommonBackground(RootFreeBackground(grey, residual, leftOut, inside, coarse, out.rootWidth),
                            inside, out.rootWidth * 2);
  double resMedian = 0, noise = 0;
  RobustSpread(residual, inside, resMedian, noise);
  out.noise = noise;
  out.threshold = resMedian + 4.0 * noise;
  // Hysteresis: a root holds pixels well above the noise, and goes on
  // through pixels that are only somewhat above it.
  cv::Mat high = residual > resMedian + 4.0 * noise;
  cv::Mat low = residual > resMedian + 2.5 * noise;
  low &= inside;
  high &= inside;
  leaves &= inside;
  {
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(leaves, labels, stats, centroids, 8, CV_32S);
    const int leafArea = std::max(6, out.rootWidth * out.rootWidth);
    for (int i = 1; i < n; ++i) {
      if (stats.at<int>(i, cv::CC_STAT_AREA) < leafArea) continue;
      out.seedlings.push_back({static_cast<int>(std::lround(centroids.at<double>(i, 0))),
                               stats.at<int>(i, cv::CC_STAT_TOP) + stats.at<int>(i, cv::CC_STAT_HEIGHT)});
    }
  }
  cv::Mat mask = Hysteresis(low, high);
  low.release();
  // Wide bright areas (a ruler, a label, a bubble's rim, a leaf) are no
  // roots: where the clear core of the mask survives an opening wider than a
  // root, the mask is taken out (the core: the faint fringe of a root does
  // not make it wide).
  const int w = Odd(out.rootWidth * 2 + 1);
  const cv::Mat wide = DilateDisc(ErodeDisc(high, w / 2.0), w / 2.0 + 2.0);
  mask &= ~wide;
  mask &= ~leaves;
  // A small closing joins a root broken by a darker stretch.
  cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, kernel);
  mask &= inside;
  FillSmallHoles(mask, 4.0 * out.rootWidth * out.rootWidth);
  DropNonRoots(mask, out.rootWidth, std::max(10, side / 25));
  out.area = {rect.x, rect.y, rect.width, rect.height};
  CopyPlane(mask, out.mask);
  cv::Mat strength;
  residual.convertTo(strength, CV_8U);
  CopyPlane(strength, out.strength);
  return out;
}

// Runs work, turning a failure of memory or of OpenCV into the reason.
template <class Work>
RootSegmentation Guarded(Work work) {
  RootSegmentation out;
  try {
    return work();
  } catch (const std::bad_alloc&) {
    out.problem = "not enough memory to analyse the picture";
  } catch (const cv::Exception& e) {
    out.problem = "the picture could not be analysed (" + e.err + ")";
  }
  return out;
}

}  // namespace

RootSegmentation SegmentRoots(const KW_PicDoc& doc, AreaSearch search, RootPolarity polarity) {
  if (!doc.hasPicture() || doc.width < 16 || doc.height < 16) {
    RootSegmentation out;
    out.problem = "the picture is too small to analyse";
    return out;
  }
  return Guarded([&] {
    RootSegmentation out;
    Planes planes = ReadPlanes(doc, search == AreaSearch::FindPlate);
    cv::Rect rect(0, 0, doc.width, doc.height);
    cv::Mat region;
    if (search == AreaSearch::FindPlate) {
      cv::Rect box;
      region = FindPlateRegion(planes.grey, planes.neutral, box);
      planes.neutral.release();
      if (!region.empty() && box.width >= 16 && box.height >= 16) rect = cv::boundingRect(region);
      if (region.empty() || box.width < 16 || box.height < 16 || rect.width < 16 || rect.height < 16) {
        out.problem = "no plate found in the picture";
        return out;
      }
      out.plateHeight = box.height;
      if (polarity == RootPolarity::Auto)
        polarity = BacklitPlate(planes.grey, region, box) ? RootPolarity::Dark : RootPolarity::Bright;
    } else {
      region = cv::Mat(doc.height, doc.width, CV_8U, cv::Scalar(255));
    }
    return Segment(planes, region, rect, polarity, std::move(out));
  });
}

RootSegmentation SegmentRootsInArea(const KW_PicDoc& doc, const AreaRect& area, RootPolarity polarity) {
  const cv::Rect rect(area.left, area.top, area.width, area.height);
  if (!doc.hasPicture() || rect.width < 16 || rect.height < 16 || rect.x < 0 || rect.y < 0 ||
      rect.x + rect.width > doc.width || rect.y + rect.height > doc.height) {
    RootSegmentation out;
    out.problem = "the area to analyse lies outside the picture";
    return out;
  }
  return Guarded([&] {
    const Planes planes = ReadPlanes(doc, false);
    const cv::Mat region(doc.height, doc.width, CV_8U, cv::Scalar(255));
    return Segment(planes, region, rect, polarity, RootSegmentation{});
  });
}
