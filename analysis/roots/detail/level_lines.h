// Straight level lines in a skeleton, which no root draws.
#pragma once

#include <cstdint>
#include <vector>

// Clears the straight level lines of a skeleton (pixels, width x height):
// stretches of at least minRun columns in which every column has a white
// pixel within a band three rows high (a line a pixel off level now and
// then). Roots grow down: a root or a lateral runs level for a few pixels at
// most, while the agar's surface, the edge of a label or of the paper draw
// long straight level lines, to which the seedlings and their roots are
// joined. A root crossing such a line is cut there, and joined again across
// the gap as any broken root is.
void ClearLevelLines(std::vector<std::uint32_t>& pixels, int width, int height, int minRun);
