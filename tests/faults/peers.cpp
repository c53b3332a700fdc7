#include "faults/peers.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "app/clock.h"

namespace orvane::test {
namespace {

void WakeUp(int fd) {
  const uint64_t one = 1;
  (void)!::write(fd, &one, sizeof one);
}

}  // namespace

SilentTcpServer::SilentTcpServer(uint16_t port) : wake_(::eventfd(0, EFD_CLOEXEC)) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int one = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t size = sizeof address;
  if (!fd || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd.get(), 4) != 0 || ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
  listener_ = std::move(fd);
  thread_ = std::thread([this] { Run(); });
}

SilentTcpServer::~SilentTcpServer() { Stop(); }

void SilentTcpServer::Stop() {
  if (thread_.joinable()) {
    WakeUp(wake_.get());
    thread_.join();
  }
  listener_.reset();
}

void SilentTcpServer::Run() {
  std::vector<UniqueFd> clients;
  for (;;) {
    std::vector<pollfd> fds{{wake_.get(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
    for (const UniqueFd& client : clients) fds.push_back({client.get(), POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) continue;
    if (fds[0].revents != 0) return;  // the connections close with `clients`
    if (fds[1].revents & POLLIN) {
      UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (client) {
        clients.push_back(std::move(client));
        accepted_.fetch_add(1);
      }
    }
    for (size_t i = 2; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      char buffer[512];
      const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
      if (n > 0) {
        received_.fetch_add(static_cast<size_t>(n));
      } else {
        clients[i - 2].reset();  // closed by the tool
      }
    }
    std::erase_if(clients, [](const UniqueFd& client) { return !client; });
  }
}

UniqueFd ConnectLoopback(uint16_t port, int realMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  for (;;) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (fd && ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (std::chrono::steady_clock::now() > deadline) return {};
    ::poll(nullptr, 0, 5);  // the server is not listening yet
  }
}

bool ClosedByPeer(int fd, int realMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
  }
  return false;
}

NoiseLine::NoiseLine() : wake_(::eventfd(0, EFD_CLOEXEC)) {}

NoiseLine::~NoiseLine() {
  stop_.store(true);
  if (thread_.joinable()) {
    WakeUp(wake_.get());
    thread_.join();
  }
}

bool NoiseLine::Start() {
  master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!master_ || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0) return false;
  char name[128];
  if (::ptsname_r(master_.get(), name, sizeof name) != 0) return false;
  path_ = name;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void NoiseLine::Run() {
  // Bytes that look like the start of a frame now and then, so that the
  // reading side has to give up on half frames too.
  static constexpr uint8_t kFrameStarts[][4] = {{0x02, 0x40, 0x00, 0x06}, {'K', 'e', 'L', 'O'}, {0x02, 0xFF, 0xFF, 0x15}};
  std::mt19937 random(7);
  std::vector<uint8_t> chunk(64);
  while (!stop_.load()) {
    for (uint8_t& byte : chunk) byte = static_cast<uint8_t>(random());
    const auto& start = kFrameStarts[random() % 3];
    std::memcpy(chunk.data() + random() % (chunk.size() - 4), start, 4);
    const ssize_t n = ::write(master_.get(), chunk.data(), chunk.size());
    if (n > 0) written_.fetch_add(static_cast<size_t>(n));
    // A chunk every few milliseconds; a full line (nobody reading) waits for room.
    pollfd fds[2] = {{wake_.get(), POLLIN, 0}, {master_.get(), POLLOUT, 0}};
    if (n > 0) {
      ::poll(fds, 1, std::max(OsWaitMs(2), 1));
    } else {
      ::poll(fds, 2, 50);
    }
  }
}

}  // namespace orvane::test
