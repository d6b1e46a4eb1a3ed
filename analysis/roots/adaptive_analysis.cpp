// The adaptive pipeline's steps on the analysis document: the segmentation
// of the picture (image/root_segmentation.h) becomes the document's picture,
// cropped to the analysed area and thinned to its skeleton; the plants found
// on it are then built and measured as the fixed method's are, checked and
// flagged.
#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "roots/detail/gap_bridging.h"
#include "roots/detail/level_lines.h"
#include "roots/detail/loop_opening.h"
#include "roots/detail/plant_starts.h"
#include "roots/detail/seedling_split.h"
#include "roots/root_lines.h"
#include "roots/sci_doc.h"

namespace {

// The fixed method's frame removal runs on a copy whose messages nobody reads.
class SilentFrontend : public FRONTEND::Frontend {
 public:
  void showMessage(const std::string& /*title*/, const std::string& /*text*/) override {}
  bool askYesNo(const std::string& /*title*/, const std::string& /*text*/) override { return false; }
  bool askOkCancel(const std::string& /*title*/, const std::string& /*text*/) override { return false; }
  FRONTEND::Answer askYesNoCancel(const std::string& /*title*/, const std::string& /*text*/) override {
    return FRONTEND::Answer::Cancel;
  }
  FRONTEND::FolderChoice chooseFolder(const std::string& /*title*/, const std::string& /*start*/) override {
    return {};
  }
};

RootPolarity PolarityOf(Background background) {
  switch (background) {
    case Background::Dark:
      return RootPolarity::Bright;
    case Background::Light:
      return RootPolarity::Dark;
    case Background::Auto:
      break;
  }
  return RootPolarity::Auto;
}

// Walk points are (column, row from the bottom) of the cropped picture;
// segmentation planes are top row first.
std::size_t PlaneIndex(const ContourPoint& p, int width, int height) {
  return static_cast<std::size_t>(p.col) +
         static_cast<std::size_t>(height - 1 - p.row) * static_cast<std::size_t>(width);
}

// The topmost point of a walk (the seedling's end of a root system).
ContourPoint TopPoint(const Item& plant) {
  ContourPoint top = plant.tab.empty() ? ContourPoint{} : plant.tab.front();
  for (const ContourPoint& p : plant.tab)
    if (p.row > top.row) top = p;
  return top;
}

// Roots grow down. A main root that, after going down, climbs back up more
// than half of the way to where it began, and by more than a twentieth of
// the area's height, runs down one seedling's root and up another's, grown
// together with it: its two ends are both seedlings' starts (rows from the
// top), on the skeleton itself, whether leaves were found near them or not.
std::vector<SeedlingMark> StartsGrownTogether(const std::vector<RootTree>& trees, int height) {
  std::vector<SeedlingMark> starts;
  const auto add = [&](const ContourPoint& p) { starts.push_back({p.col, height - 1 - p.row}); };
  for (const RootTree& tree : trees) {
    const std::vector<ContourPoint> path = MainRootPoints(tree);
    if (path.empty()) continue;
    const ContourPoint begin = path.front();
    const ContourPoint end = path.back();
    const int lowest =
        std::min_element(path.begin(), path.end(), [](const ContourPoint& a, const ContourPoint& b) {
          return a.row < b.row;
        })->row;
    const int descent = begin.row - lowest;
    const int climb = end.row - lowest;
    if (2 * climb > descent && 20 * climb > height) {
      add(begin);
      add(end);
    }
  }
  return starts;
}

}  // namespace

int KW_SciDoc::AdaptivePrepare(std::string& problem) {
  problem.clear();
  plantStarts.clear();
  if (!hasValidPicture()) {
    problem = "no picture";
    return 0;
  }
  const RootPolarity polarity = PolarityOf(settings.background);
  RootSegmentation found;
  double cmPerPixel = 0.0;
  switch (settings.plate) {
    case PlateMode::Find:
      found = SegmentRoots(*this, AreaSearch::FindPlate, polarity);
      if (found.problem.empty()) cmPerPixel = settings.plateHeightCm / found.plateHeight;
      break;
    case PlateMode::None:
      found = SegmentRoots(*this, AreaSearch::WholePicture, polarity);
      if (settings.resolutionDpi > 0.0) cmPerPixel = 2.54 / settings.resolutionDpi;
      break;
    case PlateMode::Frame: {
      // The fixed method's frame removal, on a copy: only where it cuts is kept.
      KW_ImaAna frame;
      frame.pixels = pixels;
      frame.width = width;
      frame.height = height;
      SilentFrontend silent;
      LogCapture discarded;
      frame.setFrontend(&silent);
      frame.setLogCapture(&discarded);
      frame.FixedBinarise();
      if (frame.RemoveBox() != 1) {
        problem = "no plate frame found";
        return 0;
      }
      found = SegmentRootsInArea(*this, {frame.cropLeft, frame.cropTop, frame.width, frame.height}, polarity);
      cmPerPixel = frame.scale;
      break;
    }
  }
  if (!found.problem.empty()) {
    problem = found.problem;
    return 0;
  }
  if (settings.pixelsPerCm > 0.0) cmPerPixel = 1.0 / settings.pixelsPerCm;
  if (!(cmPerPixel > 0.0) || !std::isfinite(cmPerPixel)) {
    problem = "no scale: give the picture's resolution or its pixels per centimetre";
    return 0;
  }
  try {
    const AreaRect& area = found.area;
    std::vector<std::uint32_t> skeleton(found.mask.size());
    for (int y = 0; y < area.height; ++y)
      for (int x = 0; x < area.width; ++x) {
        const std::size_t from =
            static_cast<std::size_t>(x) + static_cast<std::size_t>(y) * static_cast<std::size_t>(area.width);
        const std::size_t to = static_cast<std::size_t>(x) + static_cast<std::size_t>(area.height - 1 - y) *
                                                                 static_cast<std::size_t>(area.width);
        skeleton[to] = found.mask[from] != 0 ? kWhitePixel : 0U;
      }
    pixels = std::move(skeleton);
    width = area.width;
    height = area.height;
    cropLeft += area.left;
    cropTop += area.top;
    scale = static_cast<float>(cmPerPixel);
    settings.backgroundUsed = found.darkRoots ? Background::Light : Background::Dark;
    found.mask = {};
    segmentation = std::move(found);
  } catch (const std::bad_alloc&) {
    problem = "not enough memory to analyse the picture";
    return 0;
  }
  Skeletonize();
  // The line follower does not look past the picture's border: a root
  // reaching it ends two pixels inside (and is flagged as touching it).
  for (int r = 0; r < height; ++r) {
    if (r < 2 || r >= height - 2) {
      for (int c = 0; c < width; ++c) At(c, r) = 0U;
    } else {
      for (const int c : {0, 1, width - 2, width - 1}) At(c, r) = 0U;
    }
  }
  ClearLevelLines(pixels, width, height, std::max(20, width / 15));
  try {
    BridgeRootGaps(pixels, width, height, std::max(6, height / 12));
    SplitAtSeedlings(pixels, width, height, segmentation.seedlings, std::max(6, height / 25));
  } catch (const std::bad_alloc&) {
    // Without the split, plants grown together stay one plant, flagged.
  }
  try {
    OpenSkeletonLoops(pixels, width, height);
    plantStarts = MainRootStarts(pixels, width, height);
  } catch (const std::bad_alloc&) {
    // The walks start at the top of each piece and go round its loops.
    plantStarts.clear();
  }
  return 1;
}

std::uint32_t KW_SciDoc::PlantFlags(std::size_t t) const {
  if (t >= item.size() || t >= root.size()) return 0;
  const Item& plant = item[t];
  std::uint32_t flags = 0;
  for (const ContourPoint& p : plant.tab)
    if (p.col <= 3 || p.row <= 3 || p.col >= width - 4 || p.row >= height - 4) {
      flags |= kFlagTouchesEdge;
      break;
    }
  if (root[t].main_length > height) flags |= kFlagImplausibleLength;
  const bool planes =
      segmentation.strength.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (planes && !plant.tab.empty() && segmentation.noise > 0.0) {
    std::vector<int> values;
    values.reserve(plant.tab.size());
    for (const ContourPoint& p : plant.tab)
      if (p.col >= 0 && p.row >= 0 && p.col < width && p.row < height)
        values.push_back(segmentation.strength[PlaneIndex(p, width, height)]);
    if (!values.empty()) {
      auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
      std::nth_element(values.begin(), middle, values.end());
      if (*middle < 4.0 * segmentation.noise) flags |= kFlagLowContrast;
    }
  }
  // Two seedlings' leaves on one root system: grown together (and not cut
  // apart). Leaves of one seedling lie close together and count once.
  const double reach = std::max(5.0, height * 0.015);
  std::vector<SeedlingMark> counted;
  int seedlings = 0;
  for (const SeedlingMark& mark : segmentation.seedlings) {
    if (std::any_of(counted.begin(), counted.end(),
                    [&](const SeedlingMark& k) { return SameSeedling(k, mark, SeedlingGap(width)); }))
      continue;
    const int row = height - 1 - mark.y;
    for (const ContourPoint& p : plant.tab)
      if (std::hypot(p.col - mark.x, p.row - row) <= reach) {
        ++seedlings;
        counted.push_back(mark);
        break;
      }
  }
  if (seedlings >= 2) flags |= kFlagMerged;
  return flags;
}

int KW_SciDoc::AdaptiveSelectPlants(std::string& problem) {
  problem.clear();
  if (nbr_item == 0) {
    problem = "no plausible seedling found: no root stands out of the background";
    return 0;
  }
  if (CreateTrees() != 1 || MeasureTrees() != 1) {
    problem = "not enough memory to measure the plants";
    return 0;
  }
  // Seedlings grown together and not cut apart at their leaves (none found
  // for one of them, or the leaves nearer a loose piece) are cut apart at the
  // starts their main root shows, which go first; a chain of three takes a
  // second round.
  for (int round = 0; round < 3; ++round) {
    const std::vector<SeedlingMark> starts = StartsGrownTogether(root, height);
    if (starts.empty()) break;
    segmentation.seedlings.insert(segmentation.seedlings.begin(), starts.begin(), starts.end());
    try {
      SplitAtSeedlings(pixels, width, height, segmentation.seedlings, std::max(6, height / 25));
    } catch (const std::bad_alloc&) {
      break;
    }
    if (FindRoots() != 1 || CreateTrees() != 1 || MeasureTrees() != 1) {
      problem = "not enough memory to measure the plants";
      return 0;
    }
  }
  // A root system reaching down from nowhere near the top half of the area,
  // or longer than the area itself, is no seedling's. Nor, where leaves were
  // found, is one that begins farther below every leaf than a third of the
  // area's height: a seedling's roots begin right below its leaves, and
  // the seedlings of a plate stand in a row (what begins far below them is
  // the edge of a label, marker writing, a root's broken-off piece).
  bool dropped = false;
  int plausible = 0;
  for (std::size_t t = 0; t < item.size() && t < root.size(); ++t) {
    const ContourPoint top = TopPoint(item[t]);
    const bool belowLeaves =
        !segmentation.seedlings.empty() &&
        std::all_of(segmentation.seedlings.begin(), segmentation.seedlings.end(),
                    [&](const SeedlingMark& leaf) { return 3 * (height - 1 - leaf.y - top.row) > height; });
    const bool startsHigh = top.row >= height / 3 && !belowLeaves;
    if (!startsHigh) {
      for (const ContourPoint& p : item[t].tab) paint(p.col, p.row, 0U);
      dropped = true;
    } else if ((root[t].flags & kFlagImplausibleLength) == 0U) {
      ++plausible;
    }
  }
  if (dropped) {
    FindRoots();
    if (CreateTrees() != 1 || MeasureTrees() != 1) {
      problem = "not enough memory to measure the plants";
      return 0;
    }
  }
  if (plausible == 0) {
    problem = nbr_item == 0 ? "no plausible seedling found: no root starts in the upper part of the picture"
                            : "no plausible seedling found: every root system is longer than the picture";
    return 0;
  }
  return 1;
}

int KW_SciDoc::MeasurePlateAdaptive(std::string& problem) {
  if (AdaptivePrepare(problem) != 1) return kNoPlateFrame;
  if (FindRoots() != 1) return kPlateOutOfMemory;
  if (AdaptiveSelectPlants(problem) != 1) return kNoPlateFrame;
  return kPlateMeasured;
}
