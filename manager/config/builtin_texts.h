// The program's built-in texts by string id, in English and in French.
#pragma once

#include <span>
#include <string_view>

namespace tessary {

struct TextEntry {
  int id;
  std::string_view text;
};

enum class TextVariant { English, French };

// The tables, each sorted by id.
std::span<const TextEntry> EnglishTexts();
std::span<const TextEntry> FrenchTexts();

// The variant for a language code of the user's locale: French for "fr",
// English for any other.
TextVariant VariantForLanguage(std::string_view languageCode);

// The built-in text of an id, or an empty text when the variant has none.
std::string_view BuiltinText(int id, TextVariant variant);

}  // namespace tessary
