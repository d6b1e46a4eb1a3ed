// The program's own version and the SHA-1 fingerprint of a file, as the
// upgrade and the about box use them.
#pragma once

#include <array>
#include <string>

namespace tessary {

// The four parts of a product version, each 0 to 255.
using FileVersion = std::array<int, 4>;

// The version of a program file. Programs here carry no version resource:
// the running program (and any path naming the same file) has the version
// it was built with; true then. Any other file has none: false, all parts 0.
bool GetFileVersion(const std::string& path, FileVersion& version);
// The version the program was built with.
FileVersion ProgramVersion();
// "%d.%d.%d.%d".
std::string VersionText(const FileVersion& version);

// The SHA-1 digest of a file's bytes, read in 1024-byte blocks, as 40
// lower-case hexadecimal digits (most significant nibble first). False, and
// text empty, when the file cannot be read.
bool FileSha1Text(const std::string& path, std::string& text);

}  // namespace tessary
