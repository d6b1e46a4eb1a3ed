// A tiny HTTP server for tests, on the loopback address at a free port:
// it serves canned answers by path, and can stall, cut an answer short,
// redirect or close without a word; over TLS with a certificate of its own
// when asked. One connection at a time, in a thread of its own; every
// request it saw is recorded.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace testenv {

class HttpTestServer {
 public:
  struct Reply {
    enum class Kind {
      Normal,    // status, headers, body
      Stall,     // headers of a long body, then nothing until the client leaves
      Truncate,  // announces the whole body, sends half of it and closes
      Close,     // closes the connection without an answer
    };
    int status = 200;
    std::string body;
    Kind kind = Kind::Normal;
    std::string location;  // sent as "Location" when not empty
  };
  struct Request {
    std::string target;  // path and query as sent
    std::string path;    // without the query
    std::string userAgent;
    std::string headers;  // the whole request head
  };

  // Listens on 127.0.0.1 at a port the system picks; port() is 0 when it
  // could not. With tls, it speaks HTTPS with a self-signed certificate
  // for 127.0.0.1, written to certificateFile().
  explicit HttpTestServer(bool tls = false);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  // "http://127.0.0.1:<port>/" ("https://" with TLS).
  std::string base() const;
  const std::string& certificateFile() const { return m_certificateFile; }
  int port() const { return m_port; }

  // The answer for a path (without query); unknown paths get 404.
  void Set(const std::string& path, Reply reply);
  void Set(const std::string& path, const std::string& body) {
    Set(path, Reply{200, body, Reply::Kind::Normal, {}});
  }
  void Remove(const std::string& path);

  std::vector<Request> requests() const;

 private:
  void run();
  void serve(int client);
  bool setUpTls();

  int m_listen = -1;
  int m_wake[2] = {-1, -1};
  int m_port = 0;
  SSL_CTX* m_tls = nullptr;
  std::string m_certificateFile;
  mutable std::mutex m_mutex;
  std::map<std::string, Reply> m_replies;
  std::vector<Request> m_requests;
  std::thread m_thread;
};

}  // namespace testenv
