// The upgrade of the installed stack file by file and the check for a new
// release: the model of the upgrade dialog (local list, upgrade list and
// hash list, candidates, OK and Cancel), the transfers it needs, the
// installation of a verified file, and the question of the version check.
//
// The transfers (FetchRemoteLists, UpgradeFile) work on copies and touch no
// model, so a window may run them on another thread and hand the result
// back to the model on its own thread; Refresh and Upgrade do both in one
// call for callers without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "manager/config/language.h"
#include "manager/upgrade/download.h"
#include "manager/upgrade/upgrade_lists.h"

namespace tessary {

// Started by the user (command, about box, Ctrl+U), or once after start-up.
// At start-up nothing is shown unless there is something to upgrade.
enum class UpgradeMode { Manual, StartUp };

// Paths on the servers.
inline constexpr std::string_view kUpgradeListPath = "upgrade/1801.dat";
inline constexpr std::string_view kHashListPath = "check/hash.dat";
// The file a file in use is moved to before it is replaced.
inline constexpr std::string_view kSetAsideName = "UpFile.tmp";

// Where the upgrade works; copied into every transfer.
struct UpgradeSite {
  std::string root;           // install root, ending with "/"
  std::string upgradeServer;  // upgrade list and files, ending with "/"
  std::string hashServer;     // hash list, ending with "/"
  std::string language;       // sent with every file download
};

// The local list of a root: root + "upgrade.dat".
std::string LocalListPath(const std::string& root);

// The two remote lists as the transfers left them.
struct RemoteLists {
  int upgradeResult = 0;       // DownloadFile's result, or an errno of the read
  std::string upgradeText;     // the list when it could be used
  std::string upgradeProblem;  // why it was refused ("" when not)
  int hashResult = 0;
  std::string hashText;
  std::string hashProblem;
};

// Downloads and reads both lists: the upgrade list with redirects followed,
// the hash list without. A list that is too large or binary is refused
// with a problem text. Runs on any thread.
RemoteLists FetchRemoteLists(const UpgradeSite& site, const TransferOptions& options);

// Reads a list: 0 and its text, or an errno, EFBIG (too large) or EILSEQ
// (binary, unless refuseBinary is off) with the problem in *problem.
int ReadListFile(const std::string& path, std::string& text, std::string* problem, bool refuseBinary = true);

// One file to upgrade.
struct FileJob {
  std::string root;
  std::string name;
  std::string hash;       // expected, lower case
  bool replace = false;   // set the installed file aside first
  std::int64_t size = 0;  // listed size in bytes; 0 when the list gives none
  std::string address;    // "upgrade/get.php?filename=...&langue=..." on the upgrade server
};

struct FileOutcome {
  enum class Kind { Installed, DownloadFailed, BadHash, InstallFailed };
  Kind kind = Kind::DownloadFailed;
  int error = 0;             // DownloadFile's result, or errno of the installation
  std::string computedHash;  // of the download
  bool restartNeeded = false;
};

// The largest file an upgrade downloads, whatever its list says.
inline constexpr std::int64_t kMaxUpgradeFileBytes = std::int64_t{256} * 1024 * 1024;

// Downloads, verifies and installs one file. The download stops at the
// listed size (or kMaxUpgradeFileBytes when none is listed); a listed size
// beyond that is refused before anything is fetched (kTransferTooLarge).
// Runs on any thread.
FileOutcome UpgradeFile(const FileJob& job, const TransferOptions& options);

// Installs a verified download as root + name: the bytes are written beside
// the target first and renamed into place, so a full disk or any other
// failure leaves the installed file as it was. With replace, the installed
// file is first moved to root + "UpFile.tmp" and, when the new one is in
// place, deleted (on failure it goes back under its name). A target whose
// folder, or which itself, resolves (links followed) outside the install
// root is refused with EPERM and nothing is written. 0 or errno.
int InstallDownloadedFile(const std::string& root, const std::string& name, bool replace,
                          const std::string& download);

// A message box the dialog asks for, captioned with the program name.
struct UpgradeMessage {
  std::string text;
  bool error = false;  // error icon, else information
};

// What ApplyRemoteLists decided.
struct RefreshOutcome {
  bool end = false;  // the dialog ends (nothing to do, or the hashes are missing)
  std::vector<UpgradeMessage> messages;
};

class UpgradeDialogModel {
 public:
  UpgradeDialogModel(UpgradeSite site, LanguageList& texts, UpgradeMode mode);

  // Reads the local list: every entry unchecked, its current and new
  // versions the stored one. A list that cannot be read gives no entries.
  void Open();

  // The second half of Refresh, on the model's thread.
  RefreshOutcome ApplyRemoteLists(const RemoteLists& lists);
  // Downloads both lists and applies them, in one call.
  RefreshOutcome Refresh(const TransferOptions& options = {});

  // Check boxes: checking an entry that is not a candidate is refused.
  bool SetChecked(std::size_t index, bool on);

  // OK: the entries to upgrade, in list order (checked, new version set and
  // different from the current one).
  std::vector<std::size_t> PendingUpgrades() const;
  // The status text while index is upgraded, and its transfer.
  std::string UpdatingText(std::size_t index);
  FileJob JobFor(std::size_t index) const;
  // Takes the outcome of one file: the entry's version on success; the
  // error box otherwise.
  std::vector<UpgradeMessage> ApplyOutcome(std::size_t index, const FileOutcome& outcome);
  // After the last file: the restart message when one is needed.
  std::vector<UpgradeMessage> FinishUpgrade();
  // OK in one call: every pending file, then FinishUpgrade. Close follows.
  std::vector<UpgradeMessage> Upgrade(const TransferOptions& options = {});

  // Cancel, and the end of OK: rewrites the local list from the entries
  // (written beside and renamed into place). A local list that could not
  // be read is left alone. 0 or errno.
  int Close();

  // "  -  " for version 0, else the decimal number.
  static std::string VersionColumn(int version);

  const std::vector<UpgradeEntry>& entries() const { return m_entries; }
  const std::string& status() const { return m_status; }
  bool okEnabled() const { return m_okEnabled; }
  UpgradeMode mode() const { return m_mode; }
  const UpgradeSite& site() const { return m_site; }

 private:
  UpgradeSite m_site;
  LanguageList& m_texts;
  UpgradeMode m_mode;
  std::vector<UpgradeEntry> m_entries;
  std::string m_status;
  bool m_okEnabled = false;
  bool m_restartNeeded = false;
  bool m_released = false;       // ended without a list to write
  bool m_keepLocalList = false;  // the local list could not be read: never overwritten
};

// Puts values in place of the "%s" and "%d" of a text in order; the text
// may come from the language file, so it is never handed to printf.
std::string FillTemplate(std::string_view text, const std::vector<std::string>& values);

// The version check after the dialog: the question to ask (32793 with the
// reported version, then "\nv <version>:\n<news>") when the reported
// version differs as text from the program's; nothing when it is the same
// or empty.
std::optional<std::string> NewVersionQuestion(const std::string& programVersion, const std::string& reported,
                                              const std::string& news, LanguageList& texts);

}  // namespace tessary
