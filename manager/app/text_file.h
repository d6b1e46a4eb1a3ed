// Reading and saving the configuration templates the window's built-in
// editor works on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessary {

// A template is a few kilobytes; a bigger file is not one to edit here.
inline constexpr std::size_t kMaxEditedBytes = 4 << 20;

// Reads a whole file of at most maxBytes into text. 0, or an errno value
// (EFBIG for a longer file) with text left empty.
int ReadTextFile(const std::string& path, std::string& text, std::size_t maxBytes = kMaxEditedBytes);

// Writes text beside path in a temporary file of the same folder, flushes
// it to the disk and renames it over path, so a reader sees the old file or
// the new one and never a part of it. The file keeps its permissions. 0, or
// an errno value (the file is then untouched and no temporary is left).
int SaveTextFile(const std::string& path, std::string_view text);

}  // namespace tessary
