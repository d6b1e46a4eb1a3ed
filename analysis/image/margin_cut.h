// The elliptic margin cut after noise removal: eight bands along the edges of
// the cropped plate, where the plate's rounded corners and the condensation
// at its rim leave bright specks that are not roots.
#pragma once

#include <cstdint>

// Clears the pixels of each band that lie on or outside its ellipse: the
// bottom and the lower sides up to 100 pixels in, the top and the upper sides
// up to 50. With marks, the cleared pixels are painted in one colour per band
// instead (to show the bands).
void CutMarginBands(std::uint32_t* pixels, int width, int height, bool marks);
