// Dilatation: every white pixel is joined by straight segments to the white
// pixels of its 5 x 5 window, which thickens the root traces and closes
// small gaps before thinning.
#pragma once

#include <cstdint>

// Paints the segment from (col, row) to (col2, row2) into picture by OR-ing
// 255 into each channel. Same pixel: nothing. Same row or column: both ends
// included. Otherwise a diagonal phase then a straight phase, without the two
// end pixels. Pixels outside the width x height picture are not painted.
void DrawSegment(int col, int row, int col2, int row2, std::uint32_t* picture, int width, int height);

// target (width x height, all black on entry) receives the segments from
// every white pixel of source to each white pixel of its 5 x 5 window. Border:
// only pixels at least 2 from every edge start segments; nearer ones are
// white only where a segment paints them. source and target must not overlap.
void DilatePicture(const std::uint32_t* source, std::uint32_t* target, int width, int height);
