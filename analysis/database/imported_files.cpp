#include "database/imported_files.h"

#include <openssl/evp.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <memory>

#include "database/detail/sql_text.h"
#include "database/kw_sql.h"

namespace {

// The server's code for a second row with the same unique key.
constexpr unsigned int kDuplicateEntry = 1062;
// A transaction the server chose to end to undo a deadlock: worth one more try.
constexpr unsigned int kDeadlock = 1213;
constexpr int kTries = 3;
// The settings line keeps at most this many characters (its column's width).
constexpr std::size_t kSettingsWidth = 255;

std::string str(std::string_view s) { return std::string(s); }

int toId(const std::string& cell) {
  const long long v = std::strtoll(cell.c_str(), nullptr, 10);
  return v > INT_MAX || v < 0 ? -1 : static_cast<int>(v);
}

std::string canonical(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : path;
}

}  // namespace

std::string ImportedFilesTable() {
  const auto& n = kImportedFileNames;
  return SqlFormat(
      "CREATE TABLE IF NOT EXISTS `%s` (`%s` INT NOT NULL AUTO_INCREMENT ,`%s` TEXT NOT NULL ,"
      "`%s` BIGINT UNSIGNED NOT NULL ,`%s` CHAR( 64 ) CHARACTER SET ascii NOT NULL ,`%s` DATETIME NOT NULL ,"
      "`%s` INT NOT NULL ,`%s` VARCHAR( 255 ) NULL ,`%s` CHAR( 64 ) CHARACTER SET ascii NULL ,"
      "PRIMARY KEY ( `%s` ),INDEX ( `%s` ),UNIQUE ( `%s` )) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4",
      str(n[0]).c_str(), str(n[1]).c_str(), str(n[2]).c_str(), str(n[3]).c_str(), str(n[4]).c_str(),
      str(n[5]).c_str(), str(n[6]).c_str(), str(n[7]).c_str(), str(n[8]).c_str(), str(n[1]).c_str(),
      str(n[4]).c_str(), str(n[8]).c_str());
}

int FindImportedContent(KW_SQL& base, std::string_view sha256) {
  const auto& n = kImportedFileNames;
  const std::string statement =
      SqlFormat("SELECT `%s` FROM `%s` WHERE `%s` = '%s' ORDER BY `%s` LIMIT 1", str(n[6]).c_str(),
                str(n[0]).c_str(), str(n[4]).c_str(), base.escape(sha256).c_str(), str(n[1]).c_str());
  if (base.Query(statement) == 0) return -1;
  if (base.Store_Result() == 0) return 0;
  std::string cell;
  base.Get_Value(cell, 0, 0);
  return toId(cell);
}

StoreResult StoreImportedFile(KW_SQL& base, const INFO_PICTURE& picture, const ImportedFile& file, bool copy,
                              int& pictureId) {
  const auto& n = kImportedFileNames;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    pictureId = 0;
    if (base.Execute("START TRANSACTION") == 0) return StoreResult::Failed;
    int id = 0;
    if (base.insertPictureRows(picture, id) == 0) {
      const unsigned int code = base.handle() != nullptr ? mysql_errno(base.handle()) : 0;
      base.commitOrRollBack(false);
      if (code == kDeadlock) continue;
      return StoreResult::Failed;
    }
    const std::string settings = file.settings.empty()
                                     ? std::string("NULL")
                                     : "'" + base.escape(file.settings.substr(0, kSettingsWidth)) + "'";
    const std::string firstCopy = copy ? std::string("NULL") : "'" + base.escape(file.sha256) + "'";
    const std::string statement = SqlFormat(
        "INSERT INTO `%s`(`%s`,`%s`,`%s`,`%s`,`%s`,`%s`,`%s`,`%s`)VALUES "
        "(NULL,'%s','%llu','%s',NOW(),'%i',%s,%s)",
        str(n[0]).c_str(), str(n[1]).c_str(), str(n[2]).c_str(), str(n[3]).c_str(), str(n[4]).c_str(),
        str(n[5]).c_str(), str(n[6]).c_str(), str(n[7]).c_str(), str(n[8]).c_str(),
        base.escape(file.path).c_str(), static_cast<unsigned long long>(file.size),
        base.escape(file.sha256).c_str(), id, settings.c_str(), firstCopy.c_str());
    if (base.Query(statement) == 0) {
      const unsigned int code = base.handle() != nullptr ? mysql_errno(base.handle()) : 0;
      base.commitOrRollBack(false);
      if (code == kDeadlock) continue;
      if (code != kDuplicateEntry) return StoreResult::Failed;
      // Another import stored this content while this one ran.
      pictureId = FindImportedContent(base, file.sha256);
      return StoreResult::AlreadyImported;
    }
    if (base.commitOrRollBack(true) == 0) return StoreResult::Failed;
    pictureId = id;
    return StoreResult::Stored;
  }
  return StoreResult::Failed;
}

std::string Sha256Hex(std::string_view data) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(std::size_t{2} * length);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return hex;
}

std::string SettingsLineFor(std::string_view resultLog, const std::string& path) {
  // The log of the last saved experiment: its result file's name, then the
  // settings the analysis ran with.
  static constexpr std::string_view kNameLine = "name_picture_file ";
  static constexpr std::string_view kSettingsLine = "lengths ";
  bool ours = false;
  std::string settings;
  std::size_t pos = 0;
  while (pos < resultLog.size()) {
    const std::size_t end = std::min(resultLog.find('\n', pos), resultLog.size());
    const std::string_view line = resultLog.substr(pos, end - pos);
    pos = end + 1;
    if (line.substr(0, kNameLine.size()) == kNameLine) {
      const std::string named(line.substr(kNameLine.size()));
      ours = named == path || canonical(named) == canonical(path);
      settings.clear();
    } else if (ours && settings.empty() && line.substr(0, kSettingsLine.size()) == kSettingsLine) {
      settings = std::string(line);
    }
  }
  return ours ? settings : std::string();
}
