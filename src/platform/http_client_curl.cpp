// The HTTP client over libcurl's multi interface. The transfer runs only while the caller waits
// in Open or Read; the write callback stores what arrives in one bounded buffer and pauses the
// transfer when that buffer is full, so that libcurl stops reading from the socket until the
// caller has taken the bytes.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/http_client.h"
#include "platform/text.h"
#include "platform/timing.h"

namespace {

constexpr const char* kUserAgent = "Corvanel Downloader";
constexpr long kMaxRedirects = 10;

// Blanks and control characters are escaped as a browser would, so that a site or a remote path
// written with a blank still names its file; everything else goes to the server as written.
std::string EscapeUrl(const std::string& url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(url.size());
  for (unsigned char c : url) {
    if (c <= 0x20 || c == 0x7F) {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 0x0F];
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}
// libcurl's receive buffer, and the room the body has before the transfer pauses.
constexpr long kReceiveBufferSize = 64 * 1024;
constexpr size_t kBodyBufferSize = 4 * kReceiveBufferSize;

using Clock = std::chrono::steady_clock;

thread_local std::string g_lastOpenError;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool StartsWithNoCase(const char* text, size_t length, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (length < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = text[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// A Content-Length value: decimal digits with optional blanks around them, nothing else.
std::optional<uint64_t> ParseContentLength(const char* text, size_t length) {
  size_t i = 0;
  while (i < length && (text[i] == ' ' || text[i] == '\t')) ++i;
  size_t end = length;
  while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r' ||
                     text[end - 1] == '\n')) {
    --end;
  }
  if (i == end) return std::nullopt;
  uint64_t value = 0;
  for (; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

struct CHttpRequest::Impl {
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  curl_slist* requestHeaders = nullptr;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  std::string errorText;

  std::vector<char> body;
  size_t bodyBegin = 0;
  size_t bodyEnd = 0;
  bool paused = false;

  // Every byte that came in, headers included: the stall clock restarts when it moves.
  uint64_t received = 0;
  bool bodyStarted = false;
  bool connected = false;

  // Of the response whose headers are being read, then of the final one.
  std::optional<uint64_t> contentLength;
  bool hasLocation = false;
  bool finalHeaders = false;
  long statusCode = 0;

  bool done = false;
  CURLcode result = CURLE_OK;

  ~Impl() {
    if (multi && easy) curl_multi_remove_handle(multi, easy);
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    if (requestHeaders) curl_slist_free_all(requestHeaders);
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    size_t length = size * count;
    self->received += length;
    if (StartsWithNoCase(data, length, "http/")) {
      // A new response begins (after a redirect or an interim 1xx answer).
      self->contentLength.reset();
      self->hasLocation = false;
    } else if (StartsWithNoCase(data, length, "content-length:")) {
      self->contentLength = ParseContentLength(data + 15, length - 15);
    } else if (StartsWithNoCase(data, length, "location:")) {
      self->hasLocation = true;
    } else if ((length == 2 && data[0] == '\r') || (length == 1 && data[0] == '\n')) {
      long code = 0;
      curl_easy_getinfo(self->easy, CURLINFO_RESPONSE_CODE, &code);
      // An interim answer, or a redirect that libcurl is about to follow, is not the response.
      bool redirect = code >= 300 && code < 400 && self->hasLocation;
      if (code >= 200 && !redirect) {
        self->finalHeaders = true;
        self->statusCode = code;
      }
    }
    return length;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    size_t length = size * count;
    if (length == 0) return 0;
    if (!self->bodyStarted) {
      // A body reached us, so whatever headers came last were the final ones.
      self->bodyStarted = true;
      if (!self->finalHeaders) {
        self->finalHeaders = true;
        curl_easy_getinfo(self->easy, CURLINFO_RESPONSE_CODE, &self->statusCode);
      }
    }
    if (self->bodyBegin == self->bodyEnd) self->bodyBegin = self->bodyEnd = 0;
    if (self->body.size() - self->bodyEnd < length && self->bodyBegin > 0) {
      std::memmove(self->body.data(), self->body.data() + self->bodyBegin,
                   self->bodyEnd - self->bodyBegin);
      self->bodyEnd -= self->bodyBegin;
      self->bodyBegin = 0;
    }
    if (self->body.size() - self->bodyEnd < length) {
      if (self->bodyEnd > 0) {
        self->paused = true;
        return CURL_WRITEFUNC_PAUSE;
      }
      // A piece larger than the whole buffer: libcurl never hands over more than its own
      // buffer holds, so this growth is bounded too.
      self->body.resize(length);
    }
    std::memcpy(self->body.data() + self->bodyEnd, data, length);
    self->bodyEnd += length;
    self->received += length;
    return length;
  }

  void Fail(CURLcode code, const std::string& text) {
    done = true;
    result = code;
    errorText = text;
  }

  void CollectResult() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE || message->easy_handle != easy) continue;
      done = true;
      result = message->data.result;
      if (result != CURLE_OK) {
        errorText = errorBuffer[0] ? errorBuffer : curl_easy_strerror(result);
      }
    }
  }

  // Runs the transfer until ready() holds or the transfer has ended. A transfer that receives
  // nothing for the stall time fails.
  void RunUntil(const std::function<bool()>& ready) {
    const auto stall = TimingSettings().stallTimeout;
    auto deadline = Clock::now() + stall;
    // libcurl itself limits the connection; the stall clock starts once it stands.
    if (!connected) deadline += TimingSettings().connectTimeout;
    uint64_t seen = received;
    while (!ready() && !done) {
      int running = 0;
      CURLMcode code = curl_multi_perform(multi, &running);
      if (code != CURLM_OK) {
        Fail(CURLE_RECV_ERROR, curl_multi_strerror(code));
        return;
      }
      CollectResult();
      if (ready() || done) return;
      auto now = Clock::now();
      if (!connected) {
        curl_off_t connectTime = 0;
        curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectTime);
        if (connectTime > 0 || received > 0) {
          connected = true;
          deadline = now + stall;
        }
      }
      if (received != seen) {
        seen = received;
        deadline = now + stall;
      }
      if (now >= deadline) {
        Fail(CURLE_OPERATION_TIMEDOUT,
             "no data arrived for " + std::to_string(stall.count()) + " ms");
        return;
      }
      auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
      int waitMs = static_cast<int>(std::clamp<long long>(wait, 1, 1000));
      curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
    }
  }

  bool Setup(const CString& url) {
    easy = curl_easy_init();
    multi = curl_multi_init();
    if (!easy || !multi) return false;
    body.resize(kBodyBufferSize);
    requestHeaders = curl_slist_append(requestHeaders, "Pragma: no-cache");
    requestHeaders = curl_slist_append(requestHeaders, "Cache-Control: no-cache");
    if (!requestHeaders) return false;
    std::string utf8Url = EscapeUrl(ToUtf8(url));
    bool ok = SetRequestOptions(utf8Url) && SetRedirectOptions() && SetTimeOutOptions() &&
              SetCallbackOptions();
    return ok && curl_multi_add_handle(multi, easy) == CURLM_OK;
  }

  bool SetRequestOptions(const std::string& utf8Url) {
    return curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_URL, utf8Url.c_str()) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_HTTPHEADER, requestHeaders) == CURLE_OK &&
           // Proxies come from the environment, which libcurl reads itself; tunnels through
           // them must not look like responses.
           curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize) == CURLE_OK;
  }

  bool SetRedirectOptions() {
    return curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  }

  bool SetTimeOutOptions() {
    long connectMs = static_cast<long>(TimingSettings().connectTimeout.count());
    return curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, std::max(connectMs, 1L)) == CURLE_OK;
  }

  bool SetCallbackOptions() {
    return curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_HEADERDATA, this) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_WRITEDATA, this) == CURLE_OK;
  }
};

CHttpRequest::CHttpRequest(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

CHttpRequest::~CHttpRequest() = default;

std::unique_ptr<CHttpRequest> CHttpRequest::Open(const CString& url) {
  InitCurlOnce();
  auto impl = std::make_unique<Impl>();
  if (!impl->Setup(url)) {
    g_lastOpenError = "cannot set up the request";
    return nullptr;
  }
  Impl* state = impl.get();
  state->RunUntil([state] { return state->finalHeaders; });
  if (!state->finalHeaders && state->done && state->result == CURLE_OK) {
    // A redirect that libcurl chose not to follow, without a body: it is the response.
    state->finalHeaders = true;
    curl_easy_getinfo(state->easy, CURLINFO_RESPONSE_CODE, &state->statusCode);
  }
  if (!state->finalHeaders) {
    g_lastOpenError = state->errorText.empty() ? "no response" : state->errorText;
    return nullptr;
  }
  return std::unique_ptr<CHttpRequest>(new CHttpRequest(std::move(impl)));
}

std::optional<uint64_t> CHttpRequest::GetContentLength() const { return m_impl->contentLength; }

long CHttpRequest::GetStatusCode() const { return m_impl->statusCode; }

bool CHttpRequest::Read(void* buffer, size_t size, size_t& count) {
  Impl& state = *m_impl;
  count = 0;
  if (size == 0) return true;
  if (state.bodyBegin == state.bodyEnd) {
    if (state.paused && !state.done) {
      state.paused = false;
      // Hands back the piece that was refused; it fits now that the buffer is empty.
      CURLcode code = curl_easy_pause(state.easy, CURLPAUSE_CONT);
      if (code != CURLE_OK) state.Fail(code, curl_easy_strerror(code));
    }
    state.RunUntil([&state] { return state.bodyBegin != state.bodyEnd; });
  }
  if (state.bodyBegin != state.bodyEnd) {
    count = std::min(size, state.bodyEnd - state.bodyBegin);
    std::memcpy(buffer, state.body.data() + state.bodyBegin, count);
    state.bodyBegin += count;
    return true;
  }
  return state.done && state.result == CURLE_OK;
}

const std::string& CHttpRequest::GetErrorText() const { return m_impl->errorText; }

std::string GetLastOpenError() { return g_lastOpenError; }
