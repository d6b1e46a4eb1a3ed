// The roots of a measured plant as a list: the main root first, then every
// lateral root followed by its own laterals, in the order the result file
// writes them. Each root carries the skeleton points along its path and its
// measures, for the exchange files and the overlay pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "roots/root_records.h"

struct RootLine {
  int parent = -1;  // index of the root this one leaves; -1 for the main root
  int order = 0;    // 0 for the main root, 1 for its laterals, and so on
  // The numbers of the root's label in the result file after the plant's
  // own: none for the main root, (2) for R1-LR2, (2, 1) for R1-LR2-LR1.
  std::vector<std::int32_t> label;
  // The points of the segments along the root's path, base first (picture
  // coordinates, row 0 at the bottom); a lateral starts at its branching
  // point, the last point of the parent's segment it hangs under, as its
  // lengths do.
  std::vector<ContourPoint> points;
  // Measures in pixels and degrees, as the tree holds them.
  double length = 0.0;
  double vector = 0.0;
  double angle = 0.0;
  double position = 0.0;  // branching position on the parent root; 0 for the main root
  std::int32_t laterals = 0;
  // In the true-length mode, how far the root goes on past the first and
  // the last of its points (its start on the parent's centre line, its tip),
  // in pixels; included in length.
  double baseExtension = 0.0;
  double tipExtension = 0.0;
};

// The skeleton points of tree's main root along its path, base first; empty
// when the tree has no segment.
std::vector<ContourPoint> MainRootPoints(const RootTree& tree);

// The roots of tree, main root first; empty when the tree has no segment.
// Walks without recursion: a plant can have thousands of segments.
std::vector<RootLine> RootLines(const RootTree& tree);
