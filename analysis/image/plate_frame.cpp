#include "image/plate_frame.h"

#include <vector>

#include "image/detail/pixels.h"

namespace {

constexpr double kBrightRow = 10000.0;
constexpr double kRimLine = 200000.0;

// The first index of sums, walking from first by step, whose sum reaches
// level; none when there is none.
int firstReaching(const std::vector<double>& sums, double level, int first, int step, int none) {
  for (int i = first; i >= 0 && i < static_cast<int>(sums.size()); i += step)
    if (sums[static_cast<std::size_t>(i)] >= level) return i;
  return none;
}

}  // namespace

PlateFrame FindPlateFrame(const std::uint32_t* pixels, int width, int height) {
  const std::size_t w = static_cast<std::size_t>(width);
  std::vector<double> rowSum(static_cast<std::size_t>(height));
  std::vector<std::int64_t> columnTotal(w, 0);
  for (int r = 0; r < height; ++r) {
    const std::uint32_t* row = pixels + static_cast<std::size_t>(r) * w;
    std::int64_t sum = 0;
    for (std::size_t c = 0; c < w; ++c) {
      const std::int64_t b = pix::brightness(row[c]);
      sum += b;
      columnTotal[c] += b;
    }
    rowSum[static_cast<std::size_t>(r)] = static_cast<double>(sum);
  }
  std::vector<double> columnSum(columnTotal.begin(), columnTotal.end());

  PlateFrame frame;
  frame.lowestBrightRow = firstReaching(rowSum, kBrightRow, 0, 1, height);
  frame.highestBrightRow = firstReaching(rowSum, kBrightRow, height - 1, -1, 0);
  frame.firstRimRow = firstReaching(rowSum, kRimLine, 0, 1, height);
  frame.lastRimRow = firstReaching(rowSum, kRimLine, height - 1, -1, -1);
  frame.firstRimColumn = firstReaching(columnSum, kRimLine, 0, 1, width);
  frame.lastRimColumn = firstReaching(columnSum, kRimLine, width - 1, -1, -1);
  return frame;
}
