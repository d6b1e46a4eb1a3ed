// printf-style formatting into a std::string, shared by the log writers and
// the statement builders. Numbers always follow the "C" conventions (a point
// before the decimals), whatever the process's locale.
#pragma once

#include <cstdarg>
#include <string>

std::string FormatTextV(const char* format, va_list args);
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
