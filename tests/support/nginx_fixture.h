// A real nginx (Debian's package) for tests, on a free port of 127.0.0.1, with a configuration
// of ours in a fresh folder: static files under WwwFolder(), nginx's own error pages, an access
// log the tests can read, and whatever locations the test adds. It runs in the foreground as a
// single process and is stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <string>

#include "support/temp_folder.h"

class CNginxServer {
 public:
  static constexpr const char* kProgram = "/usr/sbin/nginx";
  static bool IsInstalled();

  static constexpr const char* kOpenSsl = "/usr/bin/openssl";

  // extraLocations: nginx directives placed in the server block (redirects, say); "@TLS_PORT@"
  // in them stands for the https port. withTls: the same files are served over https too, with
  // a self-signed certificate that no certificate store trusts.
  explicit CNginxServer(const std::string& extraLocations = "", bool withTls = false);
  ~CNginxServer();
  CNginxServer(const CNginxServer&) = delete;
  CNginxServer& operator=(const CNginxServer&) = delete;

  // False when nginx could not be started; the reason is in StartError().
  bool IsRunning() const { return m_pid > 0; }
  const std::string& StartError() const { return m_startError; }

  // Where the served files lie: a request for "/a/b" answers WwwFolder() + "/a/b".
  std::string WwwFolder() const { return m_folder.Sub("www"); }
  std::string Url(const std::string& path) const;
  int Port() const { return m_port; }
  // "https://127.0.0.1:<https port>" + path
  std::string TlsUrl(const std::string& path) const;
  // The access log: one line per request, "<request line>" "<user agent>" <status>.
  std::string AccessLog() const;

 private:
  bool Start(const std::string& extraLocations, bool withTls);
  bool MakeCertificate();
  void Stop();

  CTempFolder m_folder;
  pid_t m_pid = -1;
  int m_port = 0;
  int m_tlsPort = 0;
  std::string m_startError;
};
