#include "manager/upgrade/download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "manager/config/manager_log.h"

namespace tessary {
namespace {

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

// The library's one-time set-up, done by the first transfer of the process.
bool CurlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

// A file descriptor closed when it goes.
class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }
  // 0 or errno of the close.
  int Close() {
    if (m_fd < 0) return 0;
    const int r = ::close(m_fd);
    m_fd = -1;
    return r == 0 ? 0 : errno;
  }

 private:
  int m_fd;
};

// Where the body goes while it arrives.
struct Sink {
  CURL* curl = nullptr;
  int fd = -1;       // the temporary file, or -1 to keep the body in text
  std::string text;  // the body when fd is -1
  std::uint64_t bytes = 0;
  std::uint64_t maxBytes = 0;
  int writeError = 0;  // errno of a failed write
  bool tooLarge = false;
  const TransferOptions* options = nullptr;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t n = size * count;
  // The body of an answer other than 200 is not what was asked for: it is
  // dropped, and the status becomes the result.
  long status = 0;
  curl_easy_getinfo(sink->curl, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) return n;
  if (sink->maxBytes != 0 && sink->bytes + n > sink->maxBytes) {
    // A text keeps what fits (the version answer is read up to its limit).
    if (sink->fd < 0) sink->text.append(data, static_cast<std::size_t>(sink->maxBytes - sink->bytes));
    sink->tooLarge = true;
    return 0;
  }
  if (sink->fd < 0) {
    sink->text.append(data, n);
  } else {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(sink->fd, data + done, n - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        sink->writeError = errno;
        return 0;
      }
      done += static_cast<std::size_t>(w);
    }
  }
  sink->bytes += n;
  return n;
}

int Progress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  const auto* sink = static_cast<const Sink*>(user);
  const TransferOptions& o = *sink->options;
  if (o.cancel != nullptr && o.cancel->load()) return 1;
  if (o.progress)
    o.progress(static_cast<std::uint64_t>(now < 0 ? 0 : now),
               static_cast<std::uint64_t>(total < 0 ? 0 : total));
  return 0;
}

bool IsHttps(std::string_view address) {
  return address.size() >= 8 && (address.substr(0, 8) == "https://" || address.substr(0, 8) == "HTTPS://");
}

// Runs one GET of address into sink. 0 when the server answered 200 and the
// whole body arrived; else the HTTP status or kTransferErrorBase + code.
int Perform(const std::string& address, bool followRedirects, Sink& sink, const TransferOptions& options) {
  if (!CurlReady()) return kTransferErrorBase + CURLE_FAILED_INIT;
  CurlHandle curl(curl_easy_init());
  if (!curl) return kTransferErrorBase + CURLE_FAILED_INIT;
  CURL* c = curl.get();
  sink.curl = c;
  sink.options = &options;
  sink.maxBytes = options.maxBytes;
  // Always fresh from the server, never from a cache on the way.
  HeaderList headers(curl_slist_append(nullptr, "Cache-Control: no-cache"));
  if (headers) curl_slist_append(headers.get(), "Pragma: no-cache");
  const long stall = options.stallSeconds > 0 ? options.stallSeconds : 30;
  curl_easy_setopt(c, CURLOPT_URL, address.c_str());
  curl_easy_setopt(c, CURLOPT_USERAGENT, std::string(kUserAgent).c_str());
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  // An address that asks for TLS never ends on a plain connection.
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, IsHttps(address) ? "https" : "http,https");
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!options.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, options.caFile.c_str());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, stall);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, stall);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Progress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &sink);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  const CURLcode rc = curl_easy_perform(c);
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (sink.writeError != 0) return sink.writeError;
  if (sink.tooLarge) return kTransferTooLarge;
  if (rc == CURLE_ABORTED_BY_CALLBACK) return kTransferCancelled;
  if (rc != CURLE_OK) {
    Trace("Download %s: %s", address.c_str(), curl_easy_strerror(rc));
    return kTransferErrorBase + static_cast<int>(rc);
  }
  if (status != 200)
    return status > 0 ? static_cast<int>(status) : kTransferErrorBase + CURLE_WEIRD_SERVER_REPLY;
  return 0;
}

std::string TempFolder(const TransferOptions& options) {
  if (!options.tempFolder.empty()) return options.tempFolder;
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && tmp[0] == '/' ? std::string(tmp) : std::string("/tmp");
}

}  // namespace

int DownloadFile(const std::string& address, std::string& tempPath, bool followRedirects,
                 const TransferOptions& options) {
  tempPath.clear();
  std::string folder = TempFolder(options);
  if (folder.back() != '/') folder += '/';
  std::vector<char> name(folder.begin(), folder.end());
  const std::string pattern = std::string(kTempPrefix) + "XXXXXX";
  name.insert(name.end(), pattern.begin(), pattern.end());
  name.push_back('\0');
  Fd fd(::mkostemp(name.data(), O_CLOEXEC));
  if (fd.get() < 0) return kCannotCreateTemp;
  const std::string path(name.data());

  Sink sink;
  sink.fd = fd.get();
  int result = Perform(address, followRedirects, sink, options);
  // A write the system delays fails at the latest here (a full disk).
  if (result == 0 && ::fsync(fd.get()) != 0 && errno != EINVAL) result = errno;
  const int closeError = fd.Close();
  if (result == 0) result = closeError;
  if (result != 0) {
    ::unlink(path.c_str());
    return result;
  }
  tempPath = path;
  return 0;
}

std::string DownloadErrorText(int result) {
  if (result == 0) return "no error";
  if (result == kCannotCreateTemp) return "the temporary file cannot be created";
  if (result == kTransferCancelled) return "cancelled";
  if (result == kTransferTooLarge) return "the answer is too large";
  if (result > kTransferErrorBase)
    return curl_easy_strerror(static_cast<CURLcode>(result - kTransferErrorBase));
  if (result >= 100) return "HTTP status " + std::to_string(result);
  return std::string("system error ") + std::to_string(result);
}

std::string UrlEscape(std::string_view text) {
  // Length 0 would make libcurl measure the text up to a terminating zero.
  if (text.empty()) return {};
  // libcurl ignores the handle here (7.82 and later).
  const std::unique_ptr<char, decltype(&curl_free)> escaped(
      curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size())), &curl_free);
  if (escaped == nullptr) throw std::bad_alloc();
  return escaped.get();
}

int DownloadText(const std::string& address, std::string& text, bool followRedirects,
                 const TransferOptions& options) {
  Sink sink;
  const int result = Perform(address, followRedirects, sink, options);
  text = std::move(sink.text);
  return result;
}

}  // namespace tessary
