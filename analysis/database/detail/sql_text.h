// Building statement texts: printf-style formatting into a string of any
// length (the values are escaped by the caller first).
#pragma once

#include <string>

std::string SqlFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
