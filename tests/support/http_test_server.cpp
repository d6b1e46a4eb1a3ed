#include "support/http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

HttpTestServer::HttpTestServer() {
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
}

std::string HttpTestServer::base() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

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
  // The request head, until the blank line (bodies are not expected).
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd fds[2] = {{client, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, 10000) <= 0 || fds[1].revents != 0) return;
    char buffer[4096];
    const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
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
      SendAll(client, answer + reply.body);
      break;
    case Reply::Kind::Truncate:
      SendAll(client, answer + reply.body.substr(0, reply.body.size() / 2));
      break;
    case Reply::Kind::Stall: {
      SendAll(client, answer + reply.body);
      // Nothing more until the client gives up or the server stops.
      for (;;) {
        pollfd fds[2] = {{client, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents != 0) return;
        if (fds[0].revents != 0) {
          char buffer[256];
          if (::recv(client, buffer, sizeof buffer, 0) <= 0) return;
        }
      }
    }
    case Reply::Kind::Close:
      break;
  }
}

}  // namespace testenv
