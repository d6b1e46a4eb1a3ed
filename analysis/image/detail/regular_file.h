// Opening files that are regular files only. A named pipe opened without a
// writer (or, for saving, without a reader) would block the open for ever,
// and a device never ends; so the file is opened without blocking and its
// type checked on what was opened, not on a name that may have changed since.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Wraps a descriptor of a regular file in a FILE in blocking mode; closes it
// and gives null for anything else. size, when given, receives the file's size.
FilePtr regularFile(int fd, const char* mode, std::uint64_t* size);

// Opens path for reading when it is a regular file; null otherwise.
FilePtr openForReading(const std::string& path, std::uint64_t& size);

// The local time in the C library's asctime form, cut to 50 characters: the
// load time of a picture.
std::string LocalTimeText();
