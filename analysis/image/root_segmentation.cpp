#include "image/root_segmentation.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "image/detail/mask_tools.h"
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

// Which planes ReadPlanes makes.
enum PlaneSet : unsigned { kGrey = 1U, kGreen = 2U, kNeutral = 4U };

// The loops over the pixels of a row run over blocks of kBlock pixels (a
// count the compiler knows, on rows it knows apart): each block becomes a
// few vector instructions, at -O2 too; the last pixels go one at a time.
constexpr int kBlock = 16;

// In 16-bit arithmetic, which every sum and product here fits.
template <unsigned kWhich, int kCount>
void ReadPixels(const std::uint32_t* __restrict in, std::uint8_t* __restrict grey,
                std::uint8_t* __restrict green, std::uint8_t* __restrict neutral) {
  using Level = std::uint16_t;
  for (int x = 0; x < kCount; ++x) {
    const auto r = static_cast<Level>((in[x] >> 16) & 0xFFU);
    const auto gg = static_cast<Level>((in[x] >> 8) & 0xFFU);
    const auto b = static_cast<Level>(in[x] & 0xFFU);
    if constexpr ((kWhich & kGrey) != 0U)
      grey[x] = static_cast<std::uint8_t>(static_cast<Level>(r * 77U + gg * 150U + b * 29U) >> 8);
    if constexpr ((kWhich & kGreen) != 0U) {
      // Green leaves, whatever the white balance: green the largest channel,
      // saturated and not dark (hue between yellow-green and cyan-green).
      const Level lowest = std::min(r, b);
      const bool leafColour = (gg >= r) & (gg >= b) & (gg > 60) &
                              (static_cast<Level>((gg - lowest) * 255U) > static_cast<Level>(40U * gg));
      const auto mean = static_cast<Level>((r + b) >> 1);
      const Level greener = gg > mean ? static_cast<Level>(gg - mean) : Level{0};
      green[x] = leafColour ? static_cast<std::uint8_t>(std::max(Level{1}, greener)) : 0;
    }
    if constexpr ((kWhich & kNeutral) != 0U) {
      const Level most = std::max(std::max(r, gg), b);
      const Level least = std::min(std::min(r, gg), b);
      // Saturation under a fifth: agar, a plate's rim and tape, a light box;
      // not a wooden ruler, cardboard or a coloured bench.
      neutral[x] = static_cast<Level>((most - least) * 5U) < most ? 255 : 0;
    }
  }
}

template <unsigned kWhich>
void ReadRow(const std::uint32_t* in, int n, std::uint8_t* grey, std::uint8_t* green, std::uint8_t* neutral) {
  // Planes not asked for are not written: any row does for them.
  if constexpr ((kWhich & kGrey) == 0U) grey = green != nullptr ? green : neutral;
  if constexpr ((kWhich & kGreen) == 0U) green = grey;
  if constexpr ((kWhich & kNeutral) == 0U) neutral = grey;
  int x = 0;
  for (; x + kBlock <= n; x += kBlock) ReadPixels<kWhich, kBlock>(in + x, grey + x, green + x, neutral + x);
  for (; x < n; ++x) ReadPixels<kWhich, 1>(in + x, grey + x, green + x, neutral + x);
}

// The planes kWhich (of PlaneSet) of the part rect of the picture, top row
// first, in one pass over its pixels (stripes of rows in parallel).
template <unsigned kWhich>
Planes ReadPlanes(const KW_PicDoc& doc, const cv::Rect& rect) {
  Planes p;
  if constexpr ((kWhich & kGrey) != 0U) p.grey.create(rect.height, rect.width, CV_8U);
  if constexpr ((kWhich & kGreen) != 0U) p.green.create(rect.height, rect.width, CV_8U);
  if constexpr ((kWhich & kNeutral) != 0U) p.neutral.create(rect.height, rect.width, CV_8U);
  const auto rows = [&](const cv::Range& range) {
    for (int y = range.start; y < range.end; ++y) {
      const std::uint32_t* in =
          doc.pixels.data() +
          static_cast<std::size_t>(doc.height - 1 - rect.y - y) * static_cast<std::size_t>(doc.width) +
          static_cast<std::size_t>(rect.x);
      ReadRow<kWhich>(in, rect.width, p.grey.empty() ? nullptr : p.grey.ptr<std::uint8_t>(y),
                      p.green.empty() ? nullptr : p.green.ptr<std::uint8_t>(y),
                      p.neutral.empty() ? nullptr : p.neutral.ptr<std::uint8_t>(y));
    }
  };
  cv::parallel_for_(cv::Range(0, rect.height), rows, static_cast<double>(rect.area()) / (1 << 16));
  return p;
}

int Odd(int n) { return n % 2 == 0 ? n + 1 : n; }

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
  // The rim and its reflections are left out: the inside lies 6% of the
  // plate's smaller side within its outline (eroded where it is small).
  region = ErodeDisc(region, std::max(1.5, std::min(outer.width, outer.height) * 0.06));
  cv::Mat full;
  cv::resize(region, full, grey.size(), 0, 0, cv::INTER_NEAREST);
  return full;
}

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

template <class Level, int kCount>
void LevelBins(const Level* __restrict level, const std::uint8_t* __restrict mask,
               std::uint16_t* __restrict bins) {
  // Every value read, whatever is made of it: no branch in the block.
  for (int x = 0; x < kCount; ++x) {
    const int bin = std::min(std::max(level[x] + kLevelOffset, 0), 2 * kLevelOffset - 1);
    const bool in = mask[x] != 0;
    bins[x] = in ? static_cast<std::uint16_t>(bin) : kLeftOut;
  }
}

// The histogram of plane (CV_8U or CV_16S) where mask is set.
template <class Level>
LevelHistogram HistogramOver(const cv::Mat& plane, const cv::Mat& mask) {
  LevelCounter counter;
  std::vector<std::uint16_t> bins(static_cast<std::size_t>(plane.cols));
  for (int y = 0; y < plane.rows; ++y) {
    const auto* p = plane.ptr<Level>(y);
    const auto* m = mask.ptr<std::uint8_t>(y);
    int x = 0;
    for (; x + kBlock <= plane.cols; x += kBlock) LevelBins<Level, kBlock>(p + x, m + x, bins.data() + x);
    for (; x < plane.cols; ++x) LevelBins<Level, 1>(p + x, m + x, bins.data() + x);
    counter.add(bins.data(), plane.cols);
  }
  return counter.histogram();
}

// Median and robust spread of a histogram's levels: 1.4826 x the median
// absolute deviation from the median (the spread of a normal distribution's
// values), at least 1.
void RobustSpread(const LevelHistogram& h, double& median, double& sigma) {
  median = 0;
  sigma = 1;
  const long count = h.total;
  if (count == 0) return;
  const auto quantile = [count](const std::vector<long>& counts, double q) {
    long seen = 0;
    for (std::size_t v = 0; v < counts.size(); ++v) {
      seen += counts[v];
      if (static_cast<double>(seen) >= q * static_cast<double>(count)) return static_cast<int>(v);
    }
    return static_cast<int>(counts.size()) - 1;
  };
  const int med = quantile(h.counts, 0.5);
  std::vector<long> deviations(std::size_t{2} * kLevelOffset, 0);
  for (int v = 0; v < 2 * kLevelOffset; ++v)
    deviations[static_cast<std::size_t>(std::abs(v - med))] += h.counts[static_cast<std::size_t>(v)];
  median = med - kLevelOffset;
  // Grey levels are whole numbers: half a level of spread is always there.
  sigma = std::max(1.0, 1.4826 * (quantile(deviations, 0.5) + 0.5));
}

// Median and robust spread of a signed plane (CV_16S) where mask is set.
void RobustSpread(const cv::Mat& plane, const cv::Mat& mask, double& median, double& sigma) {
  RobustSpread(HistogramOver<std::int16_t>(plane, mask), median, sigma);
}

std::size_t At(int i) { return static_cast<std::size_t>(i); }

// Sets the runs of the components that keep marks to 255 and clears the
// rest of out (of the runs' size).
void PaintRuns(const MaskRuns& runs, const std::vector<std::uint8_t>& keep, cv::Mat& out) {
  for (int y = 0; y < out.rows; ++y) {
    auto* o = out.ptr<std::uint8_t>(y);
    int x = 0;
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      std::fill(o + x, o + runs.begin[At(r)], std::uint8_t{0});
      x = runs.end[At(r)];
      const std::uint8_t value = keep[At(runs.component[At(r)])] != 0 ? 255 : 0;
      std::fill(o + runs.begin[At(r)], o + x, value);
    }
    std::fill(o + x, o + out.cols, std::uint8_t{0});
  }
}

// A mask of 0 and 255 kept as its runs (a plate's inside is one run a row),
// painted again.
cv::Mat PaintedMask(const MaskRuns& runs, cv::Size size) {
  cv::Mat mask(size, CV_8U);
  PaintRuns(runs, std::vector<std::uint8_t>(At(runs.components), 1), mask);
  return mask;
}

// Keeps the components of low that hold a pixel of high: low's own plane,
// the others cleared from it.
cv::Mat Hysteresis(cv::Mat low, const cv::Mat& high) {
  const MaskRuns runs = FindMaskRuns(low);
  std::vector<std::uint8_t> keep(At(runs.components), 0);
  for (int y = 0; y < high.rows; ++y) {
    const auto* h = high.ptr<std::uint8_t>(y);
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      std::uint8_t& k = keep[At(runs.component[At(r)])];
      if (k == 0)
        k = std::any_of(h + runs.begin[At(r)], h + runs.end[At(r)], [](std::uint8_t v) { return v != 0; })
                ? 1
                : 0;
    }
  }
  PaintRuns(runs, keep, low);
  return low;
}

// The width of the lines of clear that are at least minLength long: twice
// the median distance to their edge along their ridges (the pixels no
// 4-neighbour of which lies deeper), less one; 0 without such lines. A wide
// area (a label, a leaf) has few ridge pixels for its size, a line many.
int LineWidth(const cv::Mat& clear, int minLength) {
  // The components and their extents, on runs (no plane of labels).
  const MaskRuns runs = FindMaskRuns(clear);
  const std::size_t n = At(runs.components);
  std::vector<int> left(n, clear.cols), right(n, -1), top(n, -1), bottom(n, -1);
  for (int y = 0; y < clear.rows; ++y)
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      const std::size_t c = At(runs.component[At(r)]);
      if (top[c] < 0) top[c] = y;
      bottom[c] = y;
      left[c] = std::min(left[c], runs.begin[At(r)]);
      right[c] = std::max(right[c], runs.end[At(r)] - 1);
    }
  std::vector<std::uint8_t> line(n, 0);
  for (std::size_t i = 0; i < n; ++i)
    line[i] = std::max(right[i] - left[i] + 1, bottom[i] - top[i] + 1) >= minLength ? 1 : 0;
  // The depths kept on the runs: rows of them (0 where clear) as they are
  // needed, three at a time.
  const RunDistances depth = DistancesOnRuns(runs, clear.cols, clear.rows);
  std::vector<long> histogram(256, 0);
  long count = 0;
  const auto width = At(clear.cols);
  std::vector<std::uint8_t> rows(3 * width);
  std::uint8_t* above = rows.data();
  std::uint8_t* d = above + width;
  std::uint8_t* below = d + width;
  if (clear.rows >= 3) {
    depth.fillRow(runs, 0, above, clear.cols);
    depth.fillRow(runs, 1, d, clear.cols);
  }
  for (int y = 1; y + 1 < clear.rows; ++y) {
    depth.fillRow(runs, y + 1, below, clear.cols);
    // The pixels of lines, away from the picture's border.
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      if (line[At(runs.component[At(r)])] == 0) continue;
      const int to = std::min(runs.end[At(r)], clear.cols - 1);
      for (int x = std::max(runs.begin[At(r)], 1); x < to; ++x) {
        const std::size_t i = At(x);
        if (d[i] != 0 && d[i] >= above[i] && d[i] >= below[i] && d[i] >= d[i - 1] && d[i] >= d[i + 1]) {
          ++histogram[d[i]];
          ++count;
        }
      }
    }
    std::uint8_t* oldest = above;
    above = d;
    d = below;
    below = oldest;
  }
  long seen = 0;
  for (std::size_t v = 1; v < histogram.size(); ++v) {
    seen += histogram[v];
    if (2 * seen >= count && count > 0) return 2 * static_cast<int>(v) - 1;
  }
  return 0;
}

// Leaves out components that cannot be roots: too small, blobs (neither
// long nor thin), and lines that run along the border of the area (a rim,
// the edge of the paper) for most of their pixels.
void DropNonRoots(cv::Mat& mask, int rootWidth, int minLength) {
  const MaskRuns runs = FindMaskRuns(mask);
  const std::size_t n = At(runs.components);
  std::vector<int> left(n, mask.cols), right(n, -1), top(n, -1), bottom(n, -1), area(n, 0), nearBorder(n, 0);
  const int band = std::max(3, std::min(mask.cols, mask.rows) / 20);
  for (int y = 0; y < mask.rows; ++y) {
    const bool rowNear = y < band || y >= mask.rows - band;
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      const std::size_t c = At(runs.component[At(r)]);
      const int from = runs.begin[At(r)], to = runs.end[At(r)];
      if (top[c] < 0) top[c] = y;
      bottom[c] = y;
      left[c] = std::min(left[c], from);
      right[c] = std::max(right[c], to - 1);
      area[c] += to - from;
      // Its pixels outside the columns [band, cols - band) of the middle.
      const int middle = rowNear ? 0 : std::max(0, std::min(to, mask.cols - band) - std::max(from, band));
      nearBorder[c] += to - from - middle;
    }
  }
  std::vector<std::uint8_t> keep(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const int w = right[i] - left[i] + 1, h = bottom[i] - top[i] + 1;
    const double pixels = area[i];
    const int extent = std::max(w, h);
    // Mean width: the area over the extent; a root is long for its width.
    const bool longEnough = extent >= minLength;
    const bool thin = pixels / std::max(1, extent) <= 10.0 * rootWidth;
    const bool alongBorder = nearBorder[i] * 2 > pixels;
    keep[i] = longEnough && thin && !alongBorder ? 1 : 0;
  }
  PaintRuns(runs, keep, mask);
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
  // (findContours works on a copy of its own.)
  cv::findContours(mask, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
  for (std::size_t i = 0; i < contours.size(); ++i)
    if (hierarchy[i][3] >= 0 && cv::contourArea(contours[i]) < most)
      cv::drawContours(mask, contours, static_cast<int>(i), cv::Scalar(255), cv::FILLED);
}

// The area is where the background is that of most of it: a ruler or the
// cardboard taken in with the plate, a dark strip at the top of paper, a clip
// or the bench beside it are left out, with their edges (and their texture
// stays out of the noise the thresholds are measured against).
template <int kCount>
void CommonPixels(const std::uint8_t* __restrict level, const std::uint8_t* __restrict region, int above,
                  int below, std::uint8_t* __restrict common) {
  for (int x = 0; x < kCount; ++x) {
    const int v = level[x];
    const std::uint8_t r = region[x];
    common[x] = ((v > above) & (v < below)) != 0 ? r : 0;
  }
}

cv::Mat CommonBackground(const cv::Mat& background, const cv::Mat& region, int margin) {
  double median = 0, spread = 0;
  RobustSpread(HistogramOver<std::uint8_t>(background, region), median, spread);
  const double band = std::max(25.0, 4.0 * spread);
  // Levels are whole numbers: over median - band is over its whole part,
  // under median + band under the next whole number up.
  const int above = static_cast<int>(std::floor(median - band));
  const int below = static_cast<int>(std::ceil(median + band));
  cv::Mat common(background.size(), CV_8U);
  for (int y = 0; y < background.rows; ++y) {
    const auto* level = background.ptr<std::uint8_t>(y);
    const auto* r = region.ptr<std::uint8_t>(y);
    auto* c = common.ptr<std::uint8_t>(y);
    int x = 0;
    for (; x + kBlock <= background.cols; x += kBlock)
      CommonPixels<kBlock>(level + x, r + x, above, below, c + x);
    for (; x < background.cols; ++x) CommonPixels<1>(level + x, r + x, above, below, c + x);
  }
  return ErodeDisc(common, margin);
}

// Runs block(x) over the blocks of a row of n pixels, one(x) over the rest.
template <class Block, class One>
void OverRow(int n, Block block, One one) {
  int x = 0;
  for (; x + kBlock <= n; x += kBlock) block(x);
  for (; x < n; ++x) one(x);
}

// The mask's pixels become plane's where set.
template <int kCount>
void MaskedPixels(const std::uint8_t* __restrict plane, std::uint8_t* __restrict mask) {
  for (int x = 0; x < kCount; ++x) {
    const std::uint8_t p = plane[x];
    mask[x] = mask[x] != 0 ? p : 0;
  }
}
template <int kCount>
void LitPixels(const std::uint8_t* __restrict grey, std::uint8_t* __restrict lit) {
  for (int x = 0; x < kCount; ++x) lit[x] = grey[x] > 50 ? 255 : 0;
}
template <int kCount>
void InvertedPixels(const std::uint8_t* __restrict mask, std::uint8_t* __restrict inverted) {
  for (int x = 0; x < kCount; ++x) inverted[x] = static_cast<std::uint8_t>(~mask[x]);
}

// plane reduced to coarse, averaging only the pixels where the mask is set
// (its rows written by maskRow(y, bytes)); share: how much of each coarse cell
// the mask covers (0 to 1); plain, when given: the plane itself reduced.
// Planes masked are read as they are reduced, with no plane of their own,
// where OpenCV would take its general way (image/detail/mask_tools.h).
template <class MaskRow>
cv::Mat ReducedOver(const cv::Mat& plane, MaskRow maskRow, const cv::Size& coarse, cv::Mat& share,
                    cv::Mat* plain = nullptr) {
  cv::Mat sum;
  const AreaReduction reduction(plane.size(), coarse);
  if (reduction.general()) {
    const auto row = [&](std::size_t k, int y, std::uint8_t* scratch) -> const std::uint8_t* {
      const auto* p = plane.ptr<std::uint8_t>(y);
      if (k == 2) return p;
      maskRow(y, scratch);
      if (k == 0)
        OverRow(
            plane.cols, [&](int x) { MaskedPixels<kBlock>(p + x, scratch + x); },
            [&](int x) { MaskedPixels<1>(p + x, scratch + x); });
      return scratch;
    };
    if (plain != nullptr)
      reduction.reduce<3>(row, {&sum, &share, plain});
    else
      reduction.reduce<2>(row, {&sum, &share});
  } else {
    cv::Mat mask(plane.size(), CV_8U), masked;
    for (int y = 0; y < plane.rows; ++y) maskRow(y, mask.ptr<std::uint8_t>(y));
    plane.copyTo(masked, mask);
    cv::resize(masked, sum, coarse, 0, 0, cv::INTER_AREA);
    cv::resize(mask, share, coarse, 0, 0, cv::INTER_AREA);
    if (plain != nullptr) cv::resize(plane, *plain, coarse, 0, 0, cv::INTER_AREA);
  }
  sum.convertTo(sum, CV_32F);
  share.convertTo(share, CV_32F, 1.0 / 255.0);
  cv::Mat average = sum / cv::max(share, 0.05);
  average.convertTo(average, CV_8U);
  return average;
}

// Where a pixel is not dark, the bin of its green less the green around it.
template <int kCount>
void GreenerBins(const std::uint8_t* __restrict green, const std::uint8_t* __restrict around,
                 const std::uint8_t* __restrict grey, std::uint16_t* __restrict bins) {
  for (int x = 0; x < kCount; ++x) {
    const auto bin = static_cast<std::uint16_t>(green[x] - around[x] + kLevelOffset);
    bins[x] = grey[x] > 50 ? bin : kLeftOut;
  }
}
template <int kCount>
void LeafPixels(const std::uint8_t* __restrict green, const std::uint8_t* __restrict around,
                const std::uint8_t* __restrict grey, int least, std::uint8_t* __restrict leaves) {
  for (int x = 0; x < kCount; ++x) {
    const int difference = green[x] - around[x];
    leaves[x] = ((grey[x] > 50) & (difference > least)) != 0 ? 255 : 0;
  }
}

// Leaves are green, and thick: they start seedlings but are no roots. They
// are greener than what lies around them (a light box or a white balance can
// make the whole background a little green), judged at the background's
// scale (coarse).
cv::Mat FindLeaves(const cv::Mat& green, const cv::Mat& grey, const cv::Size& coarse) {
  // The greenness around, over what is not dark (a dark rim or label would
  // lower it and make the light beside it look green).
  cv::Mat around;
  {
    cv::Mat share;
    around = ReducedOver(
        green,
        [&grey](int y, std::uint8_t* lit) {
          const auto* g = grey.ptr<std::uint8_t>(y);
          OverRow(
              grey.cols, [&](int x) { LitPixels<kBlock>(g + x, lit + x); },
              [&](int x) { LitPixels<1>(g + x, lit + x); });
        },
        coarse, share);
  }
  cv::resize(around, around, grey.size(), 0, 0, cv::INTER_LINEAR);
  // Greener than around by well more than the colour noise (a camera's
  // compression makes blotches of colour on an even background): green less
  // around, where it is not dark, counted and then compared as it is met.
  LevelCounter counter;
  std::vector<std::uint16_t> bins(static_cast<std::size_t>(grey.cols));
  for (int y = 0; y < grey.rows; ++y) {
    const auto* g = green.ptr<std::uint8_t>(y);
    const auto* a = around.ptr<std::uint8_t>(y);
    const auto* l = grey.ptr<std::uint8_t>(y);
    int x = 0;
    for (; x + kBlock <= grey.cols; x += kBlock) GreenerBins<kBlock>(g + x, a + x, l + x, bins.data() + x);
    for (; x < grey.cols; ++x) GreenerBins<1>(g + x, a + x, l + x, bins.data() + x);
    counter.add(bins.data(), grey.cols);
  }
  double typical = 0, spread = 0;
  RobustSpread(counter.histogram(), typical, spread);
  // Over a level is over its whole part (differences are whole numbers).
  const int least = static_cast<int>(std::floor(typical + std::max(6.0, 4.0 * spread)));
  cv::Mat leaves(grey.size(), CV_8U);
  for (int y = 0; y < grey.rows; ++y) {
    const auto* g = green.ptr<std::uint8_t>(y);
    const auto* a = around.ptr<std::uint8_t>(y);
    const auto* l = grey.ptr<std::uint8_t>(y);
    auto* out = leaves.ptr<std::uint8_t>(y);
    int x = 0;
    for (; x + kBlock <= grey.cols; x += kBlock) LeafPixels<kBlock>(g + x, a + x, l + x, least, out + x);
    for (; x < grey.cols; ++x) LeafPixels<1>(g + x, a + x, l + x, least, out + x);
  }
  around.release();
  cv::morphologyEx(leaves, leaves, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
  return leaves;
}

// The grey picture reduced to coarse, averaged over what is not left out:
// leaves along a row of seedlings would otherwise raise the background
// around them, and the top of every root below them would vanish into it.
cv::Mat ReducedWithout(const cv::Mat& grey, const cv::Mat& leftOut, const cv::Size& coarse) {
  cv::Mat plain;
  if (cv::countNonZero(leftOut) == 0) {
    const AreaReduction reduction(grey.size(), coarse);
    if (reduction.general())
      reduction.reduce<1>([&grey](std::size_t, int y, std::uint8_t*) { return grey.ptr<std::uint8_t>(y); },
                          {&plain});
    else
      cv::resize(grey, plain, coarse, 0, 0, cv::INTER_AREA);
    return plain;
  }
  cv::Mat share;
  const cv::Mat average = ReducedOver(
      grey,
      [&leftOut](int y, std::uint8_t* kept) {
        const auto* l = leftOut.ptr<std::uint8_t>(y);
        OverRow(
            leftOut.cols, [&](int x) { InvertedPixels<kBlock>(l + x, kept + x); },
            [&](int x) { InvertedPixels<1>(l + x, kept + x); });
      },
      coarse, share, &plain);
  // Where nearly all of a cell is left out, the plain reduction stands.
  average.copyTo(plain, share >= 0.25);
  return plain;
}

// litFromBehind: what the light around the plate says of Auto's polarity,
// when the leaves say nothing. rootWidth: the width of the thickest root
// the filters are sized for, 0 for the area's own; then, where the lines
// found are wider (thick roots on a small plate), only *wider is set, to
// their width, for SegmentSized. The planes are let go of as soon as they
// are done with; region (the area's size) is kept as its runs.
RootSegmentation Segment(Planes planes, const MaskRuns& region, const cv::Rect& rect, RootPolarity polarity,
                         bool litFromBehind, RootSegmentation out, int rootWidth, int* wider) {
  cv::Mat grey = planes.grey(rect);
  cv::Mat inside = PaintedMask(region, rect.size());
  const int side = std::min(rect.width, rect.height);
  // Roots are at most this wide; the background varies over longer distances.
  out.rootWidth = rootWidth > 0 ? rootWidth : std::max(3, side / 80);
  // The background: the picture at a scale well above a root's width, where
  // roots vanish; a grey opening there takes bright lines out, a closing
  // dark ones.
  const int factor = std::max(2, out.rootWidth * 2);
  const cv::Size coarse(std::max(1, rect.width / factor), std::max(1, rect.height / factor));
  cv::Mat leaves = FindLeaves(planes.green(rect), grey, coarse);
  planes.green.release();
  cv::Mat nearLeaves = DilateDisc(leaves, out.rootWidth);
  cv::Mat small = ReducedWithout(grey, nearLeaves, coarse);
  const int leafArea = std::max(6, out.rootWidth * out.rootWidth);
  // (The ground around the leaves made in one plane: nearLeaves is 0 or 255.)
  cv::Mat around = DilateDisc(leaves, 2.0 * out.rootWidth);
  around.setTo(0, nearLeaves);
  around &= inside;
  const LeafLight light = LeafLevels(grey, leaves & inside, around, leafArea);
  around.release();
  bool dark = polarity == RootPolarity::Dark;
  if (polarity == RootPolarity::Auto) {
    switch (ShadeOf(light)) {
      case PlantShade::Darker:
        dark = true;
        break;
      case PlantShade::Brighter:
        dark = false;
        break;
      case PlantShade::Unknown:
        dark = litFromBehind;
        break;
    }
  }
  out.darkRoots = dark;
  const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, {3, 3});
  cv::morphologyEx(small, small, dark ? cv::MORPH_CLOSE : cv::MORPH_OPEN, kernel);
  // Smoothed where it is small, so that no filter runs over the whole
  // picture at the background's scale.
  cv::GaussianBlur(small, small, cv::Size(), 0.7);
  cv::Mat background;
  cv::resize(small, background, grey.size(), 0, 0, cv::INTER_LINEAR);
  inside = CommonBackground(background, inside, out.rootWidth * 2);
  cv::Mat residual;
  if (dark)
    cv::subtract(background, grey, residual, cv::noArray(), CV_16S);
  else
    cv::subtract(grey, background, residual, cv::noArray(), CV_16S);
  // Line-like structures at the widths roots have: a little smoothing along
  // them adds up a root's pixels and averages the noise out.
  cv::GaussianBlur(residual, residual, cv::Size(), 0.8);
  double resMedian = 0, noise = 0;
  for (cv::Mat* m : {&background, &grey, &planes.grey}) m->release();
  RobustSpread(residual, inside, resMedian, noise);
  out.noise = noise;
  out.threshold = resMedian + 4.0 * noise;
  // Hysteresis: a root holds pixels well above the noise, and goes on
  // through pixels that are only somewhat above it.
  cv::Mat high = residual > resMedian + 4.0 * noise;
  cv::Mat low = residual > resMedian + 2.5 * noise;
  low &= inside;
  high &= inside;
  // How far each pixel stands out, saturated to grey levels, straight into
  // the result.
  out.strength.resize(residual.total());
  cv::Mat strength(residual.size(), CV_8U, out.strength.data());
  residual.convertTo(strength, CV_8U);
  residual.release();
  // Roots thicker than that (thick roots on a small plate) would be taken
  // for wide areas, and the background would take in where they meet: the
  // filters are sized again for the lines found.
  const int minLength = std::max(10, side / 25);
  if (rootWidth == 0) {
    const int lines = LineWidth(high, minLength);
    if (lines > out.rootWidth) {
      *wider = lines;
      return out;
    }
  }
  leaves &= inside;
  {
    const std::vector<ComponentStats> components = MaskComponentStats(leaves);
    for (const ComponentStats& leaf : components) {
      if (leaf.area < leafArea) continue;
      out.seedlings.push_back({static_cast<int>(std::lround(leaf.centroidX)), leaf.top + leaf.height});
    }
  }
  cv::Mat mask = Hysteresis(low, high);
  low.release();
  // Wide bright areas (a ruler, a label, a bubble's rim, a leaf) are no
  // roots: where the clear core of the mask survives an opening wider than a
  // root, the mask is taken out (the core: the faint fringe of a root does
  // not make it wide).
  const int w = Odd(out.rootWidth * 2 + 1);
  cv::Mat wide = DilateDisc(ErodeDisc(high, w / 2.0), w / 2.0 + 2.0);
  mask &= ~wide;
  // A leaf in shadow, blurred into the light ground at its rim, is no longer
  // green there but still as dark as a root: roots start a root's width
  // below the leaves. (A leaf shining on a dark ground fades into it.)
  mask &= dark ? ~nearLeaves : ~leaves;
  // A small closing joins a root broken by a darker stretch.
  cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, kernel);
  mask &= inside;
  for (cv::Mat* m : {&inside, &leaves, &nearLeaves, &wide}) m->release();
  FillSmallHoles(mask, 4.0 * out.rootWidth * out.rootWidth);
  DropNonRoots(mask, out.rootWidth, minLength);
  // Seedlings on a plate stand out of it as lines: what stands out clearly
  // is mostly roots. Where nearly all of it is taken out as no root (blobs,
  // wide areas, a tangle too dense to be lines), the picture is no plate of
  // seedlings, and nothing found in it could be trusted.
  const int clear = cv::countNonZero(high);
  if (clear > minLength * out.rootWidth && 10 * cv::countNonZero(mask & high) < clear) {
    out.problem =
        "no plausible seedling found: what stands out of the background is mostly no root (a tangle or "
        "blobs, not seedlings on a plate)";
    return out;
  }
  out.area = {rect.x, rect.y, rect.width, rect.height};
  CopyPlane(mask, out.mask);
  return out;
}

// Without a plate, a light ground (paper, a scanner's lid) has dark roots.
bool LightGround(const cv::Mat& grey) { return cv::mean(grey)[0] > 140; }

// Segment, again with the filters sized for the lines found where these
// are wider than the area's own width says (the polarity kept); read() gives
// the planes afresh for each attempt.
template <class Read>
RootSegmentation SegmentSized(Read read, const MaskRuns& region, const cv::Rect& rect, RootPolarity polarity,
                              bool litFromBehind, const RootSegmentation& given) {
  int wider = 0;
  RootSegmentation found = Segment(read(), region, rect, polarity, litFromBehind, given, 0, &wider);
  if (wider == 0) return found;
  const RootPolarity decided = found.darkRoots ? RootPolarity::Dark : RootPolarity::Bright;
  found = {};
  return Segment(read(), region, rect, decided, litFromBehind, given, wider, &wider);
}

// SegmentSized on the part rect of the picture: its planes read for it alone
// and its region (of its size); the area found is in the picture.
RootSegmentation SegmentPart(const KW_PicDoc& doc, const MaskRuns& region, const cv::Rect& rect,
                             RootPolarity polarity, bool litFromBehind, const RootSegmentation& given) {
  RootSegmentation found =
      SegmentSized([&] { return ReadPlanes<kGrey | kGreen>(doc, rect); }, region,
                   cv::Rect(0, 0, rect.width, rect.height), polarity, litFromBehind, given);
  found.area.left += rect.x;
  found.area.top += rect.y;
  return found;
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
    cv::Rect rect(0, 0, doc.width, doc.height);
    Planes planes = search == AreaSearch::FindPlate ? ReadPlanes<kGrey | kNeutral>(doc, rect)
                                                    : ReadPlanes<kGrey | kGreen>(doc, rect);
    cv::Mat region;
    if (search == AreaSearch::FindPlate) {
      cv::Rect box;
      region = FindPlateRegion(planes.grey, std::move(planes.neutral), box);
      planes.neutral.release();
      if (!region.empty() && box.width >= 16 && box.height >= 16) rect = cv::boundingRect(region);
      if (region.empty() || box.width < 16 || box.height < 16 || rect.width < 16 || rect.height < 16) {
        out.problem = "no plate found in the picture";
        return out;
      }
      out.plateHeight = box.height;
      const bool backlit = polarity == RootPolarity::Auto && BacklitPlate(planes.grey, region, box);
      // Only the plate's bounding rectangle is segmented: its planes are read
      // for it alone, and the region cut to it.
      planes = {};
      const MaskRuns inside = FindMaskRuns(region(rect));
      region.release();
      return SegmentPart(doc, inside, rect, polarity, backlit, out);
    }
    const MaskRuns whole = FindMaskRuns(cv::Mat(doc.height, doc.width, CV_8U, cv::Scalar(255)));
    const bool lightGround = LightGround(planes.grey);
    return SegmentSized(
        [&] {
          // The planes read already, then afresh.
          Planes read = planes.grey.empty() ? ReadPlanes<kGrey | kGreen>(doc, rect) : std::move(planes);
          planes = {};
          return read;
        },
        whole, rect, polarity, lightGround, out);
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
    const bool lightGround = LightGround(ReadPlanes<kGrey>(doc, rect).grey);
    return SegmentPart(doc, FindMaskRuns(cv::Mat(rect.size(), CV_8U, cv::Scalar(255))), rect, polarity,
                       lightGround, RootSegmentation{});
  });
}
