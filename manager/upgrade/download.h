// Transfers from the project's servers over HTTP or HTTPS (libcurl): a
// file into a temporary file, or a short answer into memory. Each call
// stands alone, holds no state between calls and may run on any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tessary {

// The agent name every request carries.
inline constexpr std::string_view kUserAgent = "Tessary Manager";
// Prefix of the temporary files of DownloadFile.
inline constexpr std::string_view kTempPrefix = "Tessary";

// Results of DownloadFile besides 0 and an HTTP status: a system error
// (errno, below 100), 2 when the temporary file cannot be created, or one
// of these (the transfer's own failures, kTransferErrorBase plus the
// library's code).
inline constexpr int kTransferErrorBase = 10000;
inline constexpr int kCannotCreateTemp = 2;
// The transfer was stopped by its cancel flag.
inline constexpr int kTransferCancelled = kTransferErrorBase + 42;
// The body grew beyond TransferOptions::maxBytes.
inline constexpr int kTransferTooLarge = kTransferErrorBase + 63;

struct TransferOptions {
  // A transfer that moves no byte for this long ends with an error (also
  // the longest wait for the connection).
  long stallSeconds = 30;
  // Largest body accepted; 0 for no limit.
  std::uint64_t maxBytes = 0;
  // Set from another thread to stop the transfer.
  const std::atomic<bool>* cancel = nullptr;
  // Called as the body arrives: bytes so far and the announced total (0
  // when unknown). Runs on the transfer's thread.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
  // Folder of the temporary files; "" for the system's ($TMPDIR or /tmp).
  std::string tempFolder;
  // Certificate authorities to trust for https (a PEM file) in place of the
  // system's; "" for the system's.
  std::string caFile;
};

// Downloads address into a new temporary file (prefix "Tessary") and names
// it in tempPath. Always fresh from the server (no cache), redirects
// followed only when followRedirects is set (at most 10, and an https
// address never lands on plain http). 0 on success; else the HTTP status
// when it is not 200, 2 when the temporary file cannot be created, errno
// when it cannot be written (a full disk), or kTransferErrorBase plus the
// transfer's error (no connection, certificate refused, stalled, cut
// short). On failure no temporary file is left; on success the caller
// deletes it.
int DownloadFile(const std::string& address, std::string& tempPath, bool followRedirects,
                 const TransferOptions& options = {});

// A text for a result of DownloadFile, for logs and messages.
std::string DownloadErrorText(int result);

// The text escaped for a query string (every byte but letters, digits and
// "-._~" as %XX).
std::string UrlEscape(std::string_view text);

// Fetches address into text: the body of a 200 answer, redirects followed
// as by DownloadFile. With options.maxBytes set, a longer body ends with
// kTransferTooLarge and text keeps its first maxBytes bytes. 0, or a
// result as of DownloadFile.
int DownloadText(const std::string& address, std::string& text, bool followRedirects,
                 const TransferOptions& options = {});

}  // namespace tessary
