// Reading a picture in morvane-batch: on failure one line on standard error.
#pragma once

#include <cstdio>
#include <string>

#include "image/pic_doc.h"

inline bool LoadPicture(KW_PicDoc& doc, const std::string& path) {
  if (doc.LoadBitmap(path) != nullptr) return true;
  std::fprintf(stderr, "morvane-batch: cannot read %s as a bitmap\n", path.c_str());
  return false;
}
