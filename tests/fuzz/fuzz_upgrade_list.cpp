// Feeds arbitrary bytes to the readers of the upgrade: the local list, the
// upgrade list and the hash list (the input split at form feeds), and the
// answer of the version check. Entries must stay sound: hashes are 40
// lower-case digits or nothing, a candidate has a safe name, and the local
// list written from the entries reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "manager/upgrade/upgrade_lists.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string_view parts[3];
  std::string_view rest = text;
  for (int i = 0; i < 3; ++i) {
    const std::size_t ff = i < 2 ? rest.find('\f') : std::string_view::npos;
    parts[i] = rest.substr(0, ff);
    rest = ff == std::string_view::npos ? std::string_view() : rest.substr(ff + 1);
  }
  (void)tessary::ListProblem(text);
  std::vector<tessary::UpgradeEntry> entries = tessary::ParseLocalList(parts[0]);
  tessary::MergeUpgradeList(entries, parts[1]);
  tessary::MergeHashList(entries, parts[2]);
  for (const tessary::UpgradeEntry& e : entries) {
    if (!e.hash.empty()) {
      if (e.hash.size() != tessary::kHashDigits) std::abort();
      for (const char c : e.hash)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) std::abort();
    }
    if (e.Candidate() && (!tessary::IsSafeFileName(e.name) || e.current >= e.newVersion)) std::abort();
    if (e.name.find('\n') != std::string::npos || e.name.find(';') != std::string::npos) std::abort();
  }
  // Every entry whose line fits the local list's line length reads back
  // as it was written.
  const std::string written = tessary::LocalListText(entries);
  std::vector<tessary::UpgradeEntry> fitting;
  for (const tessary::UpgradeEntry& e : entries)
    if (e.name.size() + 1 + std::to_string(e.current).size() <= tessary::kMaxLocalLine) fitting.push_back(e);
  const std::vector<tessary::UpgradeEntry> back = tessary::ParseLocalList(written);
  if (back.size() != fitting.size()) std::abort();
  for (std::size_t i = 0; i < back.size(); ++i)
    if (back[i].name != fitting[i].name || back[i].current != fitting[i].current) std::abort();

  std::string version, news;
  if (tessary::ParseVersionAnswer(text, version, news) && (version.size() > 49 || news.size() > 99))
    std::abort();
  return 0;
}
