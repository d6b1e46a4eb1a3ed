#include "image/root_segmentation.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "image/detail/ground_level.h"
#include "image/detail/mask_tools.h"
#include "image/detail/plate_light.h"
#include "image/detail/segmentation_steps.h"

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
  inside = CommonArea(grey, nearLeaves, background, inside, coarse, dark, out.rootWidth * 2);
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
