#include "support/nginx_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/scripted_http_server.h"

namespace {

bool CanConnect(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

std::string Configuration(const std::string& prefix, int port, int tlsPort, std::string extra) {
  const std::string placeholder = "@TLS_PORT@";
  for (size_t at; (at = extra.find(placeholder)) != std::string::npos;) {
    extra.replace(at, placeholder.size(), std::to_string(tlsPort));
  }
  std::string tls;
  if (tlsPort > 0) {
    tls = "    listen 127.0.0.1:" + std::to_string(tlsPort) + " ssl;\n" + "    ssl_certificate " +
          prefix + "/cert.pem;\n" + "    ssl_certificate_key " + prefix + "/key.pem;\n";
  }
  return "daemon off;\n"
         "master_process off;\n"
         "worker_processes 1;\n"
         "pid " +
         prefix +
         "/nginx.pid;\n"
         "error_log " +
         prefix +
         "/error.log warn;\n"
         "events { worker_connections 64; }\n"
         "http {\n"
         "  log_format plain '\"$request\" \"$http_user_agent\" $status';\n"
         "  access_log " +
         prefix +
         "/access.log plain;\n"
         "  client_body_temp_path " +
         prefix +
         "/temp/body;\n"
         "  proxy_temp_path " +
         prefix +
         "/temp/proxy;\n"
         "  fastcgi_temp_path " +
         prefix +
         "/temp/fastcgi;\n"
         "  uwsgi_temp_path " +
         prefix +
         "/temp/uwsgi;\n"
         "  scgi_temp_path " +
         prefix +
         "/temp/scgi;\n"
         "  default_type application/octet-stream;\n"
         "  types { text/html html; }\n"
         "  sendfile on;\n"
         "  server {\n"
         "    listen 127.0.0.1:" +
         std::to_string(port) +
         ";\n"
         "    root " +
         prefix + "/www;\n" + tls + extra +
         "\n  }\n"
         "}\n";
}

}  // namespace

bool CNginxServer::IsInstalled() { return ::access(kProgram, X_OK) == 0; }

CNginxServer::CNginxServer(const std::string& extraLocations, bool withTls) {
  MakeFolders(m_folder.Sub("www"));
  MakeFolders(m_folder.Sub("temp"));
  if (withTls && !MakeCertificate()) return;
  // The ports are free when chosen; another process may take one first, so try a few times.
  for (int attempt = 0; attempt < 3 && !IsRunning(); ++attempt) {
    if (Start(extraLocations, withTls)) break;
  }
}

CNginxServer::~CNginxServer() { Stop(); }

std::string CNginxServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string CNginxServer::TlsUrl(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(m_tlsPort) + path;
}

bool CNginxServer::MakeCertificate() {
  if (::access(kOpenSsl, X_OK) != 0) {
    m_startError = std::string(kOpenSsl) + " is not installed";
    return false;
  }
  const std::string command = std::string(kOpenSsl) +
                              " req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                              " -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1"
                              " -keyout " +
                              m_folder.Sub("key.pem") + " -out " + m_folder.Sub("cert.pem") +
                              " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    m_startError = "openssl could not make a certificate";
    return false;
  }
  return true;
}

std::string CNginxServer::AccessLog() const {
  return ReadFile(m_folder.Sub("access.log")).value_or("");
}

bool CNginxServer::Start(const std::string& extraLocations, bool withTls) {
  if (!IsInstalled()) {
    m_startError = std::string(kProgram) + " is not installed";
    return false;
  }
  const std::string prefix = m_folder.path();
  m_port = CScriptedHttpServer::UnusedPort();
  m_tlsPort = withTls ? CScriptedHttpServer::UnusedPort() : 0;
  const std::string config = prefix + "/nginx.conf";
  WriteFile(config, Configuration(prefix, m_port, m_tlsPort, extraLocations));
  const std::string errorLog = prefix + "/error.log";

  pid_t child = ::fork();
  if (child < 0) {
    m_startError = "fork failed";
    return false;
  }
  if (child == 0) {
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::execl(kProgram, kProgram, "-p", (prefix + "/").c_str(), "-e", errorLog.c_str(), "-c",
            config.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) {
      m_startError = "nginx ended at start: " + ReadFile(errorLog).value_or("(no error log)");
      return false;
    }
    if (CanConnect(m_port) && (m_tlsPort == 0 || CanConnect(m_tlsPort))) {
      m_pid = child;
      m_startError.clear();
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  m_startError =
      "nginx did not listen within 10 s: " + ReadFile(errorLog).value_or("(no error log)");
  return false;
}

void CNginxServer::Stop() {
  if (m_pid <= 0) return;
  ::kill(m_pid, SIGTERM);
  ::waitpid(m_pid, nullptr, 0);
  m_pid = -1;
}
