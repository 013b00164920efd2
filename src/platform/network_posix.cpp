#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include "platform/network.h"

namespace {

std::optional<bool>& ConnectedStateOverride() {
  static std::optional<bool> answer;
  return answer;
}

}  // namespace

bool InternetGetConnectedState() {
  if (ConnectedStateOverride()) return *ConnectedStateOverride();
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool connected = false;
  for (const ifaddrs* entry = list; entry && !connected; entry = entry->ifa_next) {
    if (!entry->ifa_addr) continue;
    int family = entry->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    if (!(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK)) continue;
    connected = true;
  }
  freeifaddrs(list);
  return connected;
}

void SetConnectedStateOverride(std::optional<bool> answer) { ConnectedStateOverride() = answer; }
