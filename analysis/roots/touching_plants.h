// Plants whose root systems touch: thinning joins them into one skeleton,
// so one tree grows from two seedlings. The fixed pipeline cuts such a
// skeleton apart where the seedlings' parts meet, when each part starts from
// a seedling of its own; a tree still grown from two is flagged "merged".
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "roots/root_records.h"

class KW_SciDoc;

// How far below the highest point of a tree a seedling's start may lie,
// and how far apart two starts must be to be two seedlings, in cm.
inline constexpr double kSeedlingBandCm = 0.3;
inline constexpr double kSeedlingApartCm = 0.6;

// The seedlings' starts among the free ends of one root system whose
// highest point lies in row highest: the ends near its top (within
// kSeedlingBandCm), grouped from left to right, a group taking every end
// less than kSeedlingApartCm to the right of its first; of each group, its
// highest end (the leftmost of equals). Roots grow down and laterals leave
// sideways and down, so one plant's free ends near its top all belong to its
// seed. Empty without a usable scale.
std::vector<ContourPoint> SeedlingStarts(std::span<const ContourPoint> ends, int highest, double cmPerPixel);

// True when tree has the starts of two seedlings or more: the start of its
// first segment and the ends of its segments without children taken as
// its free ends.
bool GrowsFromTwoSeedlings(const RootTree& tree, double cmPerPixel);

// Sets kFlagMerged on every tree of doc that grows from two seedlings;
// nothing without a usable scale. Returns how many were flagged.
int FlagMergedPlants(KW_SciDoc& doc);

// The pixels (indices into doc.pixels) to clear so that every plant of
// doc.item grown from two seedlings or more falls apart into one root
// system per seedling: the plant's free ends are the points of its walk
// with one line neighbour, its seedlings' starts those of SeedlingStarts,
// and the skeleton is cut where their parts meet (SplitAtSeedlings). Empty
// when no plant grows from two seedlings or the scale is unusable.
std::vector<std::size_t> TouchingPlantCuts(const KW_SciDoc& doc);
