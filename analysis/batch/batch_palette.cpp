#include "batch/batch_palette.h"

bool PreparePaletteForDepth(KW_PicDoc& doc, int depth) {
  if (depth != 1 && depth != 4 && depth != 8) return false;
  const int entries = 1 << depth;
  if (doc.paletteCount > 0 && doc.paletteCount <= entries) return false;
  // Grey level i of n is i * 255 / (n - 1): 0 and 255 for 1 bit, steps of 17
  // for 4 bits, every level for 8.
  const auto step = static_cast<std::uint32_t>(255 / (entries - 1));
  for (int i = 0; i < entries; ++i)
    doc.palette[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i) * step * 0x010101U;
  doc.paletteCount = entries;
  return true;
}
