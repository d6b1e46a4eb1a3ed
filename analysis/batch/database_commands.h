// The database commands of morvane-batch: add-data imports a folder tree of
// result files, inquire runs an inquiry described by a query file. Both run
// over one connection.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class BoxQueryPRS;

// add-data FOLDER [--again] [--admin-password-file FILE] [--account-host PATTERN]
// Prints one line per result file and the summary; 0 when every result file
// went in or was imported before, 1 when one was refused (each is named),
// 2 for a wrong command line.
int RunAddDataCommand(const std::vector<std::string>& args);

// inquire QUERY-FILE --out FILE [--delimiter comma|tab|space]
// 0 when the inquiry ran (with or without results), 1 when it ended early,
// 2 for a wrong command line or query file.
int RunInquireCommand(const std::vector<std::string>& args);

// Works the sheet's pages as the query file says (see the README). Returns
// false with a message naming the line when a page, label, operator or
// value is not one the sheet takes.
bool ApplyQueryFile(std::string_view text, BoxQueryPRS& sheet, std::string& error);

// The save dialog's type entry for an output file name: 0 (comma) for
// ".csv", 1 (tab) for ".txt", 2 (space) for anything else.
int FilterForFileName(std::string_view name);

extern const char* const kAddDataUsage;
extern const char* const kInquireUsage;
