// The analyze command of morvane-batch: complete analyses without a window,
// from the bitmap to the saved result file, for the many plates of a screen.
#pragma once

#include <string>
#include <vector>

// analyze PICTURE... --resolution DPI [--user U --experiment E --box B
//   --genotype G --media M --age DAYS] [--results DIR] [--threshold T
//   --method NAME] [--overwrite] [--confirm] [--jobs N] [--lengths pixel|true]
//   [--min-lateral CM] [--background dark|light|auto] [--traits FILE.csv]
//   [--shard K/N] [--rsml DIR] [--overlay DIR]
// Without --threshold/--method each picture goes through "Auto"; with them
// through Make B\W at T, Remove box, Remove noise with NAME and Dilate, then
// Skeletonize, Find roots, Confirm roots and Save experiment. Every plant is
// confirmed (--confirm asks on the terminal). An existing result file is
// kept and the picture reported as skipped unless --overwrite. A folder
// stands for every .bmp below it. The measuring options and --shard are
// those of batch/analysis_options.h; the trait table holds the rows of the
// pictures saved, in the order of the pictures whatever the jobs. --rsml and
// --overlay write, for every picture saved, its RSML file and its overlay
// picture (PNG) into DIR; a picture whose files could not be written counts
// as failed. Returns 0 when every picture has its result file (saved now, or
// kept), 1 otherwise, 2 for a bad command line.
int RunAnalyzeCommand(const std::vector<std::string>& args);

extern const char* const kAnalyzeCommandUsage;
