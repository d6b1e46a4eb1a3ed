// Where each root system of a skeleton starts: the top of its main root.
#pragma once

#include <cstdint>
#include <vector>

#include "roots/root_records.h"

// Roots grow down from their seedling, so a main root followed up from its
// tip climbs all the way to the top of its root system without a detour.
// A lateral that reaches as high as the seedling (the laterals of a crowded
// top, arching up to the edge of the paper) leaves the main root lower
// down: the way up along it is the longer one for the height it gains.
//
// For every 8-connected piece of the white skeleton lines of pixels (width x
// height, row 0 at the bottom), in the order the line follower finds them
// (top row first, each row from the left): among the ends of its lines
// (pixels of at most one neighbour) and its topmost pixel (the left one of
// its top row), where the follower's walk may start, the one whose distance
// along the skeleton from the piece's tip, less kRiseWeight times its
// height, is least (the topmost pixel on a tie); the tip is the pixel
// farthest along the skeleton from the topmost pixel (the first found of the
// farthest). Going up a root that keeps within 60 degrees of straight up
// lowers that measure, so the end chosen is the top of the main root. The
// pieces should hold no loops (OpenSkeletonLoops), whose ways round would be
// shortcuts. direction is unset.
inline constexpr double kRiseWeight = 2.0;
std::vector<ContourPoint> MainRootStarts(const std::vector<std::uint32_t>& pixels, int width, int height);
