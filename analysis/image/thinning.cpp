// Thinning in iterations. Each iteration classifies the pixels of the picture
// as it stands: border pixels (non-black with a black neighbour) are
// candidates; a border pixel in an inner corner is protected for this
// iteration; unprotected convex corners go first; then, row by row and left
// to right, every unprotected border pixel whose neighbour code is removable
// goes, each removal changing the codes of the pixels after it.
//
// Cost follows the work. The picture stays black and white during an
// iteration: removals are flagged and applied at its end, so every test of
// the iteration can read the picture as it was at its start, and the flag
// stands in for the in-place effect of the removal pass. Only pixels whose
// decision can differ from the last iteration's are tested:
// - the neighbours of the pixels removed in the last iteration (their
//   neighbourhood changed; the new border pixels are among them);
// - the pixels that survived the last iteration only as protected inner
//   corners, because protection depends on more than a pixel's own
//   neighbourhood.
// Any other border pixel was found, with the same eight neighbours, to be
// neither a convex corner nor of a removable code, so it stays. Within an
// iteration the removal pass also tests the later neighbours of each removal
// and the neighbours of every convex corner removed before it. Protection
// depends on whether the W and S neighbours were protected earlier in the same
// pass; that is decided on demand, once per pixel and iteration.
#include "image/thinning.h"

#include <algorithm>
#include <functional>
#include <new>
#include <queue>
#include <vector>

#include "image/detail/pixels.h"

namespace {

// The colour part of a pixel; the byte above it holds the thinner's flags
// for the pixel while an iteration runs (the picture is black and white, so
// the colour says all there is to say about a pixel).
constexpr std::uint32_t kColour = 0x00FFFFFFU;
constexpr std::uint32_t kFlags = 0xFF000000U;
constexpr std::uint32_t kRemoved = 1U << 24;          // removed in this iteration
constexpr std::uint32_t kProtectionKnown = 1U << 25;  // protection decided in this iteration
constexpr std::uint32_t kProtected = 1U << 26;        // an inner corner in this iteration
constexpr std::uint32_t kListed = 1U << 27;           // to be tested in this iteration
constexpr std::uint32_t kNextListed = 1U << 28;       // to be tested in the next iteration
constexpr std::uint32_t kBorderKnown = 1U << 29;      // border found out in this iteration
constexpr std::uint32_t kBorder = 1U << 30;           // a border pixel in this iteration
constexpr std::uint32_t kOutside = 1U << 31;          // on the picture's edge, for the whole run
constexpr std::uint32_t kIterationFlags = kFlags & ~kOutside;

enum class Tri { No, Yes, Unknown };

class Thinner {
 public:
  Thinner(std::uint32_t* picture, int width, int height)
      : m_p(picture),
        m_width(static_cast<std::size_t>(width)),
        m_height(static_cast<std::size_t>(height)),
        m_w(width) {}

  // Whitens the picture and thins it. Counts in iterations the iterations
  // that removed a pixel. An allocation that fails throws std::bad_alloc
  // with the picture as the last completed iteration left it, flags aside.
  int run(int maxIterations, int& iterations) {
    whitenAndCollectBorder();
    while (maxIterations < 0 || iterations < maxIterations) {
      if (iterate(iterations) == 0) break;
    }
    clearFlags();
    markEdge(false);
    return iterations;
  }

 private:
  std::size_t north(std::size_t i) const { return i + m_width; }
  std::size_t south(std::size_t i) const { return i - m_width; }

  // Non-black in the picture as the iteration started.
  bool on(std::size_t i) const { return (m_p[i] & kColour) != 0; }
  bool on(const std::uint32_t* q, std::ptrdiff_t offset) const { return (q[offset] & kColour) != 0; }
  // Non-black in the picture as the removal pass has changed it so far.
  bool present(std::size_t i) const { return (m_p[i] & kColour) != 0 && (m_p[i] & kRemoved) == 0; }
  bool has(std::size_t i, std::uint32_t flag) const { return (m_p[i] & flag) != 0; }

  // Inside the one-pixel edge of the picture.
  bool inRegion(std::size_t i) const { return !has(i, kOutside); }

  void markEdge(bool on) {
    auto mark = [&](std::size_t i) { m_p[i] = on ? m_p[i] | kOutside : m_p[i] & ~kOutside; };
    for (std::size_t col = 0; col < m_width; ++col) {
      mark(col);
      mark((m_height - 1) * m_width + col);
    }
    for (std::size_t row = 1; row + 1 < m_height; ++row) {
      mark(row * m_width);
      mark(row * m_width + m_width - 1);
    }
  }

  bool anyBlackAround(const std::uint32_t* q) const {
    return !on(q, -1) || !on(q, 1) || !on(q, m_w - 1) || !on(q, m_w) || !on(q, m_w + 1) || !on(q, -m_w - 1) ||
           !on(q, -m_w) || !on(q, 1 - m_w);
  }

  bool isBorder(std::size_t i) {
    if (has(i, kBorderKnown)) return has(i, kBorder);
    const bool border = inRegion(i) && on(i) && anyBlackAround(m_p + i);
    setFlag(i, border ? kBorderKnown | kBorder : kBorderKnown);
    return border;
  }

  // Convex corner: three neighbours on one side, the three opposite black.
  bool isConvex(std::size_t i) const {
    const std::uint32_t* q = m_p + i;
    const bool n = on(q, m_w), ne = on(q, m_w + 1), e = on(q, 1), se = on(q, 1 - m_w), s = on(q, -m_w),
               sw = on(q, -m_w - 1), w = on(q, -1), nw = on(q, m_w - 1);
    return (w && s && sw && !n && !ne && !e) || (e && s && se && !w && !nw && !n) ||
           (e && n && ne && !s && !sw && !w) || (w && n && nw && !e && !se && !s);
  }

  int presentCode(std::size_t i) const {
    return (present(i + m_width) ? 1 : 0) | (present(i + m_width + 1) ? 2 : 0) | (present(i + 1) ? 4 : 0) |
           (present(i + 1 - m_width) ? 8 : 0) | (present(i - m_width) ? 16 : 0) |
           (present(i - m_width - 1) ? 32 : 0) | (present(i - 1) ? 64 : 0) |
           (present(i + m_width - 1) ? 128 : 0);
  }

  void setFlag(std::size_t i, std::uint32_t flag) {
    if ((m_p[i] & kIterationFlags) == 0) m_touched.push_back(i);
    m_p[i] |= flag;
  }

  void clearFlags() {
    for (const std::size_t i : m_touched) m_p[i] &= ~kIterationFlags;
    m_touched.clear();
  }

  // A border pixel before (W or S of) the one being decided counts as green
  // unless it was protected itself; unknown until that is decided.
  Tri greenBefore(std::size_t i) {
    if (!isBorder(i)) return Tri::No;
    if (!has(i, kProtectionKnown)) return Tri::Unknown;
    return has(i, kProtected) ? Tri::No : Tri::Yes;
  }

  // The four inner-corner patterns of border pixel i. Unknown, with the W or
  // S neighbour to decide first in waiting, when the answer depends on it.
  Tri innerCorner(std::size_t i, std::size_t& waiting) {
    const std::uint32_t* q = m_p + i;
    const bool n = on(q, m_w), ne = on(q, m_w + 1), e = on(q, 1), se = on(q, 1 - m_w), s = on(q, -m_w),
               sw = on(q, -m_w - 1), w = on(q, -1), nw = on(q, m_w - 1);
    const std::size_t west = i - 1, east = i + 1;
    // Pixels after this one are not decided yet: a border pixel there is green.
    if (!ne && se && s && w && nw && isBorder(east) && isBorder(north(i))) return Tri::Yes;
    bool unknown = false;
    auto both = [&](Tri a, Tri b, std::size_t aIndex, std::size_t bIndex) {
      if (a == Tri::No || b == Tri::No) return false;
      if (a == Tri::Yes && b == Tri::Yes) return true;
      unknown = true;
      waiting = a == Tri::Unknown ? aIndex : bIndex;
      return false;
    };
    const Tri yes = Tri::Yes;
    if (!sw && nw && n && e && se && both(greenBefore(west), greenBefore(south(i)), west, south(i)))
      return Tri::Yes;
    if (!se && sw && w && n && ne && isBorder(east) && both(yes, greenBefore(south(i)), east, south(i)))
      return Tri::Yes;
    if (!nw && ne && e && s && sw && isBorder(north(i)) && both(greenBefore(west), yes, west, north(i)))
      return Tri::Yes;
    return unknown ? Tri::Unknown : Tri::No;
  }

  void decideProtection(std::size_t i, Tri corner) {
    setFlag(i, corner == Tri::Yes ? kProtectionKnown | kProtected : kProtectionKnown);
  }

  // Whether border pixel i is protected in this iteration. Decisions wait
  // only on pixels before them, so the explicit stack always ends.
  bool isProtected(std::size_t i) {
    if (has(i, kProtectionKnown)) return has(i, kProtected);
    std::size_t waiting = i;
    const Tri direct = innerCorner(i, waiting);
    if (direct != Tri::Unknown) {
      decideProtection(i, direct);
      return direct == Tri::Yes;
    }
    m_stack.push_back(i);
    while (!m_stack.empty()) {
      const std::size_t j = m_stack.back();
      if (has(j, kProtectionKnown)) {
        m_stack.pop_back();
        continue;
      }
      waiting = j;
      const Tri corner = isBorder(j) ? innerCorner(j, waiting) : Tri::No;
      if (corner == Tri::Unknown) {
        m_stack.push_back(waiting);
        continue;
      }
      decideProtection(j, corner);
      m_stack.pop_back();
    }
    return has(i, kProtected);
  }

  void markRemoved(std::size_t i) {
    setFlag(i, kRemoved);
    m_removed.push_back(i);
  }

  void listForNext(std::size_t i) {
    if (has(i, kNextListed)) return;
    setFlag(i, kNextListed);
    m_next.push_back(i);
  }

  // Tests i in this iteration's removal pass unless it is listed already.
  template <typename Sink>
  void listNow(std::size_t i, Sink&& sink) {
    if (!inRegion(i) || !on(i) || has(i, kListed)) return;
    setFlag(i, kListed);
    sink(i);
  }

  // One pass: every pixel becomes black or white (dropping any bits above
  // the colour), and every border pixel is listed. A row is examined once
  // the row above it is whitened.
  void whitenAndCollectBorder() {
    m_list.clear();
    auto whitenRow = [&](std::size_t row) {
      std::uint32_t* p = m_p + row * m_width;
      for (std::size_t col = 0; col < m_width; ++col)
        p[col] = (p[col] & kColour) != 0 ? pix::kWhite : pix::kBlack;
    };
    whitenRow(0);
    if (m_height > 1) whitenRow(1);
    for (std::size_t row = 1; row + 1 < m_height; ++row) {
      whitenRow(row + 1);
      const std::uint32_t* p = m_p + row * m_width;
      for (std::size_t col = 1; col + 1 < m_width; ++col) {
        if (p[col] == 0 || !anyBlackAround(p + col)) continue;
        const std::size_t i = row * m_width + col;
        setFlag(i, kListed);
        m_list.push_back(i);
      }
    }
    markEdge(true);
  }

  // One iteration; returns the number of removed pixels and counts the
  // iteration in iterations as soon as its removals are in the picture.
  std::size_t iterate(int& iterations) {
    m_removed.clear();
    m_next.clear();
    // Convex corners, removed before the removal pass.
    for (const std::size_t i : m_list) {
      if (!isBorder(i)) continue;
      if (isProtected(i)) {
        listForNext(i);
      } else if (isConvex(i)) {
        markRemoved(i);
      }
    }
    // Their neighbours see them gone in the removal pass.
    const std::size_t convexCount = m_removed.size();
    const std::size_t listed = m_list.size();
    for (std::size_t k = 0; k < convexCount; ++k)
      forNeighbours(m_removed[k],
                    [&](std::size_t x) { listNow(x, [&](std::size_t y) { m_list.push_back(y); }); });
    if (!ascendingByScan(m_list, kListed, m_list.size() - listed)) {
      std::sort(m_list.begin() + static_cast<std::ptrdiff_t>(listed), m_list.end());
      std::inplace_merge(m_list.begin(), m_list.begin() + static_cast<std::ptrdiff_t>(listed), m_list.end());
    }

    // The removal pass in row order; a removal puts the pixels after it that
    // it touches into the same pass.
    std::size_t k = 0;
    while (k < m_list.size() || !m_later.empty()) {
      std::size_t i = 0;
      if (!m_later.empty() && (k == m_list.size() || m_later.top() < m_list[k])) {
        i = m_later.top();
        m_later.pop();
      } else {
        i = m_list[k++];
      }
      if (has(i, kRemoved) || !isBorder(i)) continue;
      if (isProtected(i)) {
        listForNext(i);
        continue;
      }
      if (!kIsRemovable[static_cast<std::size_t>(presentCode(i))]) continue;
      markRemoved(i);
      for (const std::size_t after : {i + 1, i + m_width - 1, i + m_width, i + m_width + 1})
        listNow(after, [&](std::size_t y) { m_later.push(y); });
    }

    if (m_removed.empty()) return 0;
    for (const std::size_t i : m_removed) m_p[i] = pix::kBlack;
    ++iterations;
    for (const std::size_t i : m_removed)
      forNeighbours(i, [&](std::size_t x) {
        if (inRegion(x) && on(x)) listForNext(x);
      });
    if (!ascendingByScan(m_next, kNextListed, m_next.size())) std::sort(m_next.begin(), m_next.end());
    clearFlags();
    for (const std::size_t i : m_next) setFlag(i, kListed);
    m_list.swap(m_next);
    return m_removed.size();
  }

  // Puts list, whose pixels all carry flag and which holds every pixel that
  // does, in ascending order by reading the flags between its least and
  // greatest pixel, when that costs less than sorting unsorted of them.
  bool ascendingByScan(std::vector<std::size_t>& list, std::uint32_t flag, std::size_t unsorted) {
    if (list.size() < 2) return true;
    const auto [least, greatest] = std::minmax_element(list.begin(), list.end());
    const std::size_t first = *least, last = *greatest;
    if (last - first > unsorted * 16) return false;
    list.clear();
    for (std::size_t i = first; i <= last; ++i)
      if (has(i, flag)) list.push_back(i);
    return true;
  }

  template <typename Visit>
  void forNeighbours(std::size_t i, Visit&& visit) const {
    for (const std::size_t x : {i + m_width - 1, i + m_width, i + m_width + 1, i - 1, i + 1, i - m_width - 1,
                                i - m_width, i - m_width + 1})
      visit(x);
  }

  std::uint32_t* m_p;
  std::size_t m_width;
  std::size_t m_height;
  std::ptrdiff_t m_w;
  std::vector<std::size_t> m_touched;  // pixels with flags set
  std::vector<std::size_t> m_list;     // this iteration's pixels to test, ascending
  std::vector<std::size_t> m_next;     // the next iteration's
  std::vector<std::size_t> m_removed;  // removed in this iteration
  std::vector<std::size_t> m_stack;
  std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> m_later;
};

// One iteration over the whole picture in working colours, in place and
// without allocating: the way on when memory for the lists runs out. Gives
// the same picture as Thinner's iteration. Returns the number of removals.
std::size_t fullScanIteration(std::uint32_t* p, int width, int height) {
  constexpr std::uint32_t kRed = 0xFF0000U, kGreen = 0x00FF00U, kBlue = 0x0000FFU, kMagenta = 0xFF00FFU;
  const std::ptrdiff_t w = width;
  auto region = [&](auto&& visit) {
    for (int r = 1; r + 1 < height; ++r)
      for (int c = 1; c + 1 < width; ++c) visit(p + pix::indexOf(c, r, width));
  };
  const std::size_t total = pix::count(width, height);
  for (std::size_t i = 0; i < total; ++i)
    if (p[i] != 0) p[i] = kRed;
  region([&](std::uint32_t* q) {
    if (*q != kRed) return;
    if (q[-1] == 0 || q[1] == 0 || q[w - 1] == 0 || q[w] == 0 || q[w + 1] == 0 || q[-w - 1] == 0 ||
        q[-w] == 0 || q[1 - w] == 0)
      *q = kGreen;
  });
  region([&](std::uint32_t* q) {
    if (*q != kGreen) return;
    const std::uint32_t n = q[w], ne = q[w + 1], e = q[1], se = q[1 - w], s = q[-w], sw = q[-w - 1],
                        wp = q[-1], nw = q[w - 1];
    if ((wp == kGreen && s == kGreen && sw == 0 && nw != 0 && n != 0 && e != 0 && se != 0) ||
        (e == kGreen && s == kGreen && se == 0 && sw != 0 && wp != 0 && n != 0 && ne != 0) ||
        (e == kGreen && n == kGreen && ne == 0 && se != 0 && s != 0 && wp != 0 && nw != 0) ||
        (wp == kGreen && n == kGreen && nw == 0 && ne != 0 && e != 0 && s != 0 && sw != 0))
      *q = kBlue;
  });
  region([&](std::uint32_t* q) {
    if (*q != kGreen) return;
    const bool n = q[w] != 0, ne = q[w + 1] != 0, e = q[1] != 0, se = q[1 - w] != 0, s = q[-w] != 0,
               sw = q[-w - 1] != 0, wp = q[-1] != 0, nw = q[w - 1] != 0;
    if ((wp && s && sw && !n && !ne && !e) || (e && s && se && !wp && !nw && !n) ||
        (e && n && ne && !s && !sw && !wp) || (wp && n && nw && !e && !se && !s))
      *q = kMagenta;
  });
  std::size_t removed = 0;
  region([&](std::uint32_t* q) {
    if (*q == kMagenta) {
      *q = 0;
      ++removed;
    }
  });
  region([&](std::uint32_t* q) {
    if (*q == 0) return;
    const int code = (q[w] != 0 ? 1 : 0) | (q[w + 1] != 0 ? 2 : 0) | (q[1] != 0 ? 4 : 0) |
                     (q[1 - w] != 0 ? 8 : 0) | (q[-w] != 0 ? 16 : 0) | (q[-w - 1] != 0 ? 32 : 0) |
                     (q[-1] != 0 ? 64 : 0) | (q[w - 1] != 0 ? 128 : 0);
    if (*q == kGreen && kIsRemovable[static_cast<std::size_t>(code)]) {
      *q = 0;
      ++removed;
    } else {
      *q = kRed;
    }
  });
  for (std::size_t i = 0; i < total; ++i)
    if (p[i] != 0) p[i] = pix::kWhite;
  return removed;
}

// Every pixel black or white, with nothing above the colour.
void blackAndWhite(std::uint32_t* pixels, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) pixels[i] = pix::nonBlack(pixels[i]) ? pix::kWhite : pix::kBlack;
}

}  // namespace

int ThinPicture(std::uint32_t* pixels, int width, int height, int maxIterations) {
  const std::size_t n = pix::count(width, height);
  if (n == 0) return 0;
  if (width < 3 || height < 3) {
    blackAndWhite(pixels, n);
    return 0;
  }
  int iterations = 0;
  try {
    Thinner thinner(pixels, width, height);
    return thinner.run(maxIterations, iterations);
  } catch (const std::bad_alloc&) {
    // Between iterations the picture is black and white and the lists are
    // only a shortcut: drop the flags (and finish the whitening) and go on
    // without them.
    blackAndWhite(pixels, n);
  }
  while (maxIterations < 0 || iterations < maxIterations) {
    if (fullScanIteration(pixels, width, height) == 0) break;
    ++iterations;
  }
  return iterations;
}
