// The files of a new stack that the program carries within itself: the
// configuration templates, the start and introduction pages, the licence.
#pragma once

#include <span>
#include <string_view>

namespace tessary {

struct ShippedFile {
  std::string_view name;  // "httpd.conf", "gpl.txt" ...
  std::string_view bytes;
};

std::span<const ShippedFile> ShippedFiles();

// The bytes of a shipped file by name; empty when there is none.
std::string_view ShippedFileBytes(std::string_view name);

}  // namespace tessary
