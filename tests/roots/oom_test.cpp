// Memory exhaustion: a walk stops with what it has; a command that cannot
// record a plant, a segment or a measure fails with its log line and message
// and leaves the document as it was, and the program goes on.
//
// This program replaces the global allocation functions so that a test can
// make allocations of at least a given size, or the n-th allocation, fail.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <limits>
#include <new>

#include "base/kw_log.h"
#include "roots_test_util.h"
#include "support/scripted_frontend.h"

// GCC takes free() in the replaced operator delete for a mismatch with new.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<std::size_t> g_failFrom{std::numeric_limits<std::size_t>::max()};
std::atomic<long> g_failAt{-1};
std::atomic<long> g_allocations{0};

// Allocations of failFrom bytes or more fail while the guard lives.
class FailLargeAllocations {
 public:
  explicit FailLargeAllocations(std::size_t failFrom) { g_failFrom = failFrom; }
  FailLargeAllocations(const FailLargeAllocations&) = delete;
  FailLargeAllocations& operator=(const FailLargeAllocations&) = delete;
  ~FailLargeAllocations() { g_failFrom = std::numeric_limits<std::size_t>::max(); }
};

// Counts allocations while it lives; the one numbered failAt (from 0) fails.
class FailOneAllocation {
 public:
  explicit FailOneAllocation(long failAt) {
    g_allocations = 0;
    g_failAt = failAt;
  }
  FailOneAllocation(const FailOneAllocation&) = delete;
  FailOneAllocation& operator=(const FailOneAllocation&) = delete;
  ~FailOneAllocation() { g_failAt = -1; }
  static long count() { return g_allocations; }
};
}  // namespace

void* operator new(std::size_t size) {
  if (size >= g_failFrom) throw std::bad_alloc();
  if (g_failAt >= 0 && g_allocations++ == g_failAt) throw std::bad_alloc();
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
// The other forms go through the same counting, so that every allocation
// and release of the program meets its own kind.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

class MemoryExhaustion : public testenv::HomeTest {
 protected:
  FRONTEND::ScriptedFrontend script;

  // Two plants of a few segments each.
  static void drawPlate(KW_SciDoc& doc) {
    rootstest::MakeBlack(doc, 60, 160);
    rootstest::DrawLine(doc, 15, 150, 15, 20);
    rootstest::DrawLine(doc, 15, 100, 5, 90);
    rootstest::DrawLine(doc, 40, 150, 40, 30);
    rootstest::DrawLine(doc, 40, 80, 52, 68);
    doc.setColourSeed(5U);
  }

  // Runs step on a fresh plate prepared by prepare, failing each allocation
  // of the step in turn. Whenever the step fails, check(doc) must hold; the
  // failure must have been met at least once.
  void failEachAllocation(const std::function<void(KW_SciDoc&)>& prepare,
                          const std::function<int(KW_SciDoc&)>& step,
                          const std::function<void(const KW_SciDoc&)>& check) {
    long allocations = 0;
    {
      KW_SciDoc doc;
      doc.setFrontend(&script);
      prepare(doc);
      const FailOneAllocation counting(std::numeric_limits<long>::max());
      ASSERT_EQ(step(doc), 1);
      allocations = FailOneAllocation::count();
    }
    int failures = 0;
    for (long n = 0; n < allocations; ++n) {
      KW_SciDoc doc;
      doc.setFrontend(&script);
      prepare(doc);
      int result = 0;
      {
        const FailOneAllocation failing(n);
        result = step(doc);
      }
      if (result == 1) continue;
      ++failures;
      SCOPED_TRACE(n);
      check(doc);
    }
    EXPECT_GT(failures, 0);
    EXPECT_FALSE(script.messages().empty());
  }
};

TEST_F(MemoryExhaustion, GrowingWalkStopsWithThePointsSoFar) {
  KW_SciDoc doc;
  doc.setFrontend(&script);
  rootstest::MakeBlack(doc, 10, 110);
  rootstest::DrawLine(doc, 5, 104, 5, 5);  // a walk of 199 points
  std::vector<ContourPoint> walk;
  int last = 0;
  {
    // The walk may grow to 64 points (768 bytes), not to 128.
    const FailLargeAllocations guard(1200);
    last = doc.TraceContour(5, 104, walk);
  }
  ASSERT_EQ(last, 63);
  ASSERT_EQ(walk.size(), 64U);
  EXPECT_EQ(walk.front(), (ContourPoint{5, 104, 1}));
  EXPECT_EQ(walk.back(), (ContourPoint{5, 41, kWalkStopped}));
  const std::string log = readLog("log_detection_item.txt");
  EXPECT_EQ(log, "can't allocate memory\nnb 63\n");
}

TEST_F(MemoryExhaustion, RecordingAPlantFailsWithItsLogLineAndMessage) {
  KW_SciDoc doc;
  doc.setFrontend(&script);
  std::vector<ContourPoint> points(500, ContourPoint{1, 1, 1});
  int recorded = 1;
  {
    const FailLargeAllocations guard(4000);
    recorded = doc.AddItem(points.data(), 500);
  }
  EXPECT_EQ(recorded, 0);
  EXPECT_TRUE(doc.item.empty());
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Program error"});
  EXPECT_EQ(readLog("log_detection_item.txt"), "Error new int insert_coord_root elem->tab\n");
}

TEST_F(MemoryExhaustion, RecordingASegmentFailsWithItsLogLineAndMessage) {
  KW_SciDoc doc;
  doc.setFrontend(&script);
  rootstest::MakeBlack(doc, 10, 10);
  doc.root.resize(1);
  const std::vector<ContourPoint> walk(500, ContourPoint{1, 1, 1});
  KW_Segment* added = nullptr;
  {
    const FailLargeAllocations guard(4000);
    added = doc.AddSegment(0, walk, 0, 499);
  }
  EXPECT_EQ(added, nullptr);
  EXPECT_FALSE(doc.root[0].first_segment);
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Error KW_Segment"});
  EXPECT_EQ(readLog("log_create_tree.txt"), "Error KW_Segment\n");
}

TEST_F(MemoryExhaustion, FindRootsThatFailsLeavesPictureAndPlantsAsTheyWere) {
  KW_SciDoc reference;
  reference.setFrontend(&script);
  drawPlate(reference);
  const std::vector<std::uint32_t> before = reference.pixels;
  failEachAllocation(
      drawPlate, [](KW_SciDoc& doc) { return doc.FindRoots(); },
      [&](const KW_SciDoc& doc) {
        EXPECT_EQ(doc.pixels, before);
        EXPECT_TRUE(doc.item.empty());
        EXPECT_EQ(doc.nbr_item, 0);
      });
}

TEST_F(MemoryExhaustion, CreateTreesThatFailsLeavesPictureAndTreesAsTheyWere) {
  const auto found = [](KW_SciDoc& doc) {
    drawPlate(doc);
    doc.FindRoots();
  };
  KW_SciDoc reference;
  reference.setFrontend(&script);
  found(reference);
  ASSERT_EQ(reference.nbr_item, 2);
  const std::vector<std::uint32_t> before = reference.pixels;
  failEachAllocation(
      found, [](KW_SciDoc& doc) { return doc.CreateTrees(); },
      [&](const KW_SciDoc& doc) {
        EXPECT_EQ(doc.pixels, before);
        EXPECT_TRUE(doc.root.empty());
        EXPECT_EQ(doc.nbr_root, 0);
      });
}

TEST_F(MemoryExhaustion, MeasureTreesThatFailsKeepsTheEarlierMeasures) {
  // Measures no walk gives, so that any measure written shows.
  constexpr double kEarlier = -7.0;
  const auto built = [](KW_SciDoc& doc) {
    drawPlate(doc);
    doc.FindRoots();
    doc.CreateTrees();
    for (RootTree& tree : doc.root) {
      tree.main_length = kEarlier;
      if (tree.first_segment) tree.first_segment->length_total_begin = kEarlier;
    }
  };
  failEachAllocation(
      built, [](KW_SciDoc& doc) { return doc.MeasureTrees(); },
      [&](const KW_SciDoc& doc) {
        ASSERT_EQ(doc.root.size(), 2U);
        for (const RootTree& tree : doc.root) {
          EXPECT_EQ(tree.main_length, kEarlier);
          ASSERT_TRUE(tree.first_segment);
          EXPECT_EQ(tree.first_segment->length_total_begin, kEarlier);
        }
      });
}

TEST_F(MemoryExhaustion, ThinningWithoutMemoryForItsListsGivesTheSamePicture) {
  // A plate's traces, thick enough for several iterations.
  KW_SciDoc plate;
  plate.setFrontend(&script);
  drawPlate(plate);
  plate.Dilate();
  plate.Dilate();
  std::vector<std::uint32_t> expected = plate.pixels;
  long allocations = 0;
  int expectedIterations = 0;
  {
    const FailOneAllocation counting(std::numeric_limits<long>::max());
    expectedIterations = ThinPicture(expected.data(), plate.width, plate.height);
    allocations = FailOneAllocation::count();
  }
  ASSERT_GT(allocations, 0);
  for (long n = 0; n < allocations; ++n) {
    SCOPED_TRACE(n);
    std::vector<std::uint32_t> picture = plate.pixels;
    int iterations = 0;
    {
      const FailOneAllocation failing(n);
      iterations = ThinPicture(picture.data(), plate.width, plate.height);
    }
    ASSERT_EQ(picture, expected);
    EXPECT_EQ(iterations, expectedIterations);
  }
}

}  // namespace
