#include "download/remote_size.h"

#include "download/http_transfer.h"
#include "platform/http_client.h"

uint64_t GetRemoteFileSize(CString url) {
  std::unique_ptr<CHttpRequest> request = CHttpRequest::Open(url);
  // Dropping the request closes the connection with the body unread.
  return GetContentLength(request.get());
}
