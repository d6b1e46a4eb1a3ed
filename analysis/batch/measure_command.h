// The measure command of morvane-batch: the automatic preparation and root
// measurement of plate pictures, printed as a table.
#pragma once

#include <string>
#include <vector>

// measure IN.bmp...
// For each picture: the fixed threshold, plate-frame removal, margin cut,
// dilatation, thinning, plant detection, segment trees and measurements, as
// "Auto" runs them; every plant found is taken as a root. Prints each plant's
// main root (path length and vector in centimetres from the plate's scale,
// angle in degrees) and its number of lateral roots. Returns the exit
// status: 0 when every picture was measured, 1 otherwise.
int RunMeasureCommand(const std::vector<std::string>& args);

extern const char* const kMeasureCommandUsage;
