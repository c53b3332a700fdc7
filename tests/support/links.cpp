#include "support/links.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include "app/unique_fd.h"

namespace orvane::test {

const char* LinkName(Link link) {
  static constexpr const char* kNames[] = {"Tcp", "Tls", "Serial", "Hid"};
  return kNames[static_cast<int>(link)];
}

uint16_t FreeLoopbackPort() {
  UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (!probe || ::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

}  // namespace orvane::test
