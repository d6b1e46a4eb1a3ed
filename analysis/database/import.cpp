#include "database/import.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "base/utf8_cut.h"
#include "database/detail/sql_text.h"
#include "database/kw_sql.h"
#include "roots/result_file.h"

namespace {

// A result file of a plate is a few kilobytes; nothing near this is one, and
// the import never holds more of a file in memory.
constexpr std::size_t kMaxResultFileBytes = std::size_t{64} << 20;

struct DirCloser {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct FdCloser {
  void operator()(const int* fd) const noexcept {
    ::close(*fd);
    delete fd;
  }
};

// A result file's extension, the characters after the last '.', begins with
// "txt" (case counts); a name without a '.' is compared whole.
bool isResultFileName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? name : name.substr(dot + 1);
  return ext.compare(0, 3, "txt") == 0;
}

std::string canonical(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

enum class ReadStatus { Read, NotRegular, Failed };

// Reads a regular file whole. A pipe or device is never waited on: it is
// opened without blocking and refused before anything is read from it.
ReadStatus readRegularFile(const std::string& path, std::string& content, std::string& reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    reason = "cannot be opened: " + FRONTEND::SystemErrorText();
    return ReadStatus::Failed;
  }
  const std::unique_ptr<int, FdCloser> owner(new int(fd));
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    reason = "cannot be read: " + FRONTEND::SystemErrorText();
    return ReadStatus::Failed;
  }
  if (!S_ISREG(st.st_mode)) {
    reason = "not a regular file";
    return ReadStatus::NotRegular;
  }
  if (static_cast<unsigned long long>(st.st_size) > kMaxResultFileBytes) {
    reason = "larger than 64 MiB: not a result file";
    return ReadStatus::Failed;
  }
  content.assign(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  while (got < content.size()) {
    const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = "cannot be read: " + FRONTEND::SystemErrorText();
      return ReadStatus::Failed;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  content.resize(got);
  return ReadStatus::Read;
}

}  // namespace

std::string FileReportLine(const FileReport& report) {
  switch (report.outcome) {
    case FileOutcome::Inserted:
      return "inserted " + report.path;
    case FileOutcome::AlreadyImported:
      return SqlFormat("already imported %s (picture %i)", report.path.c_str(), report.pictureId);
    case FileOutcome::Skipped:
      return "skipped " + report.path + ": " + report.reason;
    default:
      return "failed " + report.path + ": " + report.reason;
  }
}

std::vector<std::string> CutToColumns(INFO_PICTURE& picture) {
  std::vector<std::string> cut;
  const std::pair<std::string*, const char*> fields[] = {
      {&picture.user, "User name"},   {&picture.experiment, "Experiment"}, {&picture.name, "Picture name"},
      {&picture.plate, "Plate name"}, {&picture.media, "Media"},           {&picture.genotype, "Genotype"}};
  // The columns count characters, not bytes.
  for (const auto& [text, field] : fields)
    if (cutUtf8Characters(*text, kTextColumnWidth)) cut.emplace_back(field);
  for (std::size_t i = 0; i < picture.arbre.size(); ++i)
    if (cutUtf8Characters(picture.arbre[i].genotype, kTextColumnWidth))
      cut.push_back(SqlFormat("Genotype of plant %i", static_cast<int>(i + 1)));
  return cut;
}

ResultImport::ResultImport(FRONTEND::Frontend& frontend, ImportOptions options)
    : m_frontend(frontend), m_options(std::move(options)) {}

ResultImport::~ResultImport() {
  if (m_shared) m_shared->Disconnect();
}

void ResultImport::done(const FileReport& report) {
  switch (report.outcome) {
    case FileOutcome::Inserted:
      ++m_summary.inserted;
      break;
    case FileOutcome::AlreadyImported:
      ++m_summary.already;
      AppendLogF(m_frontend, logname::kRead, "%s\n", FileReportLine(report).c_str());
      break;
    case FileOutcome::Skipped:
      ++m_summary.skipped;
      AppendLogF(m_frontend, logname::kRead, "%s\n", FileReportLine(report).c_str());
      break;
    case FileOutcome::Failed:
      ++m_summary.failed;
      m_summary.failedFiles.push_back(report.path);
      AppendLogF(m_frontend, logname::kRead, "%s\n", FileReportLine(report).c_str());
      break;
  }
  if (m_options.onFile) m_options.onFile(report);
}

void ResultImport::fail(const std::string& path, const std::string& reason) {
  done({path, FileOutcome::Failed, reason, 0});
}

bool ResultImport::insideChosenFolder(const std::string& path) const {
  const std::string real = canonical(path);
  if (real.empty() || m_root.empty()) return false;
  return real == m_root || real.compare(0, m_root.size() + 1, m_root + "/") == 0;
}

int ResultImport::Insert_Folder(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return 0;
  if (m_root.empty()) m_root = canonical(folder);
  // A folder met again through a link is not walked twice.
  if (!m_walked.emplace(static_cast<unsigned long>(st.st_dev), static_cast<unsigned long>(st.st_ino)).second)
    return 1;
  const DirHandle listing(::opendir(folder.c_str()));
  if (listing == nullptr) return 0;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string name = entry->d_name;
    std::string path = folder;
    path += '/';
    path += name;
    struct stat ls {};
    struct stat es {};
    if (::lstat(path.c_str(), &ls) != 0 || ::stat(path.c_str(), &es) != 0) continue;  // gone, or dangling
    if (S_ISDIR(es.st_mode)) {
      // ".", ".." and hidden folders are skipped.
      if (name.empty() || name[0] == '.') continue;
      if (S_ISLNK(ls.st_mode) && !insideChosenFolder(path)) {
        done({path, FileOutcome::Skipped, "a link to a folder outside " + folder + ", not followed", 0});
        continue;
      }
      FRONTEND::ShowMessage(m_frontend, path);
      Insert_Folder(path);
    } else if (isResultFileName(name)) {
      importFile(path);
    }
  }
  return 1;
}

const std::string& ResultImport::resultLog() {
  if (!m_resultLog) {
    m_resultLog.emplace();
    if (const auto log = KW_Log::Log_File_Path(m_frontend, logname::kResultFile)) {
      std::string reason;
      if (readRegularFile(*log, *m_resultLog, reason) != ReadStatus::Read) m_resultLog->clear();
    }
  }
  return *m_resultLog;
}

void ResultImport::importFile(const std::string& path) {
  ++m_summary.found;
  std::string content;
  std::string reason;
  switch (readRegularFile(path, content, reason)) {
    case ReadStatus::NotRegular:
      --m_summary.found;
      done({path, FileOutcome::Skipped, reason, 0});
      return;
    case ReadStatus::Failed:
      fail(path, reason);
      return;
    case ReadStatus::Read:
      break;
  }
  INFO_PICTURE picture;
  ResultFileFault fault;
  // A file cut short, edited or not a result file at all is refused whole,
  // with the line where it goes wrong; nothing of it is sent.
  if (!CheckResultFile(content, picture, fault)) {
    fail(path, fault.text());
    return;
  }
  const std::vector<std::string> cut = CutToColumns(picture);
  for (const std::string& field : cut)
    AppendLogF(m_frontend, logname::kRead, "warning %s: %s longer than %i characters, stored cut\n",
               path.c_str(), field.c_str(), static_cast<int>(kTextColumnWidth));

  ImportedFile file;
  file.path = path;
  file.size = content.size();
  file.sha256 = Sha256Hex(content);
  file.settings = SettingsLineFor(resultLog(), path);
  if (file.sha256.empty()) {
    fail(path, "its SHA-256 cannot be computed");
    return;
  }
  FileReport report{path, FileOutcome::Failed, "", 0};
  store(picture, file, report);
  if (report.outcome == FileOutcome::Inserted && !cut.empty()) ++m_summary.cut;
  done(report);
}

KW_SQL* ResultImport::connection(std::unique_ptr<KW_SQL>& own) {
  if (m_options.oneConnection && m_shared) return m_shared.get();
  own = std::make_unique<KW_SQL>(m_frontend);
  if (own->Connect(dbparam::kLocalHost, dbparam::kProgramUser, dbparam::kProgramPassword, dbparam::kPort,
                   1) == 0)
    return nullptr;
  if (own->Select_Base(dbparam::kPlantBase) == 0) {
    own->Disconnect();
    return nullptr;
  }
  if (m_options.oneConnection) {
    m_shared = std::move(own);
    return m_shared.get();
  }
  return own.get();
}

void ResultImport::store(const INFO_PICTURE& picture, const ImportedFile& file, FileReport& report) {
  std::unique_ptr<KW_SQL> own;
  KW_SQL* base = connection(own);
  if (base == nullptr) {
    report.reason = "no connection to the database";
    return;
  }
  const int earlier = FindImportedContent(*base, file.sha256);
  if (earlier < 0) {
    report.reason = "the record of imported files cannot be read (see log_sql.txt)";
  } else if (earlier > 0 && !m_options.again) {
    report.outcome = FileOutcome::AlreadyImported;
    report.pictureId = earlier;
  } else {
    int id = 0;
    switch (StoreImportedFile(*base, picture, file, earlier > 0, id)) {
      case StoreResult::Stored:
        report.outcome = FileOutcome::Inserted;
        break;
      case StoreResult::AlreadyImported:
        report.outcome = FileOutcome::AlreadyImported;
        break;
      case StoreResult::Failed:
        report.reason = "refused by the database, nothing of it stored (see log_sql.txt)";
        break;
    }
    report.pictureId = id;
  }
  // A connection that went wrong is not trusted with the next file.
  if (report.outcome == FileOutcome::Failed && m_shared) {
    m_shared->Disconnect();
    m_shared.reset();
  }
  if (own) own->Disconnect();
}

int ResultImport::Insert_Result_File(const INFO_PICTURE& picture) {
  std::unique_ptr<KW_SQL> own;
  KW_SQL* base = connection(own);
  if (base == nullptr) return 0;
  base->Insert_Picture_Data(picture);
  if (own) own->Disconnect();
  return 1;
}

std::string ResultImport::summaryText() const {
  std::string text = m_summary.failed == 0
                         ? std::string(kDataInserted)
                         : SqlFormat("%i result file(s) inserted, %i failed: see log_read.txt.",
                                     m_summary.inserted, m_summary.failed);
  if (m_summary.already > 0)
    text += SqlFormat("\n%i result file(s) imported before were skipped.", m_summary.already);
  if (m_summary.skipped > 0)
    text += SqlFormat(
        "\n%i file(s) that are not regular result files in the folder were skipped: see log_read.txt.",
        m_summary.skipped);
  if (m_summary.cut > 0)
    text +=
        SqlFormat("\n%i picture(s) with texts longer than %i characters were stored cut: see log_read.txt.",
                  m_summary.cut, static_cast<int>(kTextColumnWidth));
  return text;
}
