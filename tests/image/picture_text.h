// Tiny literal pictures for the image-step tests: one string per row, the
// top row first as the picture is seen, '#' white and '.' black.
#pragma once

#include <string>
#include <vector>

#include "image/ima_ana.h"

namespace pictext {

inline void Load(KW_PicDoc& doc, const std::vector<std::string>& rows) {
  doc.height = static_cast<int>(rows.size());
  doc.width = rows.empty() ? 0 : static_cast<int>(rows[0].size());
  doc.pixels.assign(static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.height), 0);
  for (int r = 0; r < doc.height; ++r) {
    const std::string& line = rows[static_cast<std::size_t>(doc.height - 1 - r)];
    for (int c = 0; c < doc.width; ++c)
      if (line[static_cast<std::size_t>(c)] == '#') doc.At(c, r) = 0xFFFFFF;
  }
}

// Black pixels as '.', white as '#', anything else as '?'.
inline std::vector<std::string> Show(const KW_PicDoc& doc) {
  std::vector<std::string> rows;
  for (int r = doc.height - 1; r >= 0; --r) {
    std::string line;
    for (int c = 0; c < doc.width; ++c) {
      const std::uint32_t p = doc.At(c, r) & 0xFFFFFFU;
      line += p == 0 ? '.' : p == 0xFFFFFFU ? '#' : '?';
    }
    rows.push_back(line);
  }
  return rows;
}

// A black picture of the given size.
inline void Blank(KW_PicDoc& doc, int width, int height) {
  doc.width = width;
  doc.height = height;
  doc.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
}

}  // namespace pictext
