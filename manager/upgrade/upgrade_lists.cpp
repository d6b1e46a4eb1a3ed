#include "manager/upgrade/upgrade_lists.h"

#include <limits>

namespace tessary {
namespace {

// Calls f for every line of text without its line end ("\n" or "\r\n").
template <typename F>
void ForEachLine(std::string_view text, F f) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    f(line);
  }
}

// The fields of a line separated by ";".
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> out;
  for (;;) {
    const std::size_t semi = line.find(';');
    out.push_back(line.substr(0, semi));
    if (semi == std::string_view::npos) break;
    line.remove_prefix(semi + 1);
  }
  return out;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool UpgradeEntry::Refused() const { return !IsSafeFileName(name); }

bool UpgradeEntry::Candidate() const { return current < newVersion && !hash.empty() && !Refused(); }

bool IsSafeFileName(std::string_view name) {
  if (name.empty() || name.front() == '/') return false;
  for (const char c : name)
    if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

std::int64_t ParseDecimal64(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10 - 9;
  std::int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (v < kLimit) v = v * 10 + (text[i] - '0');
  }
  return negative ? -v : v;
}

int ParseDecimal(std::string_view text) {
  const std::int64_t v = ParseDecimal64(text);
  if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

std::string ListProblem(std::string_view text) {
  if (text.size() > kMaxListBytes)
    return "the list is larger than " + std::to_string(kMaxListBytes) + " bytes";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F)
      return "the list holds binary data (byte " + std::to_string(c) + " at offset " + std::to_string(i) +
             ")";
  }
  return {};
}

std::vector<UpgradeEntry> ParseLocalList(std::string_view text) {
  std::vector<UpgradeEntry> entries;
  ForEachLine(text, [&](std::string_view line) {
    const std::size_t semi = line.find(';');
    if (semi == std::string_view::npos || line.size() > kMaxLocalLine) return;
    UpgradeEntry e;
    e.name = std::string(line.substr(0, semi));
    e.current = e.newVersion = ParseDecimal(line.substr(semi + 1));
    entries.push_back(std::move(e));
  });
  return entries;
}

std::string LocalListText(const std::vector<UpgradeEntry>& entries) {
  std::string out;
  for (const UpgradeEntry& e : entries) out += e.name + ";" + std::to_string(e.current) + "\n";
  return out;
}

void MergeUpgradeList(std::vector<UpgradeEntry>& entries, std::string_view text) {
  ForEachLine(text, [&](std::string_view line) {
    if (line.size() > kMaxUpgradeLine) return;
    const std::vector<std::string_view> f = Fields(line);
    if (f.size() < 2 || f[0].empty()) return;
    const int version = ParseDecimal(f[1]);
    const int replace = f.size() > 2 ? ParseDecimal(f[2]) : 0;
    const std::int64_t size = f.size() > 3 ? ParseDecimal64(f[3]) : 0;
    for (UpgradeEntry& e : entries) {
      if (e.name == f[0]) {
        e.newVersion = version;
        e.replace = replace;
        e.size = size;
        return;
      }
    }
    UpgradeEntry e;
    e.name = std::string(f[0]);
    e.newVersion = version;
    e.replace = replace;
    e.size = size;
    entries.push_back(std::move(e));
  });
}

void MergeHashList(std::vector<UpgradeEntry>& entries, std::string_view text) {
  ForEachLine(text, [&](std::string_view line) {
    if (line.size() > kMaxHashLine) return;
    const std::size_t semi = line.find(';');
    if (semi == std::string_view::npos) return;
    const std::string_view name = line.substr(0, semi);
    const std::string_view hash = TrimBlanks(line.substr(semi + 1));
    if (hash.size() != kHashDigits) return;
    for (const char c : hash)
      if (!IsHexDigit(c)) return;
    for (UpgradeEntry& e : entries) {
      if (e.name == name) {
        e.hash = LowerText(hash);
        return;
      }
    }
  });
}

bool ParseVersionAnswer(std::string_view body, std::string& version, std::string& news) {
  version.clear();
  news.clear();
  constexpr std::string_view kKey = "TessaryVersion";
  if (body.find(kKey) == std::string_view::npos) return false;
  constexpr std::string_view kPattern = "TessaryVersion=";
  if (body.substr(0, kPattern.size()) == kPattern) {
    std::string_view v = body.substr(kPattern.size());
    // Like "%s": blanks first are skipped, the version ends at white space.
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t' || v.front() == '\r' || v.front() == '\n' ||
                          v.front() == '\v' || v.front() == '\f'))
      v.remove_prefix(1);
    std::size_t end = 0;
    while (end < v.size() && v[end] != ' ' && v[end] != '\t' && v[end] != '\r' && v[end] != '\n' &&
           v[end] != '\v' && v[end] != '\f')
      ++end;
    version = std::string(v.substr(0, end < 49 ? end : 49));
  }
  if (const std::size_t lf = body.find('\n'); lf != std::string_view::npos)
    news = std::string(body.substr(lf + 1, 99));
  return true;
}

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace tessary
