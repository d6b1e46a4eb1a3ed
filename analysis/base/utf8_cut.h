// Cutting UTF-8 text to a length in bytes or in characters without splitting
// a character. A byte 10xxxxxx continues a sequence; every other byte starts
// one (text that is not UTF-8 is cut like any other).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The first maxBytes bytes of text, less the start of a character they
// would split; the whole text when it is no longer.
std::string cutUtf8(std::string_view text, std::size_t maxBytes);
void cutUtf8InPlace(std::string& text, std::size_t maxBytes);

// Keeps the first maxCharacters characters of text (a character being a
// byte that starts a sequence and the continuation bytes after it). True
// when it cut.
bool cutUtf8Characters(std::string& text, std::size_t maxCharacters);
