// The window's weights depend on |dcol| and |drow| only, so the vote of a
// pixel is the sum, over the five rows of its window, of one symmetric
// horizontal 5-tap sum per row distance. Each source row is read once into
// three such sums (for distance 0, 1 and 2), kept in a ring of five rows.
#include "image/vote_filter.h"

#include <algorithm>
#include <vector>

#include "image/detail/pixels.h"

namespace {

// The horizontal taps for one row distance: the weight of the pixel in the
// window's column, of the two at distance 1 and of the two at distance 2.
struct RowTaps {
  int centre;
  int near;
  int far;
};

}  // namespace

int VoteMethodIndex(std::string_view name) {
  for (int i = 0; i < kVoteMethodCount; ++i)
    if (kVoteFilters[static_cast<std::size_t>(i)].name == name) return i;
  return -1;
}

int VoteFilter(const std::uint32_t* source, std::uint32_t* target, int width, int height, int method) {
  if (method < 0 || method >= kVoteMethodCount) return 0;
  const std::size_t n = pix::count(width, height);
  if (method == kOriginalMethod) {
    if (source != target) std::copy(source, source + n, target);
    return 1;
  }
  if (width < 5 || height < 5) {
    std::fill(target, target + n, pix::kBlack);
    return 1;
  }
  const VoteFilterRow& f = kVoteFilters[static_cast<std::size_t>(method)];
  const RowTaps sameRow{f.centre, f.edge1, f.edge2};
  const RowTaps rowAt1{f.edge1, f.corner1, f.knight};
  const RowTaps rowAt2{f.edge2, f.knight, f.corner2};
  const std::size_t w = static_cast<std::size_t>(width);
  // Five rows of three horizontal sums each, plus the white mask of one row.
  std::vector<std::int32_t> ring(15 * w);
  std::vector<std::int32_t> mask(w);
  auto sums = [&](int row, int distance) {
    return ring.data() + (static_cast<std::size_t>(row % 5) * 3 + static_cast<std::size_t>(distance)) * w;
  };
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* src = source + static_cast<std::size_t>(y) * w;
    std::int32_t* m = mask.data();
    for (std::size_t x = 0; x < w; ++x) m[x] = pix::nonBlack(src[x]) ? 1 : 0;
    std::int32_t* sum0 = sums(y, 0);
    std::int32_t* sum1 = sums(y, 1);
    std::int32_t* sum2 = sums(y, 2);
    for (std::size_t x = 2; x + 2 < w; ++x) {
      const std::int32_t centre = m[x];
      const std::int32_t near = m[x - 1] + m[x + 1];
      const std::int32_t far = m[x - 2] + m[x + 2];
      sum0[x] = sameRow.centre * centre + sameRow.near * near + sameRow.far * far;
      sum1[x] = rowAt1.centre * centre + rowAt1.near * near + rowAt1.far * far;
      sum2[x] = rowAt2.centre * centre + rowAt2.near * near + rowAt2.far * far;
    }
    if (y < 4) continue;
    // Every source row the output row y - 2 needs is read; later rows are
    // still unread, so the filter may run in place.
    const int out = y - 2;
    const std::int32_t* middle = sums(out, 0);
    const std::int32_t* above1 = sums(out + 1, 1);
    const std::int32_t* below1 = sums(out - 1, 1);
    const std::int32_t* above2 = sums(out + 2, 2);
    const std::int32_t* below2 = sums(out - 2, 2);
    std::uint32_t* dst = target + static_cast<std::size_t>(out) * w;
    dst[0] = dst[1] = pix::kBlack;
    for (std::size_t x = 2; x + 2 < w; ++x) {
      const std::int32_t vote = middle[x] + above1[x] + below1[x] + above2[x] + below2[x];
      dst[x] = vote > f.limit ? pix::kWhite : pix::kBlack;
    }
    dst[w - 2] = dst[w - 1] = pix::kBlack;
  }
  std::fill(target, target + 2 * w, pix::kBlack);
  std::fill(target + (static_cast<std::size_t>(height) - 2) * w, target + n, pix::kBlack);
  return 1;
}

int VoteFilter(const std::uint32_t* source, std::uint32_t* target, int width, int height,
               std::string_view method) {
  return VoteFilter(source, target, width, height, VoteMethodIndex(method));
}
