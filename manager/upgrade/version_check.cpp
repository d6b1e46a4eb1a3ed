#include "manager/upgrade/version_check.h"

#include "manager/config/manager_log.h"
#include "manager/upgrade/file_version.h"
#include "manager/upgrade/upgrade_lists.h"

namespace tessary {

bool QueryLatestVersion(const std::string& server, const std::string& programPath, std::string& version,
                        std::string& news, const TransferOptions& options) {
  version.clear();
  news.clear();
  FileVersion v;
  GetFileVersion(programPath, v);
  const std::string address = server + "checktessary.php3?v=" + VersionText(v);
  std::string answer;
  TransferOptions o = options;
  o.maxBytes = 1024;
  const int result = DownloadText(address, answer, true, o);
  // The first 1024 bytes are all that is read of the answer.
  if (result != 0 && !(result == kTransferTooLarge && !answer.empty())) {
    Trace("QueryLatestVersion %s: %s", address.c_str(), DownloadErrorText(result).c_str());
    return false;
  }
  return ParseVersionAnswer(answer, version, news);
}

}  // namespace tessary
