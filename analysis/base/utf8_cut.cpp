#include "base/utf8_cut.h"

namespace {

bool Continues(char c) { return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U; }

// How many bytes of text to keep for at most maxBytes.
std::size_t CutLength(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  std::size_t cut = maxBytes;
  // Step back over the continuation bytes to the start of the character that would be split.
  while (cut > 0 && Continues(text[cut])) --cut;
  return cut;
}

}  // namespace

std::string cutUtf8(std::string_view text, std::size_t maxBytes) {
  return std::string(text.substr(0, CutLength(text, maxBytes)));
}

void cutUtf8InPlace(std::string& text, std::size_t maxBytes) { text.resize(CutLength(text, maxBytes)); }

bool cutUtf8Characters(std::string& text, std::size_t maxCharacters) {
  std::size_t starts = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!Continues(text[i]) && starts++ == maxCharacters) {
      text.resize(i);
      return true;
    }
  }
  return false;
}
