// Reading and writing Windows bitmap files.
#include "pic_doc.h"

std::uint32_t* KW_PicDoc::LoadBitmap(const std::string& /*path*/) { return nullptr; }

bool KW_PicDoc::SaveBitmap(const std::string& /*path*/) { return false; }
