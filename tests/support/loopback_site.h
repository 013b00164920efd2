// A small HTTP/1.1 server on 127.0.0.1 for the setup runs: it serves the descriptions and
// the listed files, and can be told to misbehave on a path. One connection at a time, each
// closed after its reply, on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CLoopbackSite {
 public:
  struct Reply {
    int status = 200;
    std::string body;
    // Without it the reply carries no Content-Length and ends when the connection closes.
    bool withLength = true;
    // When not negative, the Content-Length announced in place of the body's size.
    int64_t announcedLength = -1;
    // Close the connection without any reply (the client sees the request fail at once).
    bool hangUp = false;
  };

  // Listens on 127.0.0.1:port; 0 picks a free port.
  explicit CLoopbackSite(uint16_t port = 0);
  ~CLoopbackSite();
  CLoopbackSite(const CLoopbackSite&) = delete;
  CLoopbackSite& operator=(const CLoopbackSite&) = delete;

  bool IsListening() const { return m_listenFd >= 0; }
  uint16_t Port() const { return m_port; }
  // "127.0.0.1:port"
  std::string Host() const;

  // Every GET of path gets the body with its Content-Length.
  void Serve(const std::string& path, const std::string& body);
  // GETs of path get the replies in turn; the last one repeats.
  void Script(const std::string& path, std::vector<Reply> replies);
  // The paths asked for so far, in order.
  std::vector<std::string> Requests() const;
  // How many times path was asked for.
  int CountRequests(const std::string& path) const;

 private:
  void Run();
  void Answer(int connection);

  int m_listenFd = -1;
  int m_stopPipe[2] = {-1, -1};
  uint16_t m_port = 0;
  mutable std::mutex m_mutex;
  std::map<std::string, std::vector<Reply>> m_routes;
  std::map<std::string, size_t> m_served;
  std::vector<std::string> m_requests;
  std::thread m_thread;
};
