// Plants whose root systems touch: thinning joins them into one skeleton,
// so one tree grows from two seedlings. Such a tree is flagged "merged".
#pragma once

#include "roots/root_records.h"

class KW_SciDoc;

// How far below the highest point of a tree a seedling's start may lie,
// and how far apart two starts must be to be two seedlings, in cm.
inline constexpr double kSeedlingBandCm = 0.3;
inline constexpr double kSeedlingApartCm = 0.6;

// True when tree has free ends near its top (within kSeedlingBandCm of its
// highest point) that lie kSeedlingApartCm or more apart from side to side:
// the tops of two seedlings. Roots grow down and laterals leave sideways
// and down, so one plant's free ends near its top all belong to its seed.
bool GrowsFromTwoSeedlings(const RootTree& tree, double cmPerPixel);

// Sets kFlagMerged on every tree of doc that grows from two seedlings;
// nothing without a usable scale. Returns how many were flagged.
int FlagMergedPlants(KW_SciDoc& doc);
