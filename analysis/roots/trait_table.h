// The trait table: one row per plant of the analysed pictures, the traits a
// screen is compared by, as comma-separated values (RFC 4180: a header row,
// every line ended by CR LF, a field holding a comma, a double quote or a
// line break written in double quotes with inner quotes doubled), so R,
// pandas and spreadsheets read it without options.
#pragma once

#include <string>

class KW_SciDoc;

// The header row, with its CR LF.
std::string TraitTableHeader();

// One row per plant of a saved analysis, in the order of the result file:
// the picture (the result file's name), the plant's number, its main root's
// length, vector (cm) and angle (degrees), its lateral roots (those of the
// main root, as counted in the result file) with their total and mean
// length (cm) and their number per cm of main root, then the length mode,
// the least lateral root (cm) and the background the analysis ran with. A
// mean or density without a value (no lateral root, no main root) is left
// empty.
std::string TraitTableRows(const KW_SciDoc& doc);
