#include "image/detail/mask_tools.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numeric>

namespace {

std::size_t At(int i) { return static_cast<std::size_t>(i); }

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
bool HasZeroByte(std::uint64_t w) { return ((w - kOnes) & ~w & (kOnes * 0x80U)) != 0; }

// The root of run i's tree, halving the path on the way: every run's parent
// is the run itself or an earlier run.
int Root(std::vector<int>& parent, int i) {
  while (parent[At(i)] != i) {
    parent[At(i)] = parent[At(parent[At(i)])];
    i = parent[At(i)];
  }
  return i;
}

}  // namespace

MaskRuns FindMaskRuns(const cv::Mat& mask) {
  MaskRuns runs;
  runs.rowFirst.reserve(At(mask.rows) + 1);
  const int cols = mask.cols;
  for (int y = 0; y < mask.rows; ++y) {
    runs.rowFirst.push_back(static_cast<int>(runs.begin.size()));
    const auto* m = mask.ptr<std::uint8_t>(y);
    int x = 0;
    while (x < cols) {
      // Most of a mask is clear: eight clear pixels at a time.
      for (std::uint64_t word = 0; x + 8 <= cols; x += 8) {
        std::memcpy(&word, m + x, sizeof word);
        if (word != 0) break;
      }
      while (x < cols && m[x] == 0) ++x;
      if (x == cols) break;
      const int from = x;
      // Eight set pixels at a time too (a plate's inside is one run a row).
      for (std::uint64_t word = 0; x + 8 <= cols; x += 8) {
        std::memcpy(&word, m + x, sizeof word);
        if (HasZeroByte(word)) break;
      }
      while (x < cols && m[x] != 0) ++x;
      runs.begin.push_back(from);
      runs.end.push_back(x);
    }
  }
  const int count = static_cast<int>(runs.begin.size());
  runs.rowFirst.push_back(count);
  // Union-find over the runs, each tree's root its earliest run: a run joins
  // every run of the row above that it touches, diagonally included.
  std::vector<int>& parent = runs.component;
  parent.resize(At(count));
  std::iota(parent.begin(), parent.end(), 0);
  for (int y = 1; y < mask.rows; ++y) {
    int a = runs.rowFirst[At(y - 1)];
    int b = runs.rowFirst[At(y)];
    const int aLast = b, bLast = runs.rowFirst[At(y + 1)];
    while (a < aLast && b < bLast) {
      if (runs.end[At(a)] < runs.begin[At(b)]) {
        ++a;
      } else if (runs.end[At(b)] < runs.begin[At(a)]) {
        ++b;
      } else {
        const int ra = Root(parent, a), rb = Root(parent, b);
        if (ra < rb) parent[At(rb)] = ra;
        if (rb < ra) parent[At(ra)] = rb;
        if (runs.end[At(a)] < runs.end[At(b)])
          ++a;
        else
          ++b;
      }
    }
  }
  // The roots numbered in their order; every other run's parent comes
  // before it and is numbered already.
  for (int i = 0; i < count; ++i)
    parent[At(i)] = parent[At(i)] == i ? runs.components++ : parent[At(parent[At(i)])];
  return runs;
}

RunDistances DistancesOnRuns(const MaskRuns& runs, int width, int height) {
  RunDistances out;
  const std::size_t n = runs.begin.size();
  out.first.resize(n + 1);
  std::size_t total = 0;
  for (std::size_t r = 0; r < n; ++r) {
    out.first[r] = total;
    total += At(runs.end[r] - runs.begin[r]);
  }
  out.first[n] = total;
  out.distance.resize(total);
  const auto step = [](int d) { return std::min(255, d + 1); };
  // Down and to the right, from the row above (its distances, 0 where clear;
  // 255 beyond the border) and the pixel to the left.
  std::vector<std::uint8_t> next(At(width), 255), row(At(width));
  for (int y = 0; y < height; ++y) {
    std::fill(row.begin(), row.end(), std::uint8_t{0});
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      const int from = runs.begin[At(r)];
      int a = from == 0 ? 255 : 0;
      std::uint8_t* d = out.distance.data() + out.first[At(r)];  // d[x - from]
      for (int x = from; x < runs.end[At(r)]; ++x) {
        a = step(std::min(a, static_cast<int>(next[At(x)])));
        d[At(x - from)] = row[At(x)] = static_cast<std::uint8_t>(a);
      }
    }
    std::swap(next, row);
  }
  // Up and to the left, from the row below (final) and the pixel to the right.
  std::fill(next.begin(), next.end(), std::uint8_t{255});
  for (int y = height - 1; y >= 0; --y) {
    std::fill(row.begin(), row.end(), std::uint8_t{0});
    for (int r = runs.rowFirst[At(y) + 1] - 1; r >= runs.rowFirst[At(y)]; --r) {
      const int from = runs.begin[At(r)], to = runs.end[At(r)];
      int a = to == width ? 255 : 0;
      std::uint8_t* d = out.distance.data() + out.first[At(r)];  // d[x - from]
      for (int x = to - 1; x >= from; --x) {
        a = std::min(static_cast<int>(d[At(x - from)]), step(std::min(a, static_cast<int>(next[At(x)]))));
        d[At(x - from)] = row[At(x)] = static_cast<std::uint8_t>(a);
      }
    }
    std::swap(next, row);
  }
  return out;
}

void RunDistances::fillRow(const MaskRuns& runs, int y, std::uint8_t* row, int width) const {
  std::fill(row, row + width, std::uint8_t{0});
  for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r)
    std::copy(distance.begin() + static_cast<std::ptrdiff_t>(first[At(r)]),
              distance.begin() + static_cast<std::ptrdiff_t>(first[At(r) + 1]), row + runs.begin[At(r)]);
}

std::vector<ComponentStats> MaskComponentStats(const cv::Mat& mask) {
  const MaskRuns runs = FindMaskRuns(mask);
  const std::size_t n = At(runs.components);
  std::vector<ComponentStats> stats(n);
  std::vector<int> right(n, -1), bottom(n, -1);
  std::vector<std::uint64_t> sumX(n, 0), sumY(n, 0);
  // Each component's first 2 x 2 block: its block row, then its block column.
  std::vector<std::pair<int, int>> firstBlock(n, {mask.rows, mask.cols});
  for (int y = 0; y < mask.rows; ++y)
    for (int r = runs.rowFirst[At(y)]; r < runs.rowFirst[At(y) + 1]; ++r) {
      const std::size_t c = At(runs.component[At(r)]);
      const int from = runs.begin[At(r)], to = runs.end[At(r)];
      ComponentStats& s = stats[c];
      if (s.area == 0) {
        s.left = from;
        s.top = y;
      }
      s.left = std::min(s.left, from);
      right[c] = std::max(right[c], to - 1);
      bottom[c] = y;
      const int length = to - from;
      s.area += length;
      sumX[c] += static_cast<std::uint64_t>(from + to - 1) * static_cast<std::uint64_t>(length) / 2U;
      sumY[c] += static_cast<std::uint64_t>(y) * static_cast<std::uint64_t>(length);
      firstBlock[c] = std::min(firstBlock[c], std::pair<int, int>{y / 2, from / 2});
    }
  for (std::size_t c = 0; c < n; ++c) {
    ComponentStats& s = stats[c];
    s.width = right[c] - s.left + 1;
    s.height = bottom[c] - s.top + 1;
    const auto area = static_cast<double>(static_cast<unsigned>(s.area));
    s.centroidX = static_cast<double>(sumX[c]) / area;
    s.centroidY = static_cast<double>(sumY[c]) / area;
  }
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return firstBlock[a] < firstBlock[b]; });
  std::vector<ComponentStats> sorted;
  sorted.reserve(n);
  for (const std::size_t c : order) sorted.push_back(stats[c]);
  return sorted;
}

namespace {

// Eight pixels at a time where nothing happens: words of eight bytes.
std::uint64_t Word(const std::uint8_t* p) {
  std::uint64_t w = 0;
  std::memcpy(&w, p, sizeof w);
  return w;
}
void PutWord(std::uint8_t* p, std::uint64_t w) { std::memcpy(p, &w, sizeof w); }
constexpr std::uint64_t kAll = ~std::uint64_t{0};

// The city-block distances (at most 255) of every pixel to the nearest
// source pixel (of value kSource), in two passes (down, then up), each row
// thresholded into out as soon as its distances are final: keep(distance)
// says which pixels are set. Only out's plane and two rows are needed. Eight
// pixels that are all sources, or all far from one, are done at once.
template <std::uint8_t kSource, class Keep>
cv::Mat ThresholdedDistance(const cv::Mat& mask, Keep keep) {
  const int width = mask.cols, height = mask.rows;
  cv::Mat out(mask.size(), CV_8U);
  if (mask.empty()) return out;
  // A word of mask bytes, 0 where a byte is a source.
  const auto sourcesZero = [](std::uint64_t w) { return kSource == 0 ? w : ~w; };
  const auto step = [](int d) { return std::min(255, d + 1); };
  std::vector<std::uint8_t> far(At(width), 255);
  // Down and to the right: from the pixels above and to the left.
  for (int y = 0; y < height; ++y) {
    const auto* m = mask.ptr<std::uint8_t>(y);
    auto* d = out.ptr<std::uint8_t>(y);
    const std::uint8_t* up = y > 0 ? out.ptr<std::uint8_t>(y - 1) : far.data();
    int a = 255;
    int x = 0;
    while (x < width) {
      if (x + 8 <= width) {
        const std::uint64_t sources = sourcesZero(Word(m + x));
        if (sources == 0) {
          PutWord(d + x, 0);
          a = 0;
          x += 8;
          continue;
        }
        if (a == 255 && !HasZeroByte(sources) && Word(up + x) == kAll) {
          PutWord(d + x, kAll);
          x += 8;
          continue;
        }
      }
      a = m[x] == kSource ? 0 : step(std::min(a, static_cast<int>(up[x])));
      d[x] = static_cast<std::uint8_t>(a);
      ++x;
    }
  }
  // Up and to the left: from the pixels below (final already) and to the right.
  const std::uint8_t atSource = keep(0) ? 255 : 0, atFar = keep(255) ? 255 : 0;
  std::vector<std::uint8_t> below(far), row(At(width));
  for (int y = height - 1; y >= 0; --y) {
    auto* d = out.ptr<std::uint8_t>(y);
    int a = 255;
    int x = width;  // the pixels [0, x) are left
    while (x > 0) {
      if (x >= 8) {
        const std::uint64_t forward = Word(d + x - 8);
        if (forward == 0) {
          PutWord(row.data() + x - 8, 0);
          PutWord(d + x - 8, kOnes * atSource);
          a = 0;
          x -= 8;
          continue;
        }
        if (a == 255 && forward == kAll && Word(below.data() + x - 8) == kAll) {
          PutWord(row.data() + x - 8, kAll);
          PutWord(d + x - 8, kOnes * atFar);
          x -= 8;
          continue;
        }
      }
      --x;
      a = std::min(static_cast<int>(d[x]), step(std::min(a, static_cast<int>(below[At(x)]))));
      row[At(x)] = static_cast<std::uint8_t>(a);
      d[x] = keep(a) ? 255 : 0;
    }
    std::swap(below, row);
  }
  return out;
}

}  // namespace

cv::Mat DistanceOver(const cv::Mat& mask, double limit) {
  return ThresholdedDistance<0>(mask, [limit](int d) { return d > limit; });
}

cv::Mat DistanceToSetAtMost(const cv::Mat& mask, double limit) {
  return ThresholdedDistance<255>(mask, [limit](int d) { return d <= limit; });
}

AreaReduction::AreaReduction(cv::Size from, cv::Size to) : from_(from), to_(to) {
  // As cv::resize reckons its scales and chooses its way.
  const double scaleX = 1.0 / (static_cast<double>(to.width) / from.width);
  const double scaleY = 1.0 / (static_cast<double>(to.height) / from.height);
  const int wholeX = cv::saturate_cast<int>(scaleX), wholeY = cv::saturate_cast<int>(scaleY);
  const bool whole = std::abs(scaleX - wholeX) < DBL_EPSILON && std::abs(scaleY - wholeY) < DBL_EPSILON;
  general_ = !whole && scaleX >= 1.0 && scaleY >= 1.0 && to != from && to.width > 0 && to.height > 0;
  if (!general_) return;
  columns_ = Along(from.width, to.width, scaleX);
  rows_ = Along(from.height, to.height, scaleY);
}

// As OpenCV's computeResizeAreaTab lists them.
AreaReduction::Parts AreaReduction::Along(int from, int to, double scale) {
  Parts parts;
  const auto add = [&parts](int source, double weight) {
    parts.source.push_back(source);
    parts.weight.push_back(static_cast<float>(weight));
  };
  for (int d = 0; d < to; ++d) {
    parts.first.push_back(static_cast<int>(parts.source.size()));
    const double start = d * scale;
    const double end = start + scale;
    const double cellWidth = std::min(scale, from - start);
    int first = cvCeil(start), last = cvFloor(end);
    last = std::min(last, from - 1);
    first = std::min(first, last);
    if (first - start > 1e-3) add(first - 1, (first - start) / cellWidth);
    for (int s = first; s < last; ++s) add(s, 1.0 / cellWidth);
    if (end - last > 1e-3) add(last, std::min(std::min(end - last, 1.0), cellWidth) / cellWidth);
  }
  parts.first.push_back(static_cast<int>(parts.source.size()));
  return parts;
}
