#include "manager/upgrade/upgrade.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "base/atomic_file.h"
#include "manager/config/manager_log.h"
#include "manager/upgrade/file_version.h"

namespace tessary {
namespace {

// Removes a temporary file when it goes.
class TempFile {
 public:
  explicit TempFile(std::string path) : m_path(std::move(path)) {}
  ~TempFile() {
    if (!m_path.empty()) ::unlink(m_path.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

// Copies the file source into out. 0 or errno.
int CopyInto(const std::string& source, AtomicFile& out) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno;
  int err = 0;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (n == 0) break;
    if (!out.write(std::string_view(buffer, static_cast<std::size_t>(n)))) {
      err = out.error().code;
      break;
    }
  }
  ::close(in);
  return err;
}

std::string TooLargeText() { return "the list is larger than " + std::to_string(kMaxListBytes) + " bytes"; }

std::string Cut(std::string s, std::size_t max) {
  if (s.size() > max) s.resize(max);
  return s;
}

}  // namespace

std::string LocalListPath(const std::string& root) { return root + "upgrade.dat"; }

int ReadListFile(const std::string& path, std::string& text, std::string* problem, bool refuseBinary) {
  text.clear();
  std::FILE* f = std::fopen(path.c_str(), "rbe");
  if (f == nullptr) {
    const int err = errno;
    if (problem != nullptr) *problem = "the list cannot be read";
    return err != 0 ? err : EIO;
  }
  char buffer[4096];
  int err = 0;
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
    text.append(buffer, n);
    if (text.size() > kMaxListBytes) {
      err = EFBIG;
      break;
    }
    if (n < sizeof buffer) {
      if (std::ferror(f) != 0) err = EIO;
      break;
    }
  }
  std::fclose(f);
  std::string why;
  if (err == EIO) {
    why = "the list cannot be read";
  } else if (err == EFBIG) {
    why = TooLargeText();
  } else if (why = refuseBinary ? ListProblem(text) : std::string(); !why.empty()) {
    err = EILSEQ;
  }
  if (problem != nullptr) *problem = why;
  if (err != 0) text.clear();
  return err;
}

RemoteLists FetchRemoteLists(const UpgradeSite& site, const TransferOptions& options) {
  RemoteLists lists;
  TransferOptions o = options;
  o.maxBytes = kMaxListBytes;
  auto fetch = [&](const std::string& address, bool follow, int& result, std::string& text,
                   std::string& problem) {
    std::string temp;
    result = DownloadFile(address, temp, follow, o);
    if (result == kTransferTooLarge) problem = TooLargeText();
    if (result != 0) {
      Trace("Upgrade: %s: %s", address.c_str(), DownloadErrorText(result).c_str());
      return;
    }
    const TempFile remove(temp);
    result = ReadListFile(temp, text, &problem);
    if (result != 0) Trace("Upgrade: %s refused: %s", address.c_str(), problem.c_str());
  };
  fetch(site.upgradeServer + std::string(kUpgradeListPath), true, lists.upgradeResult, lists.upgradeText,
        lists.upgradeProblem);
  fetch(site.hashServer + std::string(kHashListPath), false, lists.hashResult, lists.hashText,
        lists.hashProblem);
  return lists;
}

namespace {

// Whether path, its links followed, lies inside the folder base (resolved
// the same way). A path that does not exist yet is judged by its folder.
bool ResolvesInside(const std::string& base, const std::string& path) {
  std::error_code ec;
  const std::filesystem::path realBase = std::filesystem::canonical(base, ec);
  if (ec) return false;
  const std::filesystem::path real = std::filesystem::weakly_canonical(path, ec);
  if (ec) return false;
  const auto rel = real.lexically_relative(realBase);
  return !rel.empty() && *rel.begin() != ".." && rel.is_relative();
}

}  // namespace

int InstallDownloadedFile(const std::string& root, const std::string& name, bool replace,
                          const std::string& download) {
  if (!IsSafeFileName(name)) return EINVAL;
  const std::string target = root + name;
  // A folder link inside the root (www/sym -> /elsewhere) must not carry
  // the write out of it, nor a link in the target's own place.
  if (!ResolvesInside(root, target)) {
    Trace("Upgrade: %s lies outside %s once its links are followed: refused", target.c_str(), root.c_str());
    return EPERM;
  }
  struct stat st {};
  const mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  AtomicFile beside(target, mode);
  if (!beside.ok()) return beside.error().code;
  if (const int err = CopyInto(download, beside); err != 0) return err;

  // A file that may be in use goes aside first, so that the new one takes
  // its name whatever holds the old one open.
  const std::string setAside = root + std::string(kSetAsideName);
  bool movedAside = false;
  if (replace) {
    ::unlink(setAside.c_str());
    if (::rename(target.c_str(), setAside.c_str()) == 0) {
      movedAside = true;
    } else if (errno != ENOENT) {
      return errno;
    }
  }
  if (!beside.commit()) {
    if (movedAside && ::rename(setAside.c_str(), target.c_str()) != 0)
      Trace("Upgrade: %s could not be put back from %s", target.c_str(), setAside.c_str());
    return beside.error().code;
  }
  // Fails silently while something still holds it.
  if (movedAside) ::unlink(setAside.c_str());
  return 0;
}

FileOutcome UpgradeFile(const FileJob& job, const TransferOptions& options) {
  FileOutcome out;
  if (!IsSafeFileName(job.name)) {
    out.kind = FileOutcome::Kind::InstallFailed;
    out.error = EINVAL;
    return out;
  }
  if (job.size > kMaxUpgradeFileBytes) {
    out.error = kTransferTooLarge;
    return out;
  }
  TransferOptions capped = options;
  const auto cap = static_cast<std::uint64_t>(job.size > 0 ? job.size : kMaxUpgradeFileBytes);
  if (capped.maxBytes == 0 || capped.maxBytes > cap) capped.maxBytes = cap;
  std::string temp;
  out.error = DownloadFile(job.address, temp, true, capped);
  if (out.error != 0) {
    out.kind = FileOutcome::Kind::DownloadFailed;
    return out;
  }
  const TempFile download(temp);
  FileSha1Text(temp, out.computedHash);
  // Both sides in lower case: a list may write its digits either way.
  if (out.computedHash.empty() || LowerText(out.computedHash) != LowerText(job.hash)) {
    out.kind = FileOutcome::Kind::BadHash;
    return out;
  }
  out.error = InstallDownloadedFile(job.root, job.name, job.replace, temp);
  if (out.error != 0) {
    out.kind = FileOutcome::Kind::InstallFailed;
    return out;
  }
  out.kind = FileOutcome::Kind::Installed;
  out.restartNeeded = job.replace;
  return out;
}

UpgradeDialogModel::UpgradeDialogModel(UpgradeSite site, LanguageList& texts, UpgradeMode mode)
    : m_site(std::move(site)), m_texts(texts), m_mode(mode) {}

void UpgradeDialogModel::Open() {
  m_entries.clear();
  m_status.clear();
  m_okEnabled = false;
  m_restartNeeded = false;
  m_released = false;
  m_keepLocalList = false;
  std::string text;
  std::string problem;
  const std::string path = LocalListPath(m_site.root);
  if (::access(path.c_str(), F_OK) != 0) return;
  // Our own file: odd bytes in it are only odd lines. One that cannot be
  // read whole is left as it is rather than replaced by what is known.
  if (ReadListFile(path, text, &problem, false) != 0) {
    Trace("Upgrade: %s: %s; it is kept as it is", path.c_str(), problem.c_str());
    m_keepLocalList = true;
    return;
  }
  m_entries = ParseLocalList(text);
}

RefreshOutcome UpgradeDialogModel::ApplyRemoteLists(const RemoteLists& lists) {
  RefreshOutcome outcome;
  const bool manual = m_mode == UpgradeMode::Manual;
  auto release = [&] {
    m_entries.clear();
    m_okEnabled = false;
    m_released = true;
    outcome.end = true;
  };
  auto withProblem = [](const std::string& text, const std::string& problem) {
    return problem.empty() ? text : text + "\n" + problem;
  };

  const bool upgradeFailed = lists.upgradeResult != 0;
  if (upgradeFailed)
    m_status = m_texts.LoadText(32864);
  else
    MergeUpgradeList(m_entries, lists.upgradeText);

  if (lists.hashResult != 0) {
    const std::string text = m_texts.LoadText(32865);
    if (manual) {
      m_status = text;
      outcome.messages.push_back({withProblem(text, lists.hashProblem), true});
    }
    release();
    return outcome;
  }
  MergeHashList(m_entries, lists.hashText);

  bool any = false;
  for (UpgradeEntry& e : m_entries) {
    e.checked = e.Candidate();
    any = any || e.checked;
  }
  if (any) {
    if (!upgradeFailed) m_status.clear();
    m_okEnabled = true;
    return outcome;
  }
  // Nothing to upgrade. When the upgrade list itself could not be had,
  // that is what the user learns, not that everything is up to date.
  m_okEnabled = false;
  if (upgradeFailed) {
    if (manual) outcome.messages.push_back({withProblem(m_status, lists.upgradeProblem), true});
  } else {
    m_status = m_texts.LoadText(32866);
    if (manual) outcome.messages.push_back({m_status, false});
  }
  release();
  return outcome;
}

RefreshOutcome UpgradeDialogModel::Refresh(const TransferOptions& options) {
  return ApplyRemoteLists(FetchRemoteLists(m_site, options));
}

bool UpgradeDialogModel::SetChecked(std::size_t index, bool on) {
  if (index >= m_entries.size()) return false;
  UpgradeEntry& e = m_entries[index];
  if (on && !e.Candidate()) return false;
  e.checked = on;
  return true;
}

std::vector<std::size_t> UpgradeDialogModel::PendingUpgrades() const {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < m_entries.size(); ++i) {
    const UpgradeEntry& e = m_entries[i];
    if (e.checked && e.newVersion != 0 && e.newVersion != e.current && !e.hash.empty() && !e.Refused())
      out.push_back(i);
  }
  return out;
}

std::string UpgradeDialogModel::UpdatingText(std::size_t index) {
  m_status = FillTemplate(m_texts.LoadText(32867), {m_entries.at(index).name});
  return m_status;
}

FileJob UpgradeDialogModel::JobFor(std::size_t index) const {
  const UpgradeEntry& e = m_entries.at(index);
  FileJob job;
  job.root = m_site.root;
  job.name = e.name;
  job.hash = e.hash;
  job.replace = e.replace == 1;
  job.size = e.size;
  job.address = m_site.upgradeServer + "upgrade/get.php?filename=" + UrlEscape(e.name) +
                "&langue=" + UrlEscape(m_site.language);
  return job;
}

std::vector<UpgradeMessage> UpgradeDialogModel::ApplyOutcome(std::size_t index, const FileOutcome& outcome) {
  UpgradeEntry& e = m_entries.at(index);
  switch (outcome.kind) {
    case FileOutcome::Kind::Installed:
      e.current = e.newVersion;
      m_restartNeeded = m_restartNeeded || outcome.restartNeeded;
      return {};
    case FileOutcome::Kind::BadHash:
      return {{FillTemplate(m_texts.LoadText(32868), {e.name, outcome.computedHash, e.hash}), true}};
    case FileOutcome::Kind::DownloadFailed:
    case FileOutcome::Kind::InstallFailed:
      break;
  }
  return {{FillTemplate(m_texts.LoadText(32869), {e.name, std::to_string(outcome.error)}), true}};
}

std::vector<UpgradeMessage> UpgradeDialogModel::FinishUpgrade() {
  if (!m_restartNeeded) return {};
  return {{m_texts.LoadText(32870), false}};
}

std::vector<UpgradeMessage> UpgradeDialogModel::Upgrade(const TransferOptions& options) {
  std::vector<UpgradeMessage> messages;
  for (const std::size_t i : PendingUpgrades()) {
    UpdatingText(i);
    for (UpgradeMessage& m : ApplyOutcome(i, UpgradeFile(JobFor(i), options)))
      messages.push_back(std::move(m));
  }
  for (UpgradeMessage& m : FinishUpgrade()) messages.push_back(std::move(m));
  return messages;
}

int UpgradeDialogModel::Close() {
  if (m_released) return 0;
  m_released = true;
  if (m_keepLocalList) {
    m_entries.clear();
    return 0;
  }
  FileError error;
  const int err =
      writeFileAtomically(LocalListPath(m_site.root), LocalListText(m_entries), error, 0644) ? 0 : error.code;
  if (err != 0) Trace("Upgrade: %s not written (error %d)", LocalListPath(m_site.root).c_str(), err);
  m_entries.clear();
  return err;
}

std::string UpgradeDialogModel::VersionColumn(int version) {
  return version == 0 ? std::string("  -  ") : std::to_string(version);
}

std::string FillTemplate(std::string_view text, const std::vector<std::string>& values) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'd') &&
        next < values.size()) {
      out += values[next++];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::optional<std::string> NewVersionQuestion(const std::string& programVersion, const std::string& reported,
                                              const std::string& news, LanguageList& texts) {
  if (reported.empty() || reported == programVersion) return std::nullopt;
  const std::string first = Cut(FillTemplate(texts.LoadText(32793), {reported}), 253);
  return Cut(first + "\nv " + reported + ":\n" + news, 510);
}

}  // namespace tessary
