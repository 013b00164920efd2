// A small HTTP server on 127.0.0.1 for the tests, scripted per path, for what a well-behaved
// server will not do: bodies shorter or longer than announced, no Content-Length, connections
// closed mid-body, stalls, redirect loops, bodies larger than any disk cache. It records every
// request it receives. Each connection gets its own thread and is closed after one response.
// It listens on a free port, or on a given one where a run must find the server at a fixed
// address.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

struct CRecordedRequest {
  std::string method;
  // The request target as sent: a path, or an absolute URL when the request came to a proxy.
  std::string target;
  std::vector<std::pair<std::string, std::string>> headers;

  // The value of the first header of that name (any letter case); empty when there is none.
  std::string Header(const std::string& name) const;
  // How many headers of that name came.
  int HeaderCount(const std::string& name) const;
};

class CScriptedHttpServer;

// One accepted connection, handed to the script of the requested path.
class CScriptedConnection {
 public:
  // Sends the bytes; false when the peer is gone or the server stops.
  bool Send(std::string_view bytes);
  // Sends the status line, the given header lines and "Connection: close", then the blank line.
  bool SendHead(int status, const std::vector<std::string>& headerLines);
  // Waits, returning early (false) when the server stops.
  bool Pause(std::chrono::milliseconds duration);

 private:
  friend class CScriptedHttpServer;
  CScriptedConnection(CScriptedHttpServer& server, int fd) : m_server(server), m_fd(fd) {}
  CScriptedHttpServer& m_server;
  int m_fd;
};

using CScript = std::function<void(CScriptedConnection&, const CRecordedRequest&)>;

// Scripts for the usual answers.
namespace scripts {
// The body with its Content-Length.
CScript Body(std::string body, int status = 200);
// The body in chunked encoding, without a Content-Length.
CScript Chunked(std::string body);
// Announces contentLength, sends body (shorter or longer than that) and closes.
CScript Announce(uint64_t contentLength, std::string body);
// Announces contentLength, sends the first part, then sends nothing for the pause before it
// closes.
CScript Stall(uint64_t contentLength, std::string firstPart, std::chrono::milliseconds pause);
// Sends the body (announced whole) in these pieces, pausing between them.
CScript Pieces(std::vector<std::string> pieces, std::chrono::milliseconds gap);
// A redirect to location (absolute, or a path on this server).
CScript Redirect(std::string location, int status = 302);
// A generated body of size bytes (see GeneratedByte), streamed without being held.
CScript Generated(uint64_t size);
// The body without a Content-Length: it ends when the connection closes.
CScript UntilClose(std::string body);
// Closes the connection without any reply: the client sees the request fail at once.
CScript HangUp();
// The scripts in turn, one per request; the last one repeats. With none, a plain 404.
CScript Sequence(std::vector<CScript> replies);
}  // namespace scripts

// The byte at offset of a generated body.
char GeneratedByte(uint64_t offset);

class CScriptedHttpServer {
 public:
  // Listens on 127.0.0.1:port at once; 0 picks a free port.
  explicit CScriptedHttpServer(int port = 0);
  ~CScriptedHttpServer();
  CScriptedHttpServer(const CScriptedHttpServer&) = delete;
  CScriptedHttpServer& operator=(const CScriptedHttpServer&) = delete;

  bool IsListening() const { return m_listenFd >= 0; }
  int Port() const { return m_port; }
  // "127.0.0.1:<port>"
  std::string Host() const;
  // "http://127.0.0.1:<port>" + path
  std::string Url(const std::string& path) const;

  // The script for requests whose target is path (query included); unknown paths get a plain
  // 404 with a Content-Length.
  void On(const std::string& path, CScript script);

  // Every request received so far, in the order of arrival.
  std::vector<CRecordedRequest> Requests() const;
  // Their targets alone.
  std::vector<std::string> Targets() const;
  int CountRequests(const std::string& target) const;

  // A port of 127.0.0.1 on which nothing listens (just released by the system).
  static int UnusedPort();

 private:
  friend class CScriptedConnection;
  void AcceptLoop();
  void Serve(int fd);
  bool Stopping() const { return m_stop.load(); }

  int m_listenFd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::condition_variable m_stopped;
  std::map<std::string, CScript> m_scripts;
  std::vector<CRecordedRequest> m_requests;
  std::set<int> m_openFds;
  std::vector<std::thread> m_connections;
  std::thread m_acceptThread;
};
