// Loops of a root system's skeleton opened again.
#pragma once

#include <cstdint>
#include <vector>

// A root system has no loops, but its skeleton does: where a lateral crosses
// another or touches its parent again, and where the halo of root hairs
// fills the space between crowded roots. The line follower would open each
// where its walk happens to go round it, and the path to the farthest tip
// would go the long way round, through a lateral.
//
// Opens every loop of the white skeleton lines of pixels (width x height,
// row 0 at the bottom) where the two ways round it, from the top of its
// piece, meet: each piece is measured along its lines from its topmost
// pixel (the left one of a row), where the line follower starts it, and a
// pixel of a line (two neighbours, not next to each other) that neither
// neighbour is reached through is cleared. So every pixel keeps its
// shortest way from the top, and a main root its straight way down. A
// pixel is cleared only where it lies on a loop: no piece falls apart.
void OpenSkeletonLoops(std::vector<std::uint32_t>& pixels, int width, int height);
