#include "reader-sim/sim_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "reader-sim/reply_delivery.h"
#include "reader-sim/request_scanner.h"

namespace orvane::sim {
namespace {

constexpr uint32_t kIdleWaitMs = 1000;
constexpr uint32_t kRelistenPauseMs = 200;

bool SendAll(int fd, const Bytes& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

SimTcpServer::SimTcpServer(SimulatedReader& reader, uint16_t port, std::string bindAddress)
    : reader_(reader), bindAddress_(std::move(bindAddress)), port_(port) {
  reader_.SetFraming(FrameProtocol::Header);  // the network reader always speaks header framing
}

SimTcpServer::~SimTcpServer() { Stop(); }

bool SimTcpServer::Start() {
  if (thread_.joinable()) return true;
  pause_.Reset();
  if (!Listen()) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void SimTcpServer::Stop() {
  pause_.RequestStop();
  if (thread_.joinable()) thread_.join();
  listener_.reset();
  clientConnected_.store(false);
}

bool SimTcpServer::Listen() {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return false;
  int one = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port_.load());
  if (::inet_pton(AF_INET, bindAddress_.c_str(), &addr.sin_addr) != 1) return false;
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
  if (::listen(fd.get(), 4) != 0) return false;
  socklen_t len = sizeof addr;
  if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) == 0) port_.store(ntohs(addr.sin_port));
  listener_ = std::move(fd);
  return true;
}

void SimTcpServer::Run() {
  UniqueFd client;
  RequestScanner scanner;
  auto dropClient = [&] {
    client.reset();
    clientConnected_.store(false);
    scanner.Clear();
  };
  while (!pause_.Stopping()) {
    if (!listener_ && !Listen()) {
      if (!pause_.Pause(kRelistenPauseMs)) break;
      continue;
    }
    pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {client ? client.get() : -1, POLLIN, 0}};
    int ready = pause_.Poll(fds, kIdleWaitMs);
    if (ready < 0) break;
    if (fds[0].revents & POLLIN) {
      // A new client replaces the current one: the reader serves one connection at a time.
      UniqueFd accepted(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (accepted) {
        dropClient();
        client = std::move(accepted);
        accepted_.fetch_add(1);
        clientConnected_.store(true);
      }
      continue;
    }
    if (!client || fds[1].revents == 0) continue;
    uint8_t buffer[2048];
    ssize_t n = ::recv(client.get(), buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      dropClient();
      continue;
    }
    scanner.Append({buffer, static_cast<size_t>(n)});
    while (auto frame = scanner.Next()) {
      ReaderReply reply = reader_.HandleRequest(*frame);
      Delivery d = Deliver(reader_, reply, pause_, [&](const Bytes& b) { return SendAll(client.get(), b); });
      if (d == Delivery::Stopped) return;
      if (d == Delivery::Done) continue;
      // Rebooting: nobody listens until the reader is back. The listener
      // closes first, so a tool that sees the connection end cannot get in.
      if (d == Delivery::LinkDown) listener_.reset();
      dropClient();
      if (d == Delivery::LinkDown && !pause_.Pause(reader_.Options().rebootDelayMs)) return;
      break;
    }
  }
}

}  // namespace orvane::sim
