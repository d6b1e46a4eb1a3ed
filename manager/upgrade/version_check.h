// The version check: the latest release as the project's version-check page
// tells it. Stands alone, holds no state and may run on any thread.
#pragma once

#include <string>

#include "manager/upgrade/download.h"

namespace tessary {

// Asks the version-check page on server (an address ending with "/") for
// the latest release: "checktessary.php3?v=<a.b.c.d>" with the version of
// programPath. True when the answer (status 200, at most its first 1024
// bytes) holds "TessaryVersion": version is then what follows
// "TessaryVersion=" at its very beginning up to white space (at most 49
// characters; "" when it does not begin so), news what follows its first
// line feed (at most 99 characters).
bool QueryLatestVersion(const std::string& server, const std::string& programPath, std::string& version,
                        std::string& news, const TransferOptions& options = {});

}  // namespace tessary
