// Roots broken by a faint stretch, joined again.
#pragma once

#include <cstdint>
#include <vector>

// Joins the white skeleton lines of pixels (width x height, row 0 at the
// bottom) across gaps a faint stretch of root left: where a piece of
// skeleton begins (its highest pixel) at most reach pixels below where a
// root of another ends (its lowest pixel, or a free end the root comes down
// to), within 30 degrees of straight below it, a one-pixel line joins
// them; each piece joins the nearest such end, and no piece joins one it is
// already joined to. Roots grow downwards: a piece that begins below
// another's end is, as a rule, the rest of that root. The line goes up from
// the piece's top towards the end and stops at the first line of another
// piece it touches (the end's own root, passing by, is often nearer than
// the end): it never crosses a line nor runs alongside one.
void BridgeRootGaps(std::vector<std::uint32_t>& pixels, int width, int height, int reach);
