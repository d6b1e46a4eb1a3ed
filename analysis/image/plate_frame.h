// Where the plate lies in a black-and-white scan: the bright rows that give
// its height, and the white rim of its frame.
#pragma once

#include <cstdint>

struct PlateFrame {
  // The lowest and highest rows with at least 10000 brightness (about 13
  // white pixels): the plate's extent, 12.5 cm high. lowestBrightRow is the
  // picture's height when no row is that bright, highestBrightRow then 0.
  int lowestBrightRow = 0;
  int highestBrightRow = 0;
  // The outermost rows and columns with at least 200000 brightness (about
  // 262 white pixels), so only the long lines of the frame qualify. Missing
  // ones are the height or width (first) and -1 (last).
  int firstRimRow = 0;
  int lastRimRow = -1;
  int firstRimColumn = 0;
  int lastRimColumn = -1;

  bool hasBrightRow(int height) const { return lowestBrightRow < height; }
};

// Sums the brightness of every row and column once. Reads every pixel.
PlateFrame FindPlateFrame(const std::uint32_t* pixels, int width, int height);
