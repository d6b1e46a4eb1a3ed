// Colour tables for pictures converted to a palette depth.
#pragma once

#include "image/pic_doc.h"

// Before doc is written with depth bits per pixel: when depth is 1, 4 or 8
// and the document's table cannot serve it (no entries, as after a 16-, 24-
// or 32-bit file, or more entries than the depth can index), gives it black
// and white for 1 bit, or 16 or 256 evenly spaced grey levels. Returns true
// when the table was replaced.
bool PreparePaletteForDepth(KW_PicDoc& doc, int depth);
