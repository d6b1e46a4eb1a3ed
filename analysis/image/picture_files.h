// Pictures in the formats scanners and cameras write: PNG, JPEG and TIFF (8
// or 16 bits per channel, grey or colour, with or without alpha), decoded by
// OpenCV's image codecs, beside the Windows bitmaps the document reads with
// its own decoder. Whatever the format, the document gets 0x00RRGGBB pixels
// with row 0 at the bottom; 16-bit channels keep their upper 8 bits' worth
// (value / 257), alpha is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "image/pic_doc.h"

// True when the extension after the last "." of path is png, jpg, jpeg, tif
// or tiff in any case.
bool HasPhotoExtension(std::string_view path);
// True for a bitmap or photo extension: a file the program can open.
bool HasPictureExtension(std::string_view path);

// Decodes the PNG, JPEG or TIFF file held in bytes into doc (pixels, width,
// height, bitCount 24). False, with the reason in error and doc left without
// a picture, when the bytes are none of these formats, are damaged or
// truncated, or the picture has more than maxPixels pixels.
bool LoadPhotoFromMemory(KW_PicDoc& doc, std::span<const std::uint8_t> bytes, std::string& error,
                         std::uint64_t maxPixels);

// Reads the picture file at path into doc: a bitmap by its extension, any
// other by its content. False, with one line saying why in error ("no such
// file", "not a picture: ...", "damaged or truncated JPEG data"), when
// nothing was read; doc is then without a picture.
bool LoadPictureFile(KW_PicDoc& doc, const std::string& path, std::string& error);
