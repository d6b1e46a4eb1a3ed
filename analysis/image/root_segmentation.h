// The image work of the adaptive pipeline, for photographs and scans as
// laboratories make them: where the plate lies in the picture, which pixels
// are roots on uneven light, and where the seedlings start.
//
// Positions here are in the picture's own orientation: x to the right, y
// downwards from the top-left corner (the document's row 0 is the bottom
// row, so callers flip).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/pic_doc.h"

// What part of the picture holds the plants.
enum class AreaSearch {
  FindPlate,     // the inside of the plate's rim found in the picture
  WholePicture,  // no plate: paper, rhizotrons
};

// Which way the roots stand out.
enum class RootPolarity { Auto, Bright, Dark };

struct AreaRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct SeedlingMark {
  int x = 0;  // in the analysed area
  int y = 0;
};

struct RootSegmentation {
  // The analysed area in the picture.
  AreaRect area;
  // area.width x area.height, top row first: 255 where a root is, 0 elsewhere.
  std::vector<std::uint8_t> mask;
  // Same size: how far each pixel stands out of the levelled background in
  // the roots' direction, grey levels.
  std::vector<std::uint8_t> strength;
  // The roots were taken as darker than the background.
  bool darkRoots = false;
  // The plate's inside height in pixels; 0 when no plate was looked for.
  double plateHeight = 0.0;
  // The width of the thickest root the filters were sized for, in pixels.
  int rootWidth = 0;
  // Noise of the background after its levelling (robust standard deviation,
  // grey levels), and the grey-level step a root pixel must reach.
  double noise = 0.0;
  double threshold = 0.0;
  // Green leaves (cotyledons) found, one mark at the bottom of each, where
  // the root of its seedling starts.
  std::vector<SeedlingMark> seedlings;
  // Why nothing could be segmented; empty on success.
  std::string problem;
};

// Finds the area and segments the roots of the picture in doc. Costs a few
// grey planes of the picture's size; never ends the process.
RootSegmentation SegmentRoots(const KW_PicDoc& doc, AreaSearch search, RootPolarity polarity);

// The same inside a given area (the fixed method's frame, for one): nothing
// is searched.
RootSegmentation SegmentRootsInArea(const KW_PicDoc& doc, const AreaRect& area, RootPolarity polarity);
