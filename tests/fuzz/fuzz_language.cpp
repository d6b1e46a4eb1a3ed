// Feeds arbitrary bytes to the language file reader: the list, the
// selection and every text lookup must stay within their bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "manager/config/language.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tessary::LanguageList list(tessary::TextVariant::English);
  list.ReadText("/fuzz/langues.txt", text);
  const int count = list.Count();
  if (count < 0 || count > tessary::LanguageList::kSlots) std::abort();
  for (int i = 0; i < tessary::LanguageList::kSlots; ++i)
    if (list.Name(i).size() > tessary::LanguageList::kMaxName) std::abort();
  for (int i = -1; i <= count; ++i) {
    const bool selected = list.Select(i);
    if (selected != (i >= 0 && i < count)) std::abort();
    if (selected) {
      const std::string name = list.Name(i);
      if (!list.SelectByName(name) || list.CurrentName() != name) std::abort();
    }
    for (const int id : {101, 32771, 32782, 32796, 32813, 32851, 32871, 0, -5, 99999}) {
      const char* t = list.LoadText(id);
      if (std::strlen(t) > tessary::LanguageList::kMaxText) std::abort();
    }
  }
  return 0;
}
