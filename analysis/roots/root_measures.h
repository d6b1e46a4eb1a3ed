// Measures of roots in pixels: path length of a segment, vector (chord)
// length and angle of a root, and the path to a root's farthest tip.
#pragma once

#include <cstdint>
#include <vector>

#include "roots/root_records.h"

class LogBuffer;

// 1 for fewer than 2 points; otherwise 1 plus the sum of the steps between
// successive points. Each step is the square root of the sum of squares,
// both rounded to single precision; the steps add up in double precision.
// A straight line of n pixels along a row or a column has length n.
double PathLength(const KW_Segment& s);

// 1 + the distance from p to q, in double precision. Appends the distance
// to the math log (or to log when given).
double ChordLength(const ContourPoint& p, const ContourPoint& q);
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
