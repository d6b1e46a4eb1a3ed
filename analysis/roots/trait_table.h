// The trait table: one row per plant of the analysed pictures, the traits a
// screen is compared by, as comma-separated values (RFC 4180: a header row,
// every line ended by CR LF, a field holding a comma, a double quote or a
// line break written in double quotes with inner quotes doubled), so R,
// pandas and spreadsheets read it without options.
#pragma once

#include <string>
#include <vector>

#include "roots/root_records.h"
#include "roots/rsml_writer.h"

class KW_SciDoc;

// The whole-plant traits of a measured tree, in pixels.
struct PlantTraits {
  double totalLength = 0.0;  // main root and every lateral of every order
  int firstOrder = 0;        // laterals of the main root
  double firstOrderLength = 0.0;
  int higherOrder = 0;  // laterals of laterals, second order and higher together
  double higherOrderLength = 0.0;
  double depth = 0.0;     // from the highest to the lowest point of the roots
  double width = 0.0;     // from the leftmost to the rightmost point
  double hullArea = 0.0;  // of the convex hull of the roots' points, square pixels
};
PlantTraits MeasurePlantTraits(const RootTree& tree);

// The area of the convex hull of the pixel centres, in square pixels; 0
// for fewer than three points or points on one line.
double ConvexHullArea(std::vector<ContourPoint> points);

// The header row, with its CR LF.
std::string TraitTableHeader();

// One row per plant of a saved analysis, in the order of the result file,
// in the columns of the header (units in their names):
//   picture, plant: the result file's name and the plant's number;
//   main_root_length_cm, main_root_vector_cm, main_root_angle_deg: its main
//     root's path length, straight-line length and angle (0 straight down);
//   lateral_roots, total_lateral_length_cm, mean_lateral_length_cm,
//     lateral_density_per_cm: the laterals of the main root (as the result
//     file counts them), their summed and mean length and their number per
//     cm of main root;
//   lengths, min_lateral_cm, background: how the analysis measured;
//   total_root_length_cm: main root and laterals of every order;
//   convex_hull_area_cm2, depth_cm, width_cm: the convex hull of the roots
//     and their vertical and horizontal extent;
//   lateral_roots_2nd_order, lateral_length_2nd_order_cm: the laterals of
//     laterals, second and higher orders summed;
//   experiment, box, genotype, medium, age_days: the sample's fields;
//   flags: the plant's quality flags ("touches-edge;merged"), empty for none.
// A mean or density without a value (no lateral root, no main root) is
// left empty.
std::string TraitTableRows(const KW_SciDoc& doc, const RsmlMetadata& sample);
