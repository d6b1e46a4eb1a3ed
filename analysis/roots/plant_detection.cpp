// Find roots: every 8-connected white component of the skeleton is walked
// around with the line follower; walks of at least minItemLength points are
// kept as plants, shorter ones erased as noise.
#include <algorithm>
#include <array>
#include <ctime>
#include <limits>
#include <new>

#include "base/kw_log.h"
#include "roots/detail/colour_random.h"
#include "roots/detail/log_buffer.h"
#include "roots/sci_doc.h"
#include "roots/touching_plants.h"

namespace {

// The follower tries its neighbours in one of four orders, chosen by the
// previous direction; a pixel together with that order is the whole state
// of a walk (painting walked pixels red does not change which pixels are
// line pixels), so a walk that meets a state again is in a loop for good.
std::uint8_t StateBit(int previousDirection) {
  switch (previousDirection) {
    case 1:
    case 2:
      return 1U;
    case 3:
    case 4:
      return 2U;
    case 5:
    case 6:
    case -1:
      return 4U;
    case 7:
    case 8:
      return 8U;
    default:
      return 16U;
  }
}

constexpr std::size_t kDistinctColourPlants = 400;
constexpr int kColourDraws = 64;

}  // namespace

int KW_SciDoc::FindRoots() {
  // Find roots takes the check mark but leaves that of Confirm roots as it is.
  const bool confirmed = marks.isChecked(StepMark::ConfirmRoots);
  marks.check(StepMark::FindRoots);
  marks.set(StepMark::ConfirmRoots, confirmed);
  TruncateLog(logSink(), logname::kDetectionItem);
  LogBuffer log(logSink(), logname::kDetectionItem);
  const CommandLogScope scope(m_commandLog, log);
  m_outOfMemory = false;
  // The command changes only non-black pixels (it whitens them and paints
  // walks); they are kept, with the plants, so that running out of memory
  // leaves the document as it was.
  std::vector<std::pair<std::size_t, std::uint32_t>> changed;
  std::vector<Item> previousItems = std::move(item);
  const std::int32_t previousCount = nbr_item;
  const std::int32_t previousMinLength = minItemLength;
  try {
    log.add("\n********Detection_Item\n");
    minItemLength = kMinItemLength;
    // Removes the colours of an earlier detection (Whiten, keeping each
    // pixel it reaches).
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      if ((pixels[i] & kWhitePixel) == 0) continue;
      changed.emplace_back(i, pixels[i]);
      pixels[i] |= kWhitePixel;
    }
    item.clear();
    nbr_item = 0;
    bool scanned = ScanItems() == 1;
    if (scanned && settings.pipeline != Pipeline::Adaptive && settings.lengths == LengthMode::True) {
      // Touching plants, each part starting from a seedling of its own, are
      // cut apart and found again as one plant each. The pixel mode keeps
      // them one plant, as the fixed method always measured them; the
      // adaptive pipeline cuts at the seedlings its segmentation found,
      // before this.
      const std::vector<std::size_t> cuts = TouchingPlantCuts(*this);
      if (!cuts.empty()) {
        log.addF("\ntouching plants cut apart at %zu pixels\n", cuts.size());
        for (const std::size_t i : cuts) pixels[i] = 0U;
        for (std::uint32_t& px : pixels)
          if ((px & kWhitePixel) != 0U) px |= kWhitePixel;
        item.clear();
        nbr_item = 0;
        scanned = ScanItems() == 1;
      }
    }
    if (scanned) {
      log.addF("\nnbr_item %i\n", nbr_item);
      log.add("\n********Affiche_item\n");
      for (const Item& plant : item) appendPlantDump(log, plant.numero, plant.threshold, plant.tab);
      log.add("\n********Affiche_item end\n");
      log.flush();
      ColorItems();
      SortItems();
      log.add("\n********Detection_Item end\n");
    }
  } catch (const std::bad_alloc&) {
    if (!m_outOfMemory) reportOutOfMemory(log, "can't allocate memory\n", "Program error");
  }
  if (!m_outOfMemory) return 1;
  for (const auto& [index, value] : changed) pixels[index] = value;
  item = std::move(previousItems);
  nbr_item = previousCount;
  minItemLength = previousMinLength;
  refreshView();
  return 0;
}

int KW_SciDoc::ScanItems() {
  const OperationLog operationLog(m_commandLog, logSink(), logname::kDetectionItem);
  LogBuffer& log = *operationLog;
  log.add("*******perimetre\n");
  std::vector<ContourPoint> walk;
  // A piece is a plant when its walk is long enough; a short one is erased.
  const auto walkFrom = [&](int c, int r) {
    const int n = TraceContour(c, r, walk);
    log.addF("result %i\tindx %i\tindy %i\n", n, c, topRow(r));
    const int count = n + 1;
    if (n >= minItemLength) {
      for (int i = 0; i < count; ++i)
        paint(walk[static_cast<std::size_t>(i)].col, walk[static_cast<std::size_t>(i)].row, kBluePixel);
      return AddItem(walk.data(), count);
    }
    // The short component is erased; pixels inside a filled shape are
    // not on its walk, stay white and are found again later.
    for (int i = 0; i < count; ++i)
      paint(walk[static_cast<std::size_t>(i)].col, walk[static_cast<std::size_t>(i)].row, 0U);
    return 1;
  };
  // The adaptive pipeline's plants from the tops of their main roots, each
  // while it is still the end of a line (the walk of a piece passes an end
  // once); the scan below walks every other piece from its top.
  const auto lineEnd = [this](const ContourPoint& p) {
    return isWhite(p.col, p.row) && SameColourNeighbours(p.col, p.row, kWhitePixel) == 1;
  };
  if (settings.pipeline == Pipeline::Adaptive)
    for (const ContourPoint& start : plantStarts)
      if (lineEnd(start) && walkFrom(start.col, start.row) != 1) return 0;
  for (int r = height - 1; r >= 0; --r) {
    const std::uint32_t* line = rowPointer(r);
    const int last = width - 2;
    for (int c = 0; c <= last; ++c) {
      // Most of a skeleton picture is black: pass over it eight pixels at a time.
      while (c + 8 <= last + 1) {
        std::uint32_t any = 0;
        for (int k = 0; k < 8; ++k) any |= line[c + k];
        if (any != 0U) break;
        c += 8;
      }
      if (c > last || (line[c] & kWhitePixel) != kWhitePixel) continue;
      // A horizontal run with white beneath its start is entered at its right end.
      if ((isWhite(c - 1, r - 1) || isWhite(c, r - 1)) && isWhite(c + 1, r)) {
        while (isWhite(c + 1, r)) ++c;
      }
      if (walkFrom(c, r) != 1) return 0;
    }
  }
  log.add("*******perimetre fin\n");
  return 1;
}

int KW_SciDoc::TraceContour(int c0, int r0, std::vector<ContourPoint>& walk) {
  const OperationLog operationLog(m_commandLog, logSink(), logname::kDetectionItem);
  LogBuffer& log = *operationLog;
  walk.clear();
  try {
    walk.push_back({kWalkBorder, kWalkBorder, kWalkBorder});
  } catch (const std::bad_alloc&) {
    log.add("can't allocate memory\n");
    log.addF("nb %i\n", -1);
    return -1;
  }

  const std::size_t pixelCount =
      static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
  bool haveStates = true;
  if (m_walkStates.size() != pixelCount) {
    try {
      m_walkStates.assign(pixelCount, 0U);
    } catch (const std::bad_alloc&) {
      m_walkStates.clear();
      haveStates = false;
      log.add("can't allocate memory\n");
    }
  }
  // Without the state map a walk still ends: there are at most five states
  // per pixel, so a longer walk has repeated one.
  const long long maxSteps = 5LL * static_cast<long long>(pixelCount) + 1;

  int c = c0;
  int r = r0;
  int nextC = 0;
  int nextR = 0;
  std::size_t k = 0;
  for (;;) {
    if (nextC == c0 && nextR == r0) {
      walk[k] = {c0, r0, kWalkClosed};
      break;
    }
    walk[k].col = c;
    walk[k].row = r;
    if (c <= 0 || c >= width - 1 || r <= 0 || r >= height - 1) break;  // keeps kWalkBorder
    const int previous = k == 0 ? -1 : walk[k - 1].direction;
    if (haveStates) {
      std::uint8_t& states = m_walkStates[static_cast<std::size_t>(c) +
                                          static_cast<std::size_t>(r) * static_cast<std::size_t>(width)];
      const std::uint8_t bit = StateBit(previous);
      if ((states & bit) != 0U) {
        log.addF("walk in a loop at %i\t%i, stopped\n", c, topRow(r));
        walk[k].direction = kWalkStopped;
        break;
      }
      states = static_cast<std::uint8_t>(states | bit);
    } else if (static_cast<long long>(k) >= maxSteps) {
      log.addF("walk in a loop at %i\t%i, stopped\n", c, topRow(r));
      walk[k].direction = kWalkStopped;
      break;
    }
    const int direction = NextLinePixel(c, r, previous, nextC, nextR);
    walk[k].direction = direction;
    paint(c, r, kRedPixel);
    if (direction == kWalkStopped) break;
    try {
      walk.push_back({kWalkBorder, kWalkBorder, kWalkBorder});
    } catch (const std::bad_alloc&) {
      log.add("can't allocate memory\n");
      // The walk ends here with what it has; its last point says so.
      walk[k].direction = kWalkStopped;
      break;
    }
    c = nextC;
    r = nextR;
    ++k;
  }
  log.addF("nb %i\n", static_cast<int>(k));

  if (haveStates) {
    for (const ContourPoint& p : walk)
      if (inside(p.col, p.row))
        m_walkStates[static_cast<std::size_t>(p.col) +
                     static_cast<std::size_t>(p.row) * static_cast<std::size_t>(width)] = 0U;
  }
  return static_cast<int>(k);
}

int KW_SciDoc::AddItem(const ContourPoint* points, std::int32_t count) {
  if (points == nullptr || count <= 0) return 1;
  try {
    Item plant;
    plant.tab.assign(points, points + count);
    plant.nbr_point = count;
    plant.numero = nbr_item + 1;
    item.push_back(std::move(plant));
    nbr_item = static_cast<std::int32_t>(item.size());
    return 1;
  } catch (const std::bad_alloc&) {
    const OperationLog operationLog(m_commandLog, logSink(), logname::kDetectionItem);
    reportOutOfMemory(*operationLog, "Error new int insert_coord_root elem->tab\n", "Program error");
    return 0;
  }
}

void KW_SciDoc::MakeSubPicture(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= item.size()) return;
  Item& plant = item[static_cast<std::size_t>(index)];
  if (plant.tab.empty()) return;
  int xmin = width;
  int xmax = 0;
  int ymin = height;
  int ymax = 0;
  for (const ContourPoint& p : plant.tab) {
    xmin = std::min(xmin, p.col);
    xmax = std::max(xmax, p.col);
    ymin = std::min(ymin, p.row);
    ymax = std::max(ymax, p.row);
  }
  const int xdim = xmax - xmin + 1;
  const int ydim = ymax - ymin + 1;
  std::vector<std::uint32_t> copy;
  try {
    copy.resize(static_cast<std::size_t>(xdim) * static_cast<std::size_t>(ydim));
  } catch (const std::bad_alloc&) {
    return;
  }
  std::size_t i = 0;
  for (int y = ymin; y <= ymax; ++y)
    for (int x = xmin; x <= xmax; ++x) copy[i++] = pixelAt(x, y);
  plant.xmin = xmin;
  plant.ymin = ymin;
  plant.xdim = xdim;
  plant.ydim = ydim;
  plant.subPicture = std::move(copy);
}

void KW_SciDoc::SortItems() {
  // Left to right by the column of the walk's start; equal columns keep
  // their order.
  const auto startColumn = [](const Item& plant) {
    return plant.tab.empty() ? std::numeric_limits<int>::max() : plant.tab.front().col;
  };
  std::stable_sort(item.begin(), item.end(),
                   [&](const Item& a, const Item& b) { return startColumn(a) < startColumn(b); });
}

void KW_SciDoc::ColorItems() {
  ColourRandom random(m_colourSeed.value_or(static_cast<std::uint32_t>(std::time(nullptr))));
  // The walks and the tree builder tell plants apart by brightness sum, so
  // two plants that touch must not share one: a sum already given is drawn
  // again, as is white, the colour the tree builder takes for pixels already
  // recorded. About 500 sums can be drawn; past 400 plants (a picture of
  // noise, not a plate) a repeated sum is taken after 64 draws.
  std::array<bool, kWhiteSum + 1> sumTaken{};
  sumTaken[kWhiteSum] = true;
  std::size_t taken = 0;
  for (const Item& plant : item) {
    std::uint32_t colour = 0;
    for (int draw = 0;; ++draw) {
      const int a = random.next();
      const int b = random.next();
      // Both between 130 and 383; a value above 255 spills its ninth bit
      // into the next colour byte, as the bitwise OR makes it.
      const auto green = static_cast<std::uint32_t>(a / static_cast<double>(ColourRandom::kMax) * 253 + 130);
      const auto blue = static_cast<std::uint32_t>(b / static_cast<double>(ColourRandom::kMax) * 253 + 130);
      colour = (255U << 16) | (green << 8) | blue;
      const auto sum = static_cast<std::size_t>(PixelSum(colour));
      if (sum == kWhiteSum) continue;
      if (!sumTaken[sum] || (taken >= kDistinctColourPlants && draw >= kColourDraws)) {
        if (!sumTaken[sum]) ++taken;
        sumTaken[sum] = true;
        break;
      }
    }
    for (const ContourPoint& p : plant.tab) paint(p.col, p.row, colour);
  }
  refreshView();
}
