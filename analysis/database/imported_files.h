// The record of every result file imported, a table beside the five of the
// database "plant": the file's path and size, the SHA-256 of its content, the
// time of the import, the picture it produced and the analysis settings line
// of its log when there is one. A content imported before is not imported
// again unless the user asks for a copy.
//
// "First copy" holds the SHA-256 again for the first import of a content and
// is NULL for the copies asked for; its unique key is what keeps two imports
// of one folder at once from storing a file twice.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "roots/result_records.h"

class KW_SQL;

inline constexpr std::array<std::string_view, 9> kImportedFileNames = {
    "Imported file", "Import id",  "Path",     "Size",      "SHA-256",
    "Import time",   "Picture id", "Settings", "First copy"};

// One imported file as it is recorded.
struct ImportedFile {
  std::string path;
  std::uint64_t size = 0;
  std::string sha256;    // 64 lower-case hexadecimal digits
  std::string settings;  // the analysis settings line, or empty
};

// CREATE TABLE IF NOT EXISTS of the record.
std::string ImportedFilesTable();

// The picture an earlier import of this content produced: its id, 0 when the
// content was never imported, -1 when the lookup failed (the table missing).
int FindImportedContent(KW_SQL& base, std::string_view sha256);

enum class StoreResult {
  Stored,           // picture, roots and record committed
  AlreadyImported,  // another import stored the same content first: nothing stored
  Failed            // a row or the commit refused, or the connection lost: nothing stored
};

// Inserts the picture with its roots and its record in one transaction.
// copy: the user asked for another copy of a content imported before.
// pictureId receives the new picture's id, or the earlier one.
StoreResult StoreImportedFile(KW_SQL& base, const INFO_PICTURE& picture, const ImportedFile& file, bool copy,
                              int& pictureId);

// SHA-256 of data as 64 lower-case hexadecimal digits; empty when the hash
// cannot be computed.
std::string Sha256Hex(std::string_view data);

// The analysis settings line that the log of result files (its text given)
// holds for the result file at path, or empty when that log is about
// another file or holds none.
std::string SettingsLineFor(std::string_view resultLog, const std::string& path);
