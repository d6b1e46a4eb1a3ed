// One field of delimiter-separated values as RFC 4180 writes it: as it is,
// or, when it holds the delimiter, a double quote, a carriage return or a
// line feed, in double quotes with each inner quote doubled, so that no
// field of the line shifts when it is read back.
#pragma once

#include <string>
#include <string_view>

void appendCsvField(std::string& out, std::string_view text, char delimiter = ',');
