// Synthetic plate scans with known root architecture, for tests, benchmarks
// and the sample data: a square 12.5 cm culture plate with a bright rim on a
// dark background, seedlings whose bright main roots grow downwards with
// gentle bends and carry straight lateral roots, on dark agar with speckle
// noise. Every plant's ground truth is returned in centimetres and degrees.
//
// Pictures use the document's layout: 0x00RRGGBB, row 0 at the bottom.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace synth {

struct PlateOptions {
  int dpi = 300;           // 150..1200
  int plants = 5;          // 1..12
  std::uint32_t seed = 1;  // same seed, same plate
  bool noise = true;       // agar grain and speckles
  // Each plant but the last sends one long lateral root across the main root
  // of its right-hand neighbour, so plants touch.
  bool crossing = false;
  // Curvier main roots (headings up to 35 degrees off the vertical) with
  // laterals up to 3.5 cm long that leave at 40..75 degrees to the main
  // root's local heading and reach close to the neighbours' slots, as on
  // real plates; no lateral comes near another root of its plant.
  bool curvy = false;
};

// Angles follow the analysis: 0 for a root growing straight down, positive
// towards the right (90 horizontal right), negative towards the left.
struct LateralTruth {
  double lengthCm = 0;    // from the branching point to the tip
  double positionCm = 0;  // along the main root, from its base to the branching point
  double angleDeg = 0;    // from the branching point to the tip
  double baseCol = 0, baseRow = 0, tipCol = 0, tipRow = 0;  // pixels
};

struct PlantTruth {
  double mainLengthCm = 0;                                  // path length of the main root, base to tip
  double mainVectorCm = 0;                                  // straight-line length, base to tip
  double mainAngleDeg = 0;                                  // from base to tip
  double baseCol = 0, baseRow = 0, tipCol = 0, tipRow = 0;  // pixels
  std::vector<LateralTruth> laterals;                       // ordered from the base downwards
};

struct Plate {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  int dpi = 0;
  double cmPerPixel = 0;
  // The plate's outer edge, in pixels: first and last column and row.
  int plateFirstCol = 0, plateLastCol = 0, plateFirstRow = 0, plateLastRow = 0;
  std::vector<PlantTruth> plants;  // ordered from left to right
};

// Builds a plate; options out of range are clamped.
Plate MakePlate(const PlateOptions& options);

// The ground truth as text: a header line, then one "plant" line per plant
// followed by one "lateral" line per lateral root.
std::string TruthText(const Plate& plate, const PlateOptions& options);

// Writes the plate as a bitmap with its resolution, and the ground truth
// text; 1 on success, 0 on failure (message in error). bitCount 24 keeps the
// colours; 8 writes 256 grey levels (a third of the size).
int WritePlate(const Plate& plate, const PlateOptions& options, const std::string& bitmapPath,
               const std::string& truthPath, std::string& error, int bitCount = 24);

}  // namespace synth
