// The records of the root analysis: a step of a contour walk, a detected
// plant, a stretch of root between two nodes of a plant's skeleton, and the
// tree of stretches of one plant.
//
// Positions are picture coordinates: column, and row with row 0 at the
// bottom of the picture.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One step of a contour walk. direction is the code of the line follower
// (1..8) that leads from this point to the next one, or a mark saying how
// the walk ended at this point.
struct ContourPoint {
  std::int32_t col = 0;
  std::int32_t row = 0;
  std::int32_t direction = 0;

  friend bool operator==(const ContourPoint&, const ContourPoint&) = default;
};

// Marks a walk ends with.
inline constexpr std::int32_t kWalkStopped = -1;  // no next pixel: the walk stopped here
inline constexpr std::int32_t kWalkBorder = -2;   // on the picture border: not looked further
inline constexpr std::int32_t kWalkClosed = -3;   // the start again: the walk closed

// True when p and q are the same pixel, whatever their directions.
inline bool SamePosition(const ContourPoint& p, const ContourPoint& q) {
  return p.col == q.col && p.row == q.row;
}

// True when p and q are different pixels that touch, sides or corners.
bool Adjacent8(const ContourPoint& p, const ContourPoint& q);

// One plant: one 8-connected component of the skeleton, known by the closed
// walk around it. Copying copies both arrays.
struct Item {
  std::vector<ContourPoint> tab;  // the walk; tab[0] is the start pixel
  std::int32_t nbr_point = 0;
  std::int32_t numero = 0;     // 1-based, in the order of detection
  std::int32_t threshold = 0;  // always 0
  // Bounding box and the copy of the picture inside it, row ymin first;
  // 0 and empty until MakeSubPicture.
  std::int32_t xdim = 0;
  std::int32_t ydim = 0;
  std::int32_t xmin = 0;
  std::int32_t ymin = 0;
  std::vector<std::uint32_t> subPicture;
};

// One stretch of root between two nodes (a junction or a tip). A segment
// owns its children; a plant can have thousands of segments in a chain, so
// destroying a tree never recurses.
class KW_Segment {
 public:
  KW_Segment() = default;
  KW_Segment(const KW_Segment&) = delete;
  KW_Segment& operator=(const KW_Segment&) = delete;
  ~KW_Segment();

  // Appends child (keeps nbr_segment_children in step) and returns it.
  KW_Segment* addChild(std::unique_ptr<KW_Segment> child);

  // The segments that start next to this segment's end, in attachment order.
  std::vector<std::unique_ptr<KW_Segment>> segment_children;
  std::int32_t nbr_segment_children = 0;
  // The pixels in walking order: the first is the start, the last the end.
  std::vector<ContourPoint> point;
  std::int32_t nbr_point = 0;
  std::int32_t numero = 0;          // always 0
  double length = 0.0;              // path length of this stretch, pixels
  float position_root = 0.0F;       // where the segment starts along the plant
  float position_branch = 0.0F;     // branching position on the parent root
  double length_total_begin = 0.0;  // from the plant's start to this segment's end
  // True-length mode, a segment without children: how far its root's tip
  // lies past its last point (root_ends.h); part of length.
  double tipExtension = 0.0;
  // True-length mode, the first segment of a lateral root: how far back
  // from its parent's last point the lateral starts (root_ends.h); part of
  // length.
  double baseExtension = 0.0;
  // Measures of the root this segment starts (main or lateral).
  double length_longest = 0.0;
  double straightness = 0.0;  // vector (chord) length
  double angle = 0.0;         // degrees
  std::int32_t Nbr_LR = 0;
  // Child indices from this segment to the end of its root, ended by -1.
  std::vector<std::int32_t> path_longest;
};

// Quality flags of a plant, set by the adaptive pipeline's checks.
enum PlantFlag : std::uint32_t {
  kFlagTouchesEdge = 1U,        // the root system reaches the border of the analysed area
  kFlagMerged = 2U,             // one tree grown from two seedlings' starts
  kFlagImplausibleLength = 4U,  // main root longer than the analysed area is high
  kFlagLowContrast = 8U,        // the roots barely stand out of the background
};
// The flags in words, separated by ";" in the order above: "touches-edge;merged";
// empty for none.
std::string PlantFlagsText(std::uint32_t flags);

// The segment tree of one plant and the measures of its main root.
struct RootTree {
  std::unique_ptr<KW_Segment> first_segment;  // null while the plant has no segment
  double main_length = 0.0;
  double main_vector = 0.0;
  double main_angle = 0.0;
  std::int32_t nbr_LR = 0;
  // Child indices from first_segment to the end of the main root, ended by -1.
  std::vector<std::int32_t> path_longest_total;
  // PlantFlag bits; 0 for a plant of the fixed pipeline.
  std::uint32_t flags = 0;
};
