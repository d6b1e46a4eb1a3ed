#include "image/ima_ana.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "database/kw_log.h"
#include "image/step_dialog_models.h"
#include "shell/frontend.h"

namespace {

constexpr std::uint32_t kBlack = 0x000000U;
constexpr std::uint32_t kWhite = 0xFFFFFFU;
constexpr std::uint32_t kColourMask = 0xFFFFFFU;

std::array<bool, kStepMarkCount> g_stepMarks{};

inline bool nonBlack(std::uint32_t p) { return (p & kColourMask) != 0; }
inline int brightness(std::uint32_t p) {
  return static_cast<int>(((p >> 16) & 0xFFU) + ((p >> 8) & 0xFFU) + (p & 0xFFU));
}
inline bool isWhite(std::uint32_t p) { return (p & kColourMask) == kWhite; }

inline std::size_t indexOf(int col, int row, int width) {
  return static_cast<std::size_t>(col) + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
}
inline std::size_t pixelCount(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a step's log anew (empty); null when it cannot be created.
FilePtr createLog(std::string_view name) {
  const auto path = KW_Log::Log_File_Path(name);
  if (!path) return nullptr;
  return FilePtr(std::fopen(path->c_str(), "wb"));
}

// The 120 removable neighbour codes, ascending.
constexpr std::array<std::uint8_t, 120> kRemovableList = {
    3,   5,   7,   12,  13,  14,  15,  20,  21,  22,  23,  28,  29,  30,  31,  48,  52,  53,  54,  55,
    56,  60,  61,  62,  63,  65,  67,  69,  71,  77,  79,  80,  81,  83,  84,  85,  86,  87,  88,  89,
    91,  92,  93,  94,  95,  97,  99,  101, 103, 109, 111, 112, 113, 115, 116, 117, 118, 119, 120, 121,
    123, 124, 125, 126, 127, 131, 133, 135, 141, 143, 149, 151, 157, 159, 181, 183, 189, 191, 192, 193,
    195, 197, 199, 205, 207, 208, 209, 211, 212, 213, 214, 215, 216, 217, 219, 220, 221, 222, 223, 224,
    225, 227, 229, 231, 237, 239, 240, 241, 243, 244, 245, 246, 247, 248, 249, 251, 252, 253, 254, 255};

constexpr std::array<bool, 256> makeRemovableTable() {
  std::array<bool, 256> t{};
  for (const std::uint8_t code : kRemovableList) t[code] = true;
  return t;
}
constexpr std::array<bool, 256> kRemovableTable = makeRemovableTable();

// Walks the pixels DrawSegment paints from (c, r) to (c2, r2), calling paint
// for each; shared by DrawSegment and the dilatation's offset table.
template <typename Paint>
void forEachSegmentPixel(int c, int r, int c2, int r2, Paint&& paint) {
  if (c == c2 && r == r2) return;
  const int dc = (c2 > c) - (c2 < c);
  const int dr = (r2 > r) - (r2 < r);
  if (r == r2) {
    for (int x = c;; x += dc) {
      paint(x, r);
      if (x == c2) break;
    }
    return;
  }
  if (c == c2) {
    for (int y = r;; y += dr) {
      paint(c, y);
      if (y == r2) break;
    }
    return;
  }
  // Diagonal phase, then straight along the remaining axis; neither end is painted.
  do {
    c += dc;
    paint(c, r);
    r += dr;
  } while (r != r2 && c != c2);
  while (c != c2 || r != r2) {
    paint(c, r);
    if (c == c2) {
      r += dr;
    } else {
      c += dc;
    }
  }
}

// The pixels painted by the segment from the centre of a 5 x 5 window to each
// of its positions, as offsets from the centre.
struct SegmentOffsets {
  int count = 0;
  std::array<int, 5> dcol{};
  std::array<int, 5> drow{};
};
struct DilateTable {
  std::array<SegmentOffsets, 25> entry{};  // index (dr + 2) * 5 + (dc + 2)
};
const DilateTable& dilateTable() {
  static const DilateTable table = [] {
    DilateTable t;
    for (int dr = -2; dr <= 2; ++dr)
      for (int dc = -2; dc <= 2; ++dc) {
        SegmentOffsets& e = t.entry[static_cast<std::size_t>((dr + 2) * 5 + dc + 2)];
        forEachSegmentPixel(0, 0, dc, dr, [&e](int x, int y) {
          e.dcol[static_cast<std::size_t>(e.count)] = x;
          e.drow[static_cast<std::size_t>(e.count)] = y;
          ++e.count;
        });
      }
    return t;
  }();
  return table;
}

}  // namespace

// ---------------------------------------------------------------------------
// Step check marks

void CheckStep(StepMark step) {
  g_stepMarks.fill(false);
  g_stepMarks[static_cast<std::size_t>(step)] = true;
}
bool IsStepChecked(StepMark step) { return g_stepMarks[static_cast<std::size_t>(step)]; }
void SetStepChecked(StepMark step, bool on) { g_stepMarks[static_cast<std::size_t>(step)] = on; }
void ClearStepMarks() { g_stepMarks.fill(false); }

int VoteMethodIndex(std::string_view name) {
  for (int i = 0; i < kVoteMethodCount; ++i)
    if (kVoteFilters[static_cast<std::size_t>(i)].name == name) return i;
  return -1;
}

const std::array<std::uint8_t, 120> kRemovableCodes = kRemovableList;
const std::array<bool, 256> kIsRemovable = kRemovableTable;

// ---------------------------------------------------------------------------
// Skeleton tools

int NeighbourCode(const std::uint32_t* pixels, int width, int height, int col, int row) {
  int code = 0;
  for (int d = 0; d < 8; ++d) {
    // N, NE, E, SE, S, SW, W, NW with weights 1, 2, 4, ..., 128.
    static constexpr std::array<int, 8> kDc = {0, 1, 1, 1, 0, -1, -1, -1};
    static constexpr std::array<int, 8> kDr = {1, 1, 0, -1, -1, -1, 0, 1};
    const int c = col + kDc[static_cast<std::size_t>(d)];
    const int r = row + kDr[static_cast<std::size_t>(d)];
    if (c < 0 || r < 0 || c >= width || r >= height) continue;
    if (nonBlack(pixels[indexOf(c, r, width)])) code += 1 << d;
  }
  return code;
}

int CountNeighboursOfSum(const std::uint32_t* pixels, int width, int height, int col, int row, int r, int g,
                         int b) {
  const int sum = r + g + b;
  int count = 0;
  for (int dr = -1; dr <= 1; ++dr)
    for (int dc = -1; dc <= 1; ++dc) {
      if (dr == 0 && dc == 0) continue;
      const int c2 = col + dc;
      const int r2 = row + dr;
      if (c2 < 0 || r2 < 0 || c2 >= width || r2 >= height) continue;
      if (brightness(pixels[indexOf(c2, r2, width)]) == sum) ++count;
    }
  return count;
}

void Whiten(std::uint32_t* pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (nonBlack(pixels[i])) pixels[i] |= kWhite;
}

int NextLinePixel(const std::uint32_t* pixels, int width, int height, int col, int row, int previousDirection,
                  int& nextCol, int& nextRow) {
  nextCol = col;
  nextRow = row;
  int first = 0;
  switch (previousDirection) {
    case 1:
    case 2:
      first = 8;
      break;
    case 3:
    case 4:
      first = 2;
      break;
    case 5:
    case 6:
    case -1:
      first = 4;
      break;
    case 7:
    case 8:
      first = 6;
      break;
    default:
      return -1;
  }
  for (int k = 0; k < 8; ++k) {
    const int dir = (first - 1 + k) % 8 + 1;
    const int c = col + kDirectionCol[static_cast<std::size_t>(dir)];
    const int r = row + kDirectionRow[static_cast<std::size_t>(dir)];
    if (c < 0 || r < 0 || c >= width || r >= height) continue;
    const std::uint32_t p = pixels[indexOf(c, r, width)] & kColourMask;
    if (p == 0xFF0000U || p == kWhite) {
      nextCol = c;
      nextRow = r;
      return dir;
    }
  }
  return -1;
}

// ---------------------------------------------------------------------------
// Kernels

void Binarise(const std::uint32_t* source, std::uint32_t* target, int width, int height, int t) {
  const std::size_t n = pixelCount(width, height);
  const double level = t;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t p = source[i];
    const double grey = 0.3 * static_cast<double>((p >> 16) & 0xFFU) +
                        0.59 * static_cast<double>((p >> 8) & 0xFFU) + 0.11 * static_cast<double>(p & 0xFFU);
    target[i] = grey > level ? kWhite : kBlack;
  }
}

int VoteFilter(const std::uint32_t* source, std::uint32_t* target, int width, int height, int method) {
  if (method < 0 || method >= kVoteMethodCount) return 0;
  const std::size_t n = pixelCount(width, height);
  if (method == kOriginalMethod) {
    if (source != target) std::copy(source, source + n, target);
    return 1;
  }
  if (width < 5 || height < 5) {
    std::fill(target, target + n, kBlack);
    return 1;
  }
  const VoteFilterRow& f = kVoteFilters[static_cast<std::size_t>(method)];
  // The window's weights depend on |dcol| and |drow| only, so the vote is the
  // sum over the five rows of one symmetric horizontal 5-tap sum per row
  // distance: k0 for the centre row, k1 for the rows at 1, k2 at 2.
  const int k0a = f.centre, k0b = f.edge1, k0c = f.edge2;
  const int k1a = f.edge1, k1b = f.corner1, k1c = f.knight;
  const int k2a = f.edge2, k2b = f.knight, k2c = f.corner2;
  const std::size_t w = static_cast<std::size_t>(width);
  // Five rows of three horizontal sums each, kept in a ring, plus one mask row.
  std::vector<std::int32_t> ring(15 * w);
  std::vector<std::int32_t> mask(w);
  auto h0 = [&](int row) { return ring.data() + (static_cast<std::size_t>(row % 5) * 3 + 0) * w; };
  auto h1 = [&](int row) { return ring.data() + (static_cast<std::size_t>(row % 5) * 3 + 1) * w; };
  auto h2 = [&](int row) { return ring.data() + (static_cast<std::size_t>(row % 5) * 3 + 2) * w; };
  const int limit = f.limit;
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* src = source + static_cast<std::size_t>(y) * w;
    std::int32_t* m = mask.data();
    for (std::size_t x = 0; x < w; ++x) m[x] = (src[x] & kColourMask) != 0 ? 1 : 0;
    std::int32_t* a0 = h0(y);
    std::int32_t* a1 = h1(y);
    std::int32_t* a2 = h2(y);
    for (std::size_t x = 2; x + 2 < w; ++x) {
      const std::int32_t c = m[x];
      const std::int32_t s1 = m[x - 1] + m[x + 1];
      const std::int32_t s2 = m[x - 2] + m[x + 2];
      a0[x] = k0a * c + k0b * s1 + k0c * s2;
      a1[x] = k1a * c + k1b * s1 + k1c * s2;
      a2[x] = k2a * c + k2b * s1 + k2c * s2;
    }
    if (y < 4) continue;
    // Every source row the output row y - 2 needs is read; later rows are
    // still unread, so the filter may run in place.
    const int yo = y - 2;
    const std::int32_t* c0 = h0(yo);
    const std::int32_t* u1 = h1(yo + 1);
    const std::int32_t* d1 = h1(yo - 1);
    const std::int32_t* u2 = h2(yo + 2);
    const std::int32_t* d2 = h2(yo - 2);
    std::uint32_t* dst = target + static_cast<std::size_t>(yo) * w;
    dst[0] = dst[1] = kBlack;
    for (std::size_t x = 2; x + 2 < w; ++x) {
      const std::int32_t vote = c0[x] + u1[x] + d1[x] + u2[x] + d2[x];
      dst[x] = vote > limit ? kWhite : kBlack;
    }
    dst[w - 2] = dst[w - 1] = kBlack;
  }
  std::fill(target, target + 2 * w, kBlack);
  std::fill(target + (static_cast<std::size_t>(height) - 2) * w, target + n, kBlack);
  return 1;
}

int VoteFilter(const std::uint32_t* source, std::uint32_t* target, int width, int height,
               std::string_view method) {
  return VoteFilter(source, target, width, height, VoteMethodIndex(method));
}

void DrawSegment(int col, int row, int col2, int row2, std::uint32_t* picture, int width, int height) {
  forEachSegmentPixel(col, row, col2, row2, [&](int c, int r) {
    if (c < 0 || r < 0 || c >= width || r >= height) return;
    picture[indexOf(c, r, width)] |= 0xFFFFFFU;
  });
}

// ---------------------------------------------------------------------------
// Thinning.
//
// Between iterations every pixel is black or white. Only a border pixel (one
// with a black neighbour) can be removed, and a pixel becomes a border pixel
// only when a neighbour is removed, so each iteration walks the sorted list of
// border pixels instead of the whole picture; walking it in index order is the
// row-by-row, left-to-right order of the passes, so every in-place read sees
// the same picture as a full scan would.
//
// Working colours in the buffer: a pixel that is not on the list stays white
// and stands for "red" (interior); listed pixels take green 0x00FF00, blue
// 0x0000FF or magenta 0xFF00FF; green means exactly 0x00FF00.

namespace {

constexpr std::uint32_t kGreen = 0x00FF00U;
constexpr std::uint32_t kBlue = 0x0000FFU;
constexpr std::uint32_t kMagenta = 0xFF00FFU;

struct Thinner {
  std::uint32_t* p;
  int width;
  int height;
  std::size_t w;
  std::vector<std::size_t> border;   // this iteration's border pixels, ascending
  std::vector<std::size_t> touched;  // in-region neighbours of removed pixels
  std::vector<std::size_t> next;

  bool inRegion(std::size_t i) const {
    const std::size_t c = i % w;
    const std::size_t r = i / w;
    return c >= 1 && c + 1 < w && r >= 1 && r + 2 <= static_cast<std::size_t>(height);
  }

  int code(std::size_t i) const {
    const std::uint32_t* q = p + i;
    const std::ptrdiff_t sw = static_cast<std::ptrdiff_t>(w);
    return (q[sw] != 0 ? 1 : 0) | (q[sw + 1] != 0 ? 2 : 0) | (q[1] != 0 ? 4 : 0) | (q[1 - sw] != 0 ? 8 : 0) |
           (q[-sw] != 0 ? 16 : 0) | (q[-sw - 1] != 0 ? 32 : 0) | (q[-1] != 0 ? 64 : 0) |
           (q[sw - 1] != 0 ? 128 : 0);
  }

  void collectInitialBorder() {
    const std::ptrdiff_t sw = static_cast<std::ptrdiff_t>(w);
    border.clear();
    for (int r = 1; r + 1 < height; ++r) {
      const std::size_t row = static_cast<std::size_t>(r) * w;
      for (std::size_t c = 1; c + 1 < w; ++c) {
        const std::size_t i = row + c;
        if (p[i] == 0) continue;
        const std::uint32_t* q = p + i;
        if (q[-1] == 0 || q[1] == 0 || q[sw - 1] == 0 || q[sw] == 0 || q[sw + 1] == 0 || q[-sw - 1] == 0 ||
            q[-sw] == 0 || q[1 - sw] == 0)
          border.push_back(i);
      }
    }
  }

  void touchNeighbours(std::size_t i) {
    const std::size_t around[8] = {i + w - 1, i + w, i + w + 1, i - 1, i + 1, i - w - 1, i - w, i - w + 1};
    for (const std::size_t j : around)
      if (p[j] != 0 && inRegion(j)) touched.push_back(j);
  }

  // One iteration of the passes; returns the number of removed pixels.
  std::size_t iterate() {
    const std::ptrdiff_t sw = static_cast<std::ptrdiff_t>(w);
    // Border marking.
    for (const std::size_t i : border) p[i] = kGreen;
    // Inner-corner protection: a pixel already turned blue in this pass no
    // longer counts as green for the pixels after it.
    for (const std::size_t i : border) {
      const std::uint32_t* q = p + i;
      const std::uint32_t n = q[sw], ne = q[sw + 1], e = q[1], se = q[1 - sw], s = q[-sw], swp = q[-sw - 1],
                          wp = q[-1], nw = q[sw - 1];
      const bool p1 = wp == kGreen && s == kGreen && swp == 0 && nw != 0 && n != 0 && e != 0 && se != 0;
      const bool p2 = e == kGreen && s == kGreen && se == 0 && swp != 0 && wp != 0 && n != 0 && ne != 0;
      const bool p3 = e == kGreen && n == kGreen && ne == 0 && se != 0 && s != 0 && wp != 0 && nw != 0;
      const bool p4 = wp == kGreen && n == kGreen && nw == 0 && ne != 0 && e != 0 && s != 0 && swp != 0;
      if (p1 || p2 || p3 || p4) p[i] = kBlue;
    }
    // Convex corners.
    for (const std::size_t i : border) {
      if (p[i] != kGreen) continue;
      const std::uint32_t* q = p + i;
      const bool n = q[sw] != 0, ne = q[sw + 1] != 0, e = q[1] != 0, se = q[1 - sw] != 0, s = q[-sw] != 0,
                 swp = q[-sw - 1] != 0, wp = q[-1] != 0, nw = q[sw - 1] != 0;
      if ((wp && s && swp && !n && !ne && !e) || (e && s && se && !wp && !nw && !n) ||
          (e && n && ne && !s && !swp && !wp) || (wp && n && nw && !e && !se && !s))
        p[i] = kMagenta;
    }
    std::size_t removed = 0;
    touched.clear();
    for (const std::size_t i : border)
      if (p[i] == kMagenta) {
        p[i] = 0;
        ++removed;
      }
    // Removal by neighbour code, in place; survivors turn back to white.
    for (const std::size_t i : border) {
      if (p[i] == 0) continue;
      if (p[i] == kGreen && kRemovableTable[static_cast<std::size_t>(code(i))]) {
        p[i] = 0;
        ++removed;
      } else {
        p[i] = kWhite;
      }
    }
    if (removed == 0) return 0;
    // Next border: the survivors (their black neighbour stays black) and the
    // white neighbours of every removed pixel.
    next.clear();
    for (const std::size_t i : border) {
      if (p[i] != 0) {
        next.push_back(i);
      } else {
        touchNeighbours(i);
      }
    }
    const std::size_t survivors = next.size();
    next.insert(next.end(), touched.begin(), touched.end());
    std::sort(next.begin() + static_cast<std::ptrdiff_t>(survivors), next.end());
    std::inplace_merge(next.begin(), next.begin() + static_cast<std::ptrdiff_t>(survivors), next.end());
    next.erase(std::unique(next.begin(), next.end()), next.end());
    border.swap(next);
    return removed;
  }
};

}  // namespace

int ThinPicture(std::uint32_t* pixels, int width, int height, int maxIterations) {
  const std::size_t n = pixelCount(width, height);
  if (n == 0) return 0;
  // Whiten; between iterations the picture holds black and white only, and
  // any bits above the colour are dropped so the fast comparisons hold.
  for (std::size_t i = 0; i < n; ++i) pixels[i] = nonBlack(pixels[i]) ? kWhite : kBlack;
  if (width < 3 || height < 3) return 0;
  Thinner t{pixels, width, height, static_cast<std::size_t>(width), {}, {}, {}};
  t.collectInitialBorder();
  int iterations = 0;
  while (maxIterations < 0 || iterations < maxIterations) {
    if (t.iterate() == 0) break;
    ++iterations;
  }
  // An interrupted run leaves every pixel black or white as well.
  return iterations;
}

// ---------------------------------------------------------------------------
// The document

namespace {
// A picture the steps may work on: some pixels, exactly width x height of them.
bool validPicture(const KW_PicDoc& doc) {
  return doc.width > 0 && doc.height > 0 && doc.pixels.size() == pixelCount(doc.width, doc.height);
}
}  // namespace

KW_ImaAna::~KW_ImaAna() { ClearStepMarks(); }

void KW_ImaAna::MakeBlackWhite() {
  CheckStep(StepMark::MakeBlackWhite);
  ThresholdModel model(*this);
  if (FRONTEND::RunThresholdDialog(model)) {
    threshold = model.accept();
  } else {
    model.cancel();
  }
  refreshView();
}

void KW_ImaAna::FixedBinarise() {
  if (!validPicture(*this)) return;
  ::Binarise(pixels.data(), pixels.data(), width, height, 90);
}

int KW_ImaAna::RemoveBox() {
  CheckStep(StepMark::RemoveBox);
  int cropped = 0;
  if (validPicture(*this)) {
    FilePtr log = createLog(logname::kDetectionBox);
    if (log) {
      std::FILE* f = log.get();
      std::fputs("\n********detection_box\n", f);
      const std::size_t w = static_cast<std::size_t>(width);
      std::vector<double> rowSum(static_cast<std::size_t>(height));
      std::vector<std::int64_t> colAcc(w, 0);
      for (int r = 0; r < height; ++r) {
        const std::uint32_t* row = pixels.data() + static_cast<std::size_t>(r) * w;
        std::int64_t sum = 0;
        for (std::size_t c = 0; c < w; ++c) {
          const std::int64_t b = brightness(row[c]);
          sum += b;
          colAcc[c] += b;
        }
        rowSum[static_cast<std::size_t>(r)] = static_cast<double>(sum);
      }
      auto rowAt = [&](int r) { return rowSum[static_cast<std::size_t>(r)]; };
      auto colAt = [&](int c) { return static_cast<double>(colAcc[static_cast<std::size_t>(c)]); };

      // Scale from the plate's 12.5 cm height: the outermost rows with at
      // least 10000 brightness (about 13 white pixels).
      int top = height;
      for (int r = 0; r < height; ++r)
        if (rowAt(r) >= 10000.0) {
          top = r;
          break;
        }
      int bottom = 0;
      for (int r = height - 1; r >= 0; --r)
        if (rowAt(r) >= 10000.0) {
          bottom = r;
          break;
        }
      std::fprintf(f, "x %i \n", top);
      std::fprintf(f, "y %i \n", bottom);
      // A picture without any bright row has no plate to measure: the scale
      // would come out negative or infinite, so the old one stays.
      if (top < height) scale = static_cast<float>(12.5 / static_cast<double>(bottom - top + 1));

      // The rim: rows and columns with at least 200000 brightness (about 262
      // white pixels), so only the long lines of the plate's frame qualify.
      int firstRow = height, lastRow = -1, firstCol = width, lastCol = -1;
      for (int r = 0; r < height; ++r)
        if (rowAt(r) >= 200000.0) {
          firstRow = r;
          break;
        }
      for (int r = height - 1; r >= 0; --r)
        if (rowAt(r) >= 200000.0) {
          lastRow = r;
          break;
        }
      for (int c = 0; c < width; ++c)
        if (colAt(c) >= 200000.0) {
          firstCol = c;
          break;
        }
      for (int c = width - 1; c >= 0; --c)
        if (colAt(c) >= 200000.0) {
          lastCol = c;
          break;
        }
      // 65 pixels inside the rim.
      const int rowMin = firstRow + 65, rowMax = lastRow - 65;
      const int colMin = firstCol + 65, colMax = lastCol - 65;
      std::fprintf(f, "indx_row_min %i\n", rowMin);
      std::fprintf(f, "indx_row_max %i\n", rowMax);
      std::fprintf(f, "indy_col_min %i\n", colMin);
      std::fprintf(f, "indy_col_max %i\n", colMax);
      if (colMin < colMax && rowMin < rowMax) {
        const int newWidth = colMax - colMin + 1;
        const int newHeight = rowMax - rowMin + 1;
        std::vector<std::uint32_t> crop;
        bool allocated = true;
        try {
          crop.reserve(pixelCount(newWidth, newHeight));
        } catch (const std::bad_alloc&) {
          allocated = false;
        }
        if (allocated) {
          // Row by row into the reserved array: no pass to zero it first.
          for (int r = 0; r < newHeight; ++r) {
            const std::uint32_t* from = pixels.data() + indexOf(colMin, rowMin + r, width);
            crop.insert(crop.end(), from, from + newWidth);
          }
          pixels.swap(crop);
          width = newWidth;
          height = newHeight;
          std::fprintf(f, "new size xdim %i\n", width);
          std::fprintf(f, "new size ydim %i\n", height);
          cropped = 1;
        }
      } else {
        FRONTEND::ShowMessage("Impossible to find the box!");
        std::fputs("Impossible to find the box!\n", f);
      }
    }
  }
  refreshView();
  return cropped;
}

void KW_ImaAna::RemoveNoise() {
  CheckStep(StepMark::RemoveNoise);
  ErosionMethodModel model(*this);
  if (FRONTEND::RunErosionMethodDialog(model)) {
    erosionMethod = FRONTEND::CutText(model.accept(), kMaxErosionMethod);
  } else {
    model.cancel();
  }
  AppendLogF(logname::kCleaning, "\n********Cleaning\nErosion method %s\n", erosionMethod.c_str());
  CutMargins(false);
  refreshView();
}

int KW_ImaAna::ApplyVoteFilter(int method) {
  if (method < 0 || method >= kVoteMethodCount) return 0;
  if (!validPicture(*this)) return 1;
  return ::VoteFilter(pixels.data(), pixels.data(), width, height, method);
}

void KW_ImaAna::CutMargins(bool marks) {
  if (!validPicture(*this)) return;
  const double W = width;
  const double H = height;
  // Colours of the optional marks, one per band.
  static constexpr std::array<std::uint32_t, 8> kMarkColour = {0xFF0000U, 0x00FF00U, 0x0000FFU, 0xFFFF00U,
                                                               0xFF00FFU, 0x00FFFFU, 0xFF8000U, 0x8000FFU};
  auto clear = [&](int c, int r, int band) {
    At(c, r) = marks ? kMarkColour[static_cast<std::size_t>(band)] : kBlack;
  };
  auto sq = [](double d, double a) { return (d * d) / (a * a); };
  // Column bands: columns [c0, c1], every row.
  auto columnBand = [&](int band, int c0, int c1, double centre, double semi, bool rowFromTop) {
    c0 = std::max(c0, 0);
    c1 = std::min(c1, width - 1);
    for (int r = 0; r < height; ++r) {
      const double rowTerm = rowFromTop ? sq(r - H, H) : sq(r, H);
      for (int c = c0; c <= c1; ++c)
        if (sq(c - centre, semi) + rowTerm >= 1.0) clear(c, r, band);
    }
  };
  // Row bands: rows [r0, r1], every column.
  auto rowBand = [&](int band, int r0, int r1, double centre, double semi, bool colFromRight) {
    r0 = std::max(r0, 0);
    r1 = std::min(r1, height - 1);
    for (int r = r0; r <= r1; ++r) {
      const double rowTerm = sq(r - centre, semi);
      for (int c = 0; c < width; ++c) {
        const double colTerm = colFromRight ? sq(c - W, W) : sq(c, W);
        if (rowTerm + colTerm >= 1.0) clear(c, r, band);
      }
    }
  };
  columnBand(0, 0, 99, 100.0, 100.0, true);
  rowBand(1, 0, 99, 100.0, 100.0, true);
  columnBand(2, width - 50, width - 1, W - 50.0, 50.0, false);
  rowBand(3, height - 50, height - 1, H - 50.0, 50.0, false);
  columnBand(4, 0, 49, 50.0, 50.0, false);
  rowBand(5, height - 50, height - 1, H - 50.0, 50.0, true);
  columnBand(6, width - 100, width - 1, W - 100.0, 100.0, true);
  rowBand(7, 0, 99, 100.0, 100.0, false);
}

void KW_ImaAna::Dilate() {
  CheckStep(StepMark::Dilate);
  TruncateLog(logname::kDilatation);
  AppendLog(logname::kDilatation, "\n********Dilatation\n");
  if (validPicture(*this)) {
    std::vector<std::uint32_t> target;
    bool allocated = true;
    try {
      target.assign(pixelCount(width, height), kBlack);
    } catch (const std::bad_alloc&) {
      allocated = false;
    }
    if (allocated) {
      const DilateTable& table = dilateTable();
      const std::ptrdiff_t w = width;
      const std::uint32_t* src = pixels.data();
      std::uint32_t* dst = target.data();
      for (int r = 2; r + 2 < height; ++r) {
        for (int c = 2; c + 2 < width; ++c) {
          const std::ptrdiff_t i = c + r * w;
          if (!isWhite(src[i])) continue;
          // Rows r - 2..r + 2 ascending, columns c - 2..c + 2 ascending.
          for (int k = 0; k < 25; ++k) {
            if (k == 12) continue;
            const std::ptrdiff_t j = i + (k / 5 - 2) * w + (k % 5 - 2);
            if (!isWhite(src[j])) continue;
            const SegmentOffsets& e = table.entry[static_cast<std::size_t>(k)];
            for (int s = 0; s < e.count; ++s)
              dst[i + e.drow[static_cast<std::size_t>(s)] * w + e.dcol[static_cast<std::size_t>(s)]] = kWhite;
          }
        }
      }
      pixels.swap(target);
    }
  }
  refreshView();
}

void KW_ImaAna::Skeletonize() {
  CheckStep(StepMark::Skeletonize);
  const FRONTEND::WaitCursor wait;
  FilePtr log = createLog(logname::kSkeletonization);
  if (log) {
    std::fputs("\n********Skeletonization\n", log.get());
    log.reset();
  }
  if (validPicture(*this)) ThinPicture(pixels.data(), width, height);
  refreshView();
  AppendLog(logname::kSkeletonization, "\n********Skeletonization end\n");
}

int KW_ImaAna::NeighbourCode(int col, int row) const {
  if (!validPicture(*this)) return 0;
  return ::NeighbourCode(pixels.data(), width, height, col, row);
}

int KW_ImaAna::CountNeighboursOfSum(int col, int row, int r, int g, int b) const {
  if (!validPicture(*this)) return 0;
  return ::CountNeighboursOfSum(pixels.data(), width, height, col, row, r, g, b);
}

void KW_ImaAna::Whiten() { ::Whiten(pixels.data(), pixels.size()); }

int KW_ImaAna::NextLinePixel(int col, int row, int previousDirection, int& nextCol, int& nextRow) const {
  if (!validPicture(*this)) {
    nextCol = col;
    nextRow = row;
    return -1;
  }
  return ::NextLinePixel(pixels.data(), width, height, col, row, previousDirection, nextCol, nextRow);
}
