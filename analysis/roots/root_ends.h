// Where a root begins and ends, past the ends of its skeleton line; the
// true-length mode measures roots between those points.
//
// A free end: thinning stops a line's free end inside the root's rounded
// tip, about where the rounding begins, so a root measured along its
// skeleton may come out short by up to half its width; a root is a band of
// even width ending in a rounded tip, whose centre lies one half width
// inside the shape's edge along the root's way.
//
// A branching point: where a lateral leaves its parent root, thinning pulls
// the junction of the lines out of the parent's middle towards the lateral,
// up to the parent's edge; the lateral starts on the parent's centre line,
// where its own line, carried on backwards, crosses it.
//
// Both come from the shapes as they were before thinning.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "roots/root_records.h"

// The shapes before thinning, one bit per pixel (row 0 at the bottom);
// pixels outside the picture count as outside the shapes.
struct ShapeMask {
  const std::vector<bool>& bits;
  int width = 0;
  int height = 0;
  bool usable() const;
  bool inside(int c, int r) const;
};

// The distance from the centre of pixel (c, r) to the centre of the nearest
// pixel outside the shapes, looked for up to limit pixels away (limit when
// none lies nearer).
double DistanceToEdge(const ShapeMask& shapes, int c, int r, int limit);

// The median distance to the edge of points (looked for up to 32 pixels
// away): the half width of the root they run along; 0 for no points.
double MedianDistanceToEdge(const ShapeMask& shapes, std::span<const ContourPoint> points);

// toTip: the skeleton points of a root leading to a free end, the end last.
// How far the root's tip lies past that end: the distance from the end along
// the root's way there (from kTipDirectionWidths half widths back, at least
// kTipDirectionPoints points) to the shape's edge, less the root's half width
// (the median distance to the edge of the last kHalfWidthPoints points). 0
// when the shapes are not usable, for fewer than two points, and where the
// edge lies no farther than the half width (a spur of thinning ends there).
inline constexpr std::size_t kHalfWidthPoints = 10;
inline constexpr double kTipDirectionWidths = 3.0;
inline constexpr std::size_t kTipDirectionPoints = 6;
double TipExtension(const ShapeMask& shapes, std::span<const ContourPoint> toTip);

// Sets tipExtension of every segment of tree: TipExtension at the end of
// each segment without children (the free ends of the roots), along the last
// points up to it through the segments above; 0 for the others.
void ExtendFreeEnds(RootTree& tree, const ShapeMask& shapes);

// How far back from the branching point junction (on the parent root, whose
// points around it are parentPoints, junction at index at) the lateral
// whose line leaves along lateralPoints (first point next to the junction)
// starts on the parent's centre line: from the junction backwards along the
// lateral's way (from junction to its point kTipDirectionWidths of its half
// widths on) to the parent's far edge, less the parent's half width there
// (the median distance to the edge of the parent's points within
// kParentWidthPoints of the junction) as the lateral's line crosses it. 0
// when the shapes are not usable, for too few points, for a lateral leaving
// within kLeastBranchAngle degrees of its parent's way, and where the far
// edge lies nearer than the centre line; at most the parent's half width
// and one pixel, so a lateral on the far side does not pass for the
// parent's width.
inline constexpr std::size_t kParentWidthPoints = 20;
inline constexpr double kLeastBranchAngle = 15.0;
double BaseExtension(const ShapeMask& shapes, std::span<const ContourPoint> parentPoints, std::size_t at,
                     std::span<const ContourPoint> lateralPoints);

// Sets baseExtension of every segment of a measured tree (paths known): at
// the first segment of each lateral root, BaseExtension along its parent
// root's points and its own; 0 for the others.
void ExtendLateralBases(RootTree& tree, const ShapeMask& shapes);
