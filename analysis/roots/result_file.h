// Reading a result text file back: the picture's name and image
// information, and for every plant its main root and the lateral roots of
// every order, into the records the database import inserts.
//
// A result file is plain text, lines ended by a line feed, read with a
// buffer of 250 characters (at most 249 characters of a line). The reader
// appends its trace to log_read.txt in the log folder.
//
// The reader is made for any file: a missing line reads as empty, a count
// larger than the lines left stops at the end of the file, and a count that
// the rest of the file cannot hold (or a negative one) is refused with a line
// in the read log. The counts of the records always equal the number of
// entries read, and branches nest at most kMaxBranchDepth levels deep.
//
// This library links only the log folder, so the import can use it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/kw_log.h"
#include "roots/result_records.h"

// Levels of lateral roots the reader follows below a main root; a deeper
// announced branch is refused (no root order comes near this).
inline constexpr int kMaxBranchDepth = 64;

// Fills picture from the open result file, read from its current position.
// Returns 1 when the file held everything its counts announce, 0 when it
// ended early or a count was refused (picture then holds what was read), and
// 0 for a null file.
int ReadResultFile(const LogSink& sink, std::FILE* file, INFO_PICTURE& picture);

// Reads one lateral-root line into branch and then, in order, the lines of
// its own lateral roots. Returns 1, or 0 as ReadResultFile does.
int ReadBranch(const LogSink& sink, std::FILE* file, INFO_LR& branch);

// Opens path and reads it with ReadResultFile; 0 when it cannot be opened.
int ReadResultFile(const LogSink& sink, const std::string& path, INFO_PICTURE& picture);

// The first fault of a result file that the import refuses.
struct ResultFileFault {
  int line = 0;  // from 1
  std::string what;
  // "line N: what".
  std::string text() const;
};

// The strict reading the import trusts: the whole content (as read from the
// file) is checked before anything of it is used. Every header line stands
// where the format puts it, every count matches the lines present (no root
// missing, no line left over), every number is written in the "C"
// conventions, finite and within a FLOAT or INT column, and no line is longer
// than the reader's 248 characters. True with picture filled; false with the
// first fault (picture then holds no use).
bool CheckResultFile(std::string_view content, INFO_PICTURE& picture, ResultFileFault& fault);
