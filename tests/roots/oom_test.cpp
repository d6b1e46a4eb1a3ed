// Memory exhaustion: a walk stops with what it has; recording a plant or a
// segment ends the program with a failure code after its log line and message.
//
// This program replaces the global allocation functions so that a test can
// make every allocation of at least a given size fail.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

#include "database/kw_log.h"
#include "roots/detail/log_buffer.h"
#include "roots/detail/memory_exhaustion.h"
#include "roots_test_util.h"

// GCC takes free() in the replaced operator delete for a mismatch with new.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<std::size_t> g_failFrom{std::numeric_limits<std::size_t>::max()};

// Allocations of failFrom bytes or more fail while the guard lives.
class FailLargeAllocations {
 public:
  explicit FailLargeAllocations(std::size_t failFrom) { g_failFrom = failFrom; }
  FailLargeAllocations(const FailLargeAllocations&) = delete;
  FailLargeAllocations& operator=(const FailLargeAllocations&) = delete;
  ~FailLargeAllocations() { g_failFrom = std::numeric_limits<std::size_t>::max(); }
};
}  // namespace

void* operator new(std::size_t size) {
  if (size >= g_failFrom) throw std::bad_alloc();
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

class MemoryExhaustion : public testenv::HomeTest {
 protected:
  KW_SciDoc doc;
};

TEST_F(MemoryExhaustion, GrowingWalkStopsWithThePointsSoFar) {
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

TEST_F(MemoryExhaustion, RecordingAPlantEndsTheProgramWithAFailureCode) {
  std::vector<ContourPoint> points(500, ContourPoint{1, 1, 1});
  EXPECT_EXIT(
      {
        const FailLargeAllocations guard(4000);
        doc.AddItem(points.data(), 500);
      },
      ::testing::ExitedWithCode(kOutOfMemoryExitCode), "Program error");
  EXPECT_EQ(readLog("log_detection_item.txt"), "Error new int insert_coord_root elem->tab\n");
}

TEST_F(MemoryExhaustion, RecordingASegmentEndsTheProgramWithAFailureCode) {
  rootstest::MakeBlack(doc, 10, 10);
  doc.root.resize(1);
  const std::vector<ContourPoint> walk(500, ContourPoint{1, 1, 1});
  EXPECT_EXIT(
      {
        const FailLargeAllocations guard(4000);
        doc.AddSegment(0, walk, 0, 499);
      },
      ::testing::ExitedWithCode(kOutOfMemoryExitCode), "Error KW_Segment");
  EXPECT_EQ(readLog("log_create_tree.txt"), "Error KW_Segment\n");
}

TEST_F(MemoryExhaustion, HandlerFlushesTheLogFirst) {
  EXPECT_EXIT(
      {
        LogBuffer log(logname::kMath);
        log.add("pending line\n");
        EndOnMemoryExhaustion(&log, logname::kMath, "last line\n", "Program error");
      },
      ::testing::ExitedWithCode(kOutOfMemoryExitCode), "Program error");
  EXPECT_EQ(readLog("log_math.txt"), "pending line\nlast line\n");
}

}  // namespace
