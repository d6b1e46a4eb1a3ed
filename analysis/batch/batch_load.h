// Reading a picture in morvane-batch: on failure one line on standard error.
#pragma once

#include <cstdio>
#include <string>

#include "image/pic_doc.h"
#include "image/picture_files.h"

inline bool LoadPicture(KW_PicDoc& doc, const std::string& path) {
  std::string error;
  if (LoadPictureFile(doc, path, error)) return true;
  if (HasBitmapExtension(path) && error == "not a readable bitmap")
    std::fprintf(stderr, "morvane-batch: cannot read %s as a bitmap\n", path.c_str());
  else
    std::fprintf(stderr, "morvane-batch: cannot read %s: %s\n", path.c_str(), error.c_str());
  return false;
}
