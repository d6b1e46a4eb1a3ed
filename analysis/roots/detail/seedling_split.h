// Root systems of several seedlings joined into one skeleton, cut apart
// again: the one rule both pipelines use, the adaptive one with the
// seedlings its segmentation found, the fixed one with the starts of the
// root systems at their tops.
#pragma once

#include <cstdint>
#include <vector>

#include "image/root_segmentation.h"

// Leaves of one seedling lie close together: marks nearer than the gap of
// a picture width apart (twice that in height) count as one seedling.
int SeedlingGap(int width);
bool SameSeedling(const SeedlingMark& a, const SeedlingMark& b, int gap);

// Cuts the white skeleton lines of pixels (width x height, row 0 at the
// bottom; marks count rows from the top) apart where the parts of two
// seedlings meet: every white pixel goes to the seedling it is reached from
// first, walking along the skeleton from all seedlings at once (each
// starting at the white pixel nearest its mark within reach), and the
// pixels where two seedlings' parts touch are cleared. Pixels no seedling
// reaches stay as they are; with fewer than two seedlings on white pixels
// nothing changes.
void SplitAtSeedlings(std::vector<std::uint32_t>& pixels, int width, int height,
                      const std::vector<SeedlingMark>& marks, int reach);
