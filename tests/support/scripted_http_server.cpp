#include "support/scripted_http_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

// A prime period, so that the pattern does not line up with any buffer size.
constexpr size_t kPatternPeriod = 65521;

const std::array<char, kPatternPeriod>& Pattern() {
  static const std::array<char, kPatternPeriod> pattern = [] {
    std::array<char, kPatternPeriod> bytes{};
    uint32_t state = 2463534242u;
    for (char& byte : bytes) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      byte = static_cast<char>(state & 0xFF);
    }
    return bytes;
  }();
  return pattern;
}

// Parses "METHOD target HTTP/1.1" and the header lines of a request head.
CRecordedRequest ParseRequest(const std::string& head) {
  CRecordedRequest request;
  size_t lineEnd = head.find("\r\n");
  std::string first = head.substr(0, lineEnd);
  size_t space1 = first.find(' ');
  size_t space2 = first.find(' ', space1 == std::string::npos ? 0 : space1 + 1);
  if (space1 != std::string::npos) {
    request.method = first.substr(0, space1);
    request.target = first.substr(
        space1 + 1, space2 == std::string::npos ? std::string::npos : space2 - space1 - 1);
  }
  size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
  while (at < head.size()) {
    size_t end = head.find("\r\n", at);
    if (end == std::string::npos) end = head.size();
    std::string line = head.substr(at, end - at);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      request.headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
    }
    at = end + 2;
  }
  return request;
}

}  // namespace

std::string CRecordedRequest::Header(const std::string& name) const {
  for (const auto& header : headers) {
    if (Lower(header.first) == Lower(name)) return header.second;
  }
  return std::string();
}

int CRecordedRequest::HeaderCount(const std::string& name) const {
  return static_cast<int>(std::count_if(headers.begin(), headers.end(), [&](const auto& header) {
    return Lower(header.first) == Lower(name);
  }));
}

char GeneratedByte(uint64_t offset) { return Pattern()[offset % kPatternPeriod]; }

bool CScriptedConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (m_server.Stopping()) return false;
    ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

bool CScriptedConnection::SendHead(int status, const std::vector<std::string>& headerLines) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
  for (const std::string& line : headerLines) head += line + "\r\n";
  head += "Connection: close\r\n\r\n";
  return Send(head);
}

bool CScriptedConnection::Pause(std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> lock(m_server.m_mutex);
  return !m_server.m_stopped.wait_for(lock, duration, [this] { return m_server.Stopping(); });
}

namespace scripts {

CScript Body(std::string body, int status) {
  return [body, status](CScriptedConnection& connection, const CRecordedRequest&) {
    if (connection.SendHead(status, {"Content-Length: " + std::to_string(body.size())})) {
      connection.Send(body);
    }
  };
}

CScript Chunked(std::string body) {
  return [body](CScriptedConnection& connection, const CRecordedRequest&) {
    if (!connection.SendHead(200, {"Transfer-Encoding: chunked"})) return;
    // Pieces of 1000 bytes, so that a body spans several chunks.
    for (size_t at = 0; at < body.size(); at += 1000) {
      std::string piece = body.substr(at, 1000);
      char size[32];
      std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
      if (!connection.Send(size) || !connection.Send(piece) || !connection.Send("\r\n")) return;
    }
    connection.Send("0\r\n\r\n");
  };
}

CScript Announce(uint64_t contentLength, std::string body) {
  return [contentLength, body](CScriptedConnection& connection, const CRecordedRequest&) {
    if (connection.SendHead(200, {"Content-Length: " + std::to_string(contentLength)})) {
      connection.Send(body);
    }
  };
}

CScript Stall(uint64_t contentLength, std::string firstPart, std::chrono::milliseconds pause) {
  return [=](CScriptedConnection& connection, const CRecordedRequest&) {
    if (connection.SendHead(200, {"Content-Length: " + std::to_string(contentLength)}) &&
        connection.Send(firstPart)) {
      connection.Pause(pause);
    }
  };
}

CScript Pieces(std::vector<std::string> pieces, std::chrono::milliseconds gap) {
  return [pieces, gap](CScriptedConnection& connection, const CRecordedRequest&) {
    size_t total = 0;
    for (const std::string& piece : pieces) total += piece.size();
    if (!connection.SendHead(200, {"Content-Length: " + std::to_string(total)})) return;
    for (size_t i = 0; i < pieces.size(); ++i) {
      if (i > 0 && !connection.Pause(gap)) return;
      if (!connection.Send(pieces[i])) return;
    }
  };
}

CScript Redirect(std::string location, int status) {
  return [location, status](CScriptedConnection& connection, const CRecordedRequest&) {
    std::string body = "moved";
    connection.SendHead(
        status, {"Location: " + location, "Content-Length: " + std::to_string(body.size())});
    connection.Send(body);
  };
}

CScript Generated(uint64_t size) {
  return [size](CScriptedConnection& connection, const CRecordedRequest&) {
    if (!connection.SendHead(200, {"Content-Length: " + std::to_string(size)})) return;
    const auto& pattern = Pattern();
    // Whole periods per send; the offset into the pattern carries over between sends.
    std::string block(pattern.begin(), pattern.end());
    block += block;
    uint64_t sent = 0;
    while (sent < size) {
      size_t phase = static_cast<size_t>(sent % kPatternPeriod);
      size_t count = static_cast<size_t>(std::min<uint64_t>(kPatternPeriod, size - sent));
      if (!connection.Send(std::string_view(block).substr(phase, count))) return;
      sent += count;
    }
  };
}

CScript UntilClose(std::string body) {
  return [body](CScriptedConnection& connection, const CRecordedRequest&) {
    if (connection.SendHead(200, {})) connection.Send(body);
  };
}

CScript HangUp() {
  return [](CScriptedConnection&, const CRecordedRequest&) {};
}

CScript Sequence(std::vector<CScript> replies) {
  auto served = std::make_shared<std::atomic<size_t>>(0);
  return [replies, served](CScriptedConnection& connection, const CRecordedRequest& request) {
    if (replies.empty()) return Body("no script for " + request.target, 404)(connection, request);
    replies[std::min(served->fetch_add(1), replies.size() - 1)](connection, request);
  };
}

}  // namespace scripts

CScriptedHttpServer::CScriptedHttpServer(int port) {
  m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t length = sizeof address;
  int yes = 1;
  // A fixed port is taken again by the next test while the last one's connections linger.
  if (m_listenFd < 0 || ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
      ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(m_listenFd, 64) != 0 ||
      ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ADD_FAILURE() << "the scripted server cannot listen on 127.0.0.1:" << port << ": "
                  << std::strerror(errno);
    if (m_listenFd >= 0) ::close(m_listenFd);
    m_listenFd = -1;
    return;
  }
  m_port = ntohs(address.sin_port);
  m_acceptThread = std::thread([this] { AcceptLoop(); });
}

CScriptedHttpServer::~CScriptedHttpServer() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    // Wakes connections that wait for a peer that does not read.
    for (int fd : m_openFds) ::shutdown(fd, SHUT_RDWR);
  }
  m_stopped.notify_all();
  if (m_listenFd >= 0) ::shutdown(m_listenFd, SHUT_RDWR);
  if (m_acceptThread.joinable()) m_acceptThread.join();
  if (m_listenFd >= 0) ::close(m_listenFd);
  std::vector<std::thread> connections;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    connections.swap(m_connections);
  }
  for (std::thread& connection : connections) connection.join();
}

std::string CScriptedHttpServer::Host() const { return "127.0.0.1:" + std::to_string(m_port); }

std::string CScriptedHttpServer::Url(const std::string& path) const {
  return "http://" + Host() + path;
}

void CScriptedHttpServer::On(const std::string& path, CScript script) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_scripts[path] = std::move(script);
}

std::vector<CRecordedRequest> CScriptedHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

std::vector<std::string> CScriptedHttpServer::Targets() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string> targets;
  for (const CRecordedRequest& request : m_requests) targets.push_back(request.target);
  return targets;
}

int CScriptedHttpServer::CountRequests(const std::string& target) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(std::count_if(m_requests.begin(), m_requests.end(),
                                        [&](const auto& r) { return r.target == target; }));
}

int CScriptedHttpServer::UnusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd >= 0) ::close(fd);
  return port;
}

void CScriptedHttpServer::AcceptLoop() {
  for (;;) {
    int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stop) {
      ::close(fd);
      return;
    }
    m_openFds.insert(fd);
    m_connections.emplace_back([this, fd] { Serve(fd); });
  }
}

void CScriptedHttpServer::Serve(int fd) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && !Stopping()) {
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, 100) <= 0) continue;
    ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    head.append(buffer, static_cast<size_t>(got));
  }
  size_t headEnd = head.find("\r\n\r\n");
  if (headEnd != std::string::npos) {
    CRecordedRequest request = ParseRequest(head.substr(0, headEnd + 2));
    CScript script;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_requests.push_back(request);
      auto found = m_scripts.find(request.target);
      if (found != m_scripts.end()) script = found->second;
    }
    if (!script) script = scripts::Body("no script for " + request.target, 404);
    CScriptedConnection connection(*this, fd);
    script(connection, request);
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  m_openFds.erase(fd);
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}
