// The bitmap encoder: a picture document into the bytes of a bitmap file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "image/pic_doc.h"

// Receives the file's bytes in order; false stops the encoding.
using BitmapWriter = std::function<bool(const std::uint8_t* data, std::size_t size)>;

// Writes doc as a bitmap file of depth doc.bitCount through write: file
// header, information header, colour table, then the rows bottom row first.
// The file header's size field is 0; the caller, who knows where the bytes
// went, puts the length there (at bitmap::kFileSizeField). Returns false
// when a write failed, or without writing anything when the document's
// buffer does not match its width and height.
bool EncodeBitmap(const KW_PicDoc& doc, const BitmapWriter& write);
