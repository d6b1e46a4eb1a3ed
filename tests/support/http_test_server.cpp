#include "support/http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace testenv {
namespace {

bool SendAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

const char* Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

// The header's value in a request head (name without letter case), or "".
std::string HeaderValue(const std::string& head, const std::string& name) {
  std::size_t at = 0;
  while ((at = head.find("\r\n", at)) != std::string::npos) {
    at += 2;
    if (head.size() - at < name.size() + 1) break;
    if (::strncasecmp(head.c_str() + at, name.c_str(), name.size()) == 0 && head[at + name.size()] == ':') {
      std::size_t v = at + name.size() + 1;
      while (v < head.size() && head[v] == ' ') ++v;
      return head.substr(v, head.find("\r\n", v) - v);
    }
  }
  return {};
}

}  // namespace

HttpTestServer::HttpTestServer(bool tls) {
  if (tls && !setUpTls()) return;
  m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listen < 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) return;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 16) != 0 ||
      ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return;
  m_port = ntohs(a.sin_port);
  m_thread = std::thread([this] { run(); });
}

HttpTestServer::~HttpTestServer() {
  if (m_thread.joinable()) {
    const char c = 'x';
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &c, 1);
    m_thread.join();
  }
  for (const int fd : {m_listen, m_wake[0], m_wake[1]})
    if (fd >= 0) ::close(fd);
  if (m_tls != nullptr) SSL_CTX_free(m_tls);
  if (!m_certificateFile.empty()) std::remove(m_certificateFile.c_str());
}

std::string HttpTestServer::base() const {
  return (m_tls != nullptr ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_port) + "/";
}

bool HttpTestServer::setUpTls() {
  struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
  };
  struct CertFree {
    void operator()(X509* x) const { X509_free(x); }
  };
  const std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
  const std::unique_ptr<X509, CertFree> cert(X509_new());
  if (!key || !cert) return false;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                             -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1"},
                                   std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (ext == nullptr) return false;
    X509_add_ext(cert.get(), ext, -1);
    X509_EXTENSION_free(ext);
  }
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) return false;
  m_tls = SSL_CTX_new(TLS_server_method());
  if (m_tls == nullptr || SSL_CTX_use_certificate(m_tls, cert.get()) != 1 ||
      SSL_CTX_use_PrivateKey(m_tls, key.get()) != 1)
    return false;
  m_certificateFile = (std::filesystem::temp_directory_path() /
                       ("test-server-" + std::to_string(::getpid()) + "-" +
                        std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".pem"))
                          .string();
  std::FILE* f = std::fopen(m_certificateFile.c_str(), "w");
  if (f == nullptr) return false;
  const bool written = PEM_write_X509(f, cert.get()) == 1;
  return std::fclose(f) == 0 && written;
}

void HttpTestServer::Set(const std::string& path, Reply reply) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_replies[path] = std::move(reply);
}

void HttpTestServer::Remove(const std::string& path) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_replies.erase(path);
}

std::vector<HttpTestServer::Request> HttpTestServer::requests() const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

void HttpTestServer::run() {
  for (;;) {
    pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    serve(client);
    ::close(client);
  }
}

void HttpTestServer::serve(int client) {
  // Reads and writes go through TLS when the server speaks it; a read
  // waits at most 10 s, so a silent client cannot hold the server.
  timeval timeout{10, 0};
  ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
  };
  std::unique_ptr<SSL, SslFree> ssl;
  if (m_tls != nullptr) {
    ssl.reset(SSL_new(m_tls));
    if (!ssl || SSL_set_fd(ssl.get(), client) != 1 || SSL_accept(ssl.get()) != 1) return;
  }
  auto stopping = [&] {
    pollfd wake{m_wake[0], POLLIN, 0};
    return ::poll(&wake, 1, 0) > 0;
  };
  // Bytes read, 0 at the end, -1 on a failure or timeout.
  auto readSome = [&](char* buffer, std::size_t size) -> long {
    if (ssl) {
      const int n = SSL_read(ssl.get(), buffer, static_cast<int>(size));
      return n > 0 ? n : (SSL_get_error(ssl.get(), n) == SSL_ERROR_ZERO_RETURN ? 0 : -1);
    }
    pollfd fds[2] = {{client, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, 10000) <= 0 || fds[1].revents != 0) return -1;
    return ::recv(client, buffer, size, 0);
  };
  auto sendAll = [&](const std::string& data) {
    if (!ssl) return SendAll(client, data);
    return data.empty() || SSL_write(ssl.get(), data.data(), static_cast<int>(data.size())) > 0;
  };

  // The request head, until the blank line (bodies are not expected).
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    char buffer[4096];
    const long n = readSome(buffer, sizeof buffer);
    if (n <= 0) return;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  Request r;
  const std::size_t sp1 = head.find(' ');
  const std::size_t sp2 = head.find(' ', sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) return;
  r.target = head.substr(sp1 + 1, sp2 - sp1 - 1);
  r.path = r.target.substr(0, r.target.find('?'));
  r.userAgent = HeaderValue(head, "User-Agent");
  r.headers = head;
  Reply reply;
  bool found = false;
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(r);
    if (auto it = m_replies.find(r.path); it != m_replies.end()) {
      reply = it->second;
      found = true;
    }
  }
  if (!found) reply = Reply{404, "not here\n", Reply::Kind::Normal, {}};
  if (reply.kind == Reply::Kind::Close) return;

  const std::size_t announced =
      reply.kind == Reply::Kind::Stall ? reply.body.size() + 1000000 : reply.body.size();
  std::string answer = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) + "\r\n" +
                       "Content-Length: " + std::to_string(announced) + "\r\nConnection: close\r\n";
  if (!reply.location.empty()) answer += "Location: " + reply.location + "\r\n";
  answer += "\r\n";
  switch (reply.kind) {
    case Reply::Kind::Normal:
      sendAll(answer + reply.body);
      break;
    case Reply::Kind::Truncate:
      sendAll(answer + reply.body.substr(0, reply.body.size() / 2));
      break;
    case Reply::Kind::Stall: {
      sendAll(answer + reply.body);
      // Nothing more until the client gives up or the server stops.
      char buffer[256];
      while (!stopping()) {
        if (ssl) {
          if (SSL_read(ssl.get(), buffer, sizeof buffer) > 0) continue;
          if (errno == EAGAIN || errno == EWOULDBLOCK) continue;  // the read timed out
          return;
        }
        pollfd fds[2] = {{client, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[0].revents != 0 && ::recv(client, buffer, sizeof buffer, 0) <= 0) return;
      }
      break;
    }
    case Reply::Kind::Close:
      break;
  }
  if (ssl) SSL_shutdown(ssl.get());
}

}  // namespace testenv
