// Writing the result text file of an analysed plate: the picture's name,
// the image information, the number of plants, the scale, and for every
// plant its main root and its lateral roots, lengths in centimetres.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "roots/root_records.h"

class KW_SciDoc;
class MyBoxInfoGeneral;

inline constexpr const char* kExperimentSaved = "Experiment saved.";
inline constexpr const char* kAlreadySaved = "File already saved";
inline constexpr const char* kNoPlantDetected = "No plant detected";
inline constexpr const char* kResultFolderMissing = "The result folder doesn't exist !";
inline constexpr const char* kSaveCancelled =
    "Save experiment was cancelled: no result file and no calibration record were written.";
inline constexpr const char* kResolutionNeeded =
    "The picture resolution must be a positive number of dots per inch: the experiment is not saved.";

// Appends the lateral-root lines below s: the laterals leaving each segment
// end of the root that path leads along from s at depth, each followed by
// its own laterals, numbered by label (plant number first, then one number
// per level, the last one growing by one at every step along the root).
// Lengths are multiplied by scale. Walks without recursion.
void WriteLaterals(std::string& out, const KW_Segment& s, std::vector<std::int32_t> label,
                   const std::vector<std::int32_t>& path, int depth, float scale);

// Lines 2 to 9 and the plant blocks of a result file (line 1, the picture
// name, without its line end, comes first and is not included).
std::string ResultFileBody(const KW_SciDoc& doc, const MyBoxInfoGeneral& info);

// Writes text to path whole or not at all: a temporary file in the same
// folder, renamed over path at the end. On failure returns false with the
// system's reason in error; path is then as it was.
bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error);
