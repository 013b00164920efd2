// A pull-style HTTP client: open a URL, look at the response's headers, then take the body in
// pieces of the caller's size. The body is never held whole: the transfer pauses while the
// caller has not taken what arrived, so memory stays bounded whatever the size of the file.
//
// Every request is a GET with the user agent "Corvanel Downloader" and the request headers
// "Pragma: no-cache" and "Cache-Control: no-cache"; redirects are followed (at most 10, to http
// and https only; certificates checked against the system's store); the proxy comes from
// http_proxy, https_proxy and no_proxy; every HTTP status counts as a response. The connection
// must be made within TimingSettings().connectTimeout, and a response or body that delivers no
// byte for TimingSettings().stallTimeout while the caller waits for it fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/cstring.h"

// One request and its response, from the arrival of the headers until it is destroyed, which
// closes the connection and drops the rest of the body.
class CHttpRequest {
 public:
  // Sends the request and returns once the headers of the final response have arrived, whatever
  // its status; nullptr when no response came (no connection, a host name that does not
  // resolve, a malformed URL, a redirect loop, a time-out).
  static std::unique_ptr<CHttpRequest> Open(const CString& url);

  ~CHttpRequest();
  CHttpRequest(const CHttpRequest&) = delete;
  CHttpRequest& operator=(const CHttpRequest&) = delete;

  // The final response's Content-Length; nullopt when it carries none or one that is not a
  // decimal number.
  std::optional<uint64_t> GetContentLength() const;
  // The final response's status code.
  long GetStatusCode() const;

  // Reads the next bytes of the body, up to size, into buffer, waiting for at least one byte.
  // True with count above 0: those bytes; true with count 0: the end of the body (again on
  // every later call); false: the transfer failed (a broken connection, a body cut short of its
  // Content-Length, a stall).
  bool Read(void* buffer, size_t size, size_t& count);

  // What went wrong, in libcurl's words, after a failed Open or Read (for diagnostics).
  const std::string& GetErrorText() const;

  struct Impl;

 private:
  explicit CHttpRequest(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_impl;
};

// The text of the last failed Open on this thread (for diagnostics).
std::string GetLastOpenError();
