// The lists of the upgrade: the local list "upgrade.dat" of installed file
// versions, the upgrade list and the hash list published by the project's
// servers, and the entries the upgrade dialog shows. Text only: no network,
// no files beyond the local list, so every reader can be fed anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// One file of the upgrade.
struct UpgradeEntry {
  std::string name;       // relative to the install root
  int current = 0;        // installed version (0: not installed)
  int newVersion = 0;     // version on the upgrade server
  int replace = 0;        // 1: the file may be in use, set it aside first
  std::int64_t size = 0;  // shown only
  std::string hash;       // 40 lower-case hexadecimal digits, or ""
  bool checked = false;

  // A name that would leave the install root (a ".." part, a leading "/",
  // a backslash) or holds control characters; such an entry is never
  // downloaded.
  bool Refused() const;
  // Current version below the new one, a published hash, a safe name.
  bool Candidate() const;
};

// Longest lines of each list, as they are published (longer lines are not
// ours and are skipped).
inline constexpr std::size_t kMaxLocalLine = 148;
inline constexpr std::size_t kMaxUpgradeLine = 98;
inline constexpr std::size_t kMaxHashLine = 118;
// Largest list or hash file accepted; the real ones are a few kilobytes.
inline constexpr std::size_t kMaxListBytes = std::size_t{1024} * 1024;
inline constexpr std::size_t kHashDigits = 40;

// True when a file name from a list may be joined to the install root: not
// empty, no leading "/", no backslash, no ".." part, no control character.
bool IsSafeFileName(std::string_view name);

// A decimal integer as the lists write it: blanks, an optional sign, digits;
// anything else ends it and no digits give 0. Clamped to the range of int.
int ParseDecimal(std::string_view text);
std::int64_t ParseDecimal64(std::string_view text);

// "" when text may be a list: at most kMaxListBytes, no NUL byte, no other
// control character than tab, carriage return and line feed. Otherwise why
// it is refused.
std::string ListProblem(std::string_view text);

// The local list: one "name;version" line per file; lines without ";" or
// longer than kMaxLocalLine are skipped. Each line becomes an entry whose
// current and new versions are the stored version.
std::vector<UpgradeEntry> ParseLocalList(std::string_view text);
// "%s;%d\n" per entry, in order.
std::string LocalListText(const std::vector<UpgradeEntry>& entries);

// Merges the upgrade list ("name;version;replace;size" lines, missing
// trailing fields 0) into the entries: an entry of the same name gets the
// new version, replace flag and size; any other name is appended with
// current version 0 and no hash. Lines without a name and a version are
// skipped.
void MergeUpgradeList(std::vector<UpgradeEntry>& entries, std::string_view text);

// Gives the first entry of each "name;hash" line its hash, lower-cased.
// Lines whose hash is not 40 hexadecimal digits are ignored.
void MergeHashList(std::vector<UpgradeEntry>& entries, std::string_view text);

// The answer of the version-check page: true when it holds
// "TessaryVersion"; version is then what follows "TessaryVersion=" at its
// very beginning up to white space (at most 49 characters; "" when it does
// not begin so), news what follows its first line feed (at most 99).
bool ParseVersionAnswer(std::string_view body, std::string& version, std::string& news);

// Lower-case copy of an ASCII text.
std::string LowerText(std::string_view text);

}  // namespace tessary
