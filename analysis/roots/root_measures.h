// Measures of roots in pixels: path length of a segment, vector (chord)
// length and angle of a root, and the path to a root's farthest tip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "roots/root_records.h"

class LogBuffer;
class LogSink;
struct ShapeMask;

// 1 for fewer than 2 points; otherwise 1 plus the sum of the steps between
// successive points. Each step is the square root of the sum of squares,
// both rounded to single precision; the steps add up in double precision.
// A straight line of n pixels along a row or a column has length n.
double PathLength(const KW_Segment& s);

// The length of a digital curve along its running average: each point is
// replaced by the mean of itself and the kSmoothingHalfWindow points before
// and after it (as many as there are on both sides near the ends, so the two
// ends stay where they are), and the straight steps between successive
// smoothed points are added up. A straight run of pixels gives the distance
// between its end pixels' centres whatever its slope, where the pixel steps
// over-measure a slanting line by up to 8%; on curves whose radius is large
// against the window the smoothing shortens nothing. 0 for fewer than 2
// points.
inline constexpr int kSmoothingHalfWindow = 6;
double SmoothedPathLength(std::span<const ContourPoint> points, int halfWindow = kSmoothingHalfWindow);
// The smoothed points themselves, one per point (column, row).
struct SmoothedPoint {
  double col = 0.0;
  double row = 0.0;
};
std::vector<SmoothedPoint> SmoothedPoints(std::span<const ContourPoint> points,
                                          int halfWindow = kSmoothingHalfWindow);
// The same smoothing; entry k is the length from the first smoothed point
// to the k-th (entry 0 is 0). Empty for no points.
std::vector<double> SmoothedArcLengths(std::span<const ContourPoint> points,
                                       int halfWindow = kSmoothingHalfWindow);

// The length of segment s in the true-length mode: along the smoothed path
// from the last point of its parent (when there is one) through its points,
// so that the lengths of a root's segments add up to the length of the root.
double TrueSegmentLength(const KW_Segment& s, const KW_Segment* parent);

// The main root of the true-length mode, from first to a tip: the root a
// person would follow. At every junction it goes on into the branch whose
// direction carries on the way it came (both taken over reachPixels, a
// length the caller derives from centimetres so that 300 and 600 dpi judge
// alike),
// each branch's bend weighed against how far it reaches: a branch that
// reaches half as far as the farthest pays kHalfReachPenalty degrees of
// bend, and one reaching less than kLeastReach of it is no candidate. So a
// long lateral leaving near the tip at a wide angle never takes the main
// root's place, nor does a short one that happens to point where the main
// root came from when the main root bends. With no direction to go by (a
// start shorter than kLeastTrail pixels) the farthest tip decides, as in
// the pixel mode. With the shapes before thinning (shapes usable), a root
// also keeps its width: a branch whose half width (beyond the junction's
// spread) differs from that of the root coming in pays kWidthRatioPenalty
// degrees per doubling beyond kSameWidthRatio (distances to the edge come
// in steps, 2, 2.24, 2.83 pixels, so thin roots within a quarter of each
// other's width count as alike), and one narrower than kLateralWidthShare of
// it that leaves at kLateralBend degrees or more never wins over a branch
// of the root's own width that bends less, however far it reaches: a main
// root ends in a fine tip of its own width, past which a thinner lateral
// often reaches. Needs length_total_begin. Fills path with the child
// indices, ended by -1.
inline constexpr double kDirectionReachCm = 0.2;
inline constexpr double kHalfReachPenalty = 10.0;
inline constexpr double kLeastReach = 0.1;
inline constexpr std::size_t kLeastTrail = 6;
inline constexpr double kWidthRatioPenalty = 20.0;
inline constexpr double kSameWidthRatio = 1.25;
inline constexpr double kLateralWidthShare = 0.75;
inline constexpr double kLateralBend = 30.0;
void StraightestPath(const KW_Segment& first, double reachPixels, std::vector<std::int32_t>& path,
                     const ShapeMask* shapes = nullptr);

// The true lengths of a measured tree, along each root as one smoothed
// curve: every root (the main root and each lateral, from its branching
// point) is smoothed along its whole path, so the junctions along it cut
// the smoothing nowhere. Each segment's length becomes its share of the
// curve of the root it belongs to, with its tipExtension and baseExtension
// (root_ends.h); length_total_begin, the positions, the main root length
// and the lateral lengths follow from them. The paths, angles, vectors and
// counts stay as they are.
void RefineTrueLengths(RootTree& tree);

// 1 + the distance from p to q, in double precision. Appends the distance
// to the math log (or to log when given).
double ChordLength(const LogSink& sink, const ContourPoint& p, const ContourPoint& q);
double ChordLength(const ContourPoint& p, const ContourPoint& q, LogBuffer& log);

// The angle of a root from its start p to its end q, in degrees: 0 straight
// down, 90 to the right, -90 to the left, 180 straight up; 0 when p and q
// coincide.
double DirectionAngle(const ContourPoint& p, const ContourPoint& q);

// Fills path with the child indices from s to the first segment, depth
// first, whose length_total_begin equals target exactly, ended by -1.
// Returns false when no segment below s has it (path is then just -1).
bool LongestPath(const KW_Segment& s, double target, std::vector<std::int32_t>& path);

// The segment reached from s by following path (until its -1).
const KW_Segment& PathEnd(const KW_Segment& s, const std::vector<std::int32_t>& path);

// The sum, over the segments where path steps into a child, of their
// number of children minus one: the lateral roots along that root.
std::int32_t LateralCount(const KW_Segment& s, const std::vector<std::int32_t>& path);
