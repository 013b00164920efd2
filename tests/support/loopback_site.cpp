#include "support/loopback_site.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace {

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 404:
      return "Not Found";
    default:
      return "Status";
  }
}

void SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return;  // the client went away, as a size probe does
    }
  }
}

}  // namespace

CLoopbackSite::CLoopbackSite(uint16_t port) {
  if (pipe(m_stopPipe) != 0) return;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return;
  }
  m_listenFd = fd;
  m_port = ntohs(address.sin_port);
  m_thread = std::thread(&CLoopbackSite::Run, this);
}

CLoopbackSite::~CLoopbackSite() {
  if (m_thread.joinable()) {
    char stop = 's';
    ssize_t written = write(m_stopPipe[1], &stop, 1);
    (void)written;
    m_thread.join();
  }
  if (m_listenFd >= 0) close(m_listenFd);
  for (int fd : m_stopPipe) {
    if (fd >= 0) close(fd);
  }
}

std::string CLoopbackSite::Host() const { return "127.0.0.1:" + std::to_string(m_port); }

void CLoopbackSite::Serve(const std::string& path, const std::string& body) {
  Reply reply;
  reply.body = body;
  Script(path, {reply});
}

void CLoopbackSite::Script(const std::string& path, std::vector<Reply> replies) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_routes[path] = std::move(replies);
  m_served[path] = 0;
}

std::vector<std::string> CLoopbackSite::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

int CLoopbackSite::CountRequests(const std::string& path) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(std::count(m_requests.begin(), m_requests.end(), path));
}

void CLoopbackSite::Run() {
  for (;;) {
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    int connection = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Answer(connection);
    close(connection);
  }
}

void CLoopbackSite::Answer(int connection) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd fd{connection, POLLIN, 0};
    if (poll(&fd, 1, 10000) <= 0) return;
    ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.append(buffer, static_cast<size_t>(n));
  }
  // "GET /path HTTP/1.1"
  size_t start = request.find(' ');
  size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
  if (end == std::string::npos) return;
  std::string path = request.substr(start + 1, end - start - 1);

  Reply reply;
  reply.status = 404;
  reply.body = "not found";
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(path);
    auto route = m_routes.find(path);
    if (route != m_routes.end() && !route->second.empty()) {
      size_t& served = m_served[path];
      reply = route->second[std::min(served, route->second.size() - 1)];
      ++served;
    }
  }
  if (reply.hangUp) return;
  std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + ReasonPhrase(reply.status) +
                     "\r\nContent-Type: application/octet-stream\r\n";
  if (reply.withLength) {
    uint64_t length = reply.announcedLength >= 0 ? static_cast<uint64_t>(reply.announcedLength)
                                                 : reply.body.size();
    head += "Content-Length: " + std::to_string(length) + "\r\n";
  }
  head += "Connection: close\r\n\r\n";
  SendAll(connection, head + reply.body);
  shutdown(connection, SHUT_WR);
  // Let the client read to the end before the socket goes (no reset on unread request bytes).
  for (;;) {
    pollfd fd{connection, POLLIN, 0};
    if (poll(&fd, 1, 2000) <= 0 || recv(connection, buffer, sizeof buffer, 0) <= 0) break;
  }
}
