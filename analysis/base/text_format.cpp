#include "base/text_format.h"

#include <locale.h>

#include <clocale>
#include <cstdio>

namespace {

// The "C" conventions for numbers, whatever locale the program runs in (the
// desktop program takes the user's, where 6.5 may be written "6,5"): every
// file, statement and export the program writes is read back by programs
// that expect a point. Made once, never changed; uselocale acts on the
// calling thread only.
locale_t ClassicLocale() {
  static const locale_t classic = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return classic;
}

class ClassicNumbers {
 public:
  ClassicNumbers() : m_saved(ClassicLocale() != nullptr ? ::uselocale(ClassicLocale()) : nullptr) {}
  ClassicNumbers(const ClassicNumbers&) = delete;
  ClassicNumbers& operator=(const ClassicNumbers&) = delete;
  ~ClassicNumbers() {
    if (m_saved != nullptr) ::uselocale(m_saved);
  }

 private:
  locale_t m_saved;
};

}  // namespace

std::string FormatTextV(const char* format, va_list args) {
  const ClassicNumbers classic;
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    text.assign(static_cast<std::size_t>(n), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  return text;
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  return text;
}
