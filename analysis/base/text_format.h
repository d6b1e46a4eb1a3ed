// printf-style formatting into a std::string, shared by the log writers and
// the statement builders.
#pragma once

#include <cstdarg>
#include <string>

std::string FormatTextV(const char* format, va_list args);
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
