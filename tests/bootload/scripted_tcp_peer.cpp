#include "bootload/scripted_tcp_peer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace orvane::test {
namespace {

constexpr int kPollRealMs = 20;  // how often the thread looks at the stop flag

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, kPollRealMs) > 0;
}

}  // namespace

ScriptedTcpPeer::ScriptedTcpPeer(std::vector<std::vector<Bytes>> script) : script_(std::move(script)) {
  listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof addr;
  if (!listener_ || ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener_.get(), 1) != 0 ||
      ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
    ADD_FAILURE() << "scripted peer cannot listen";
    return;
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Run(); });
}

ScriptedTcpPeer::~ScriptedTcpPeer() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

std::vector<ScriptedTcpPeer::Bytes> ScriptedTcpPeer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptedTcpPeer::Run() {
  UniqueFd client;
  while (!stop_.load() && !client) {
    if (Readable(listener_.get())) client.reset(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  }
  size_t step = 0;
  while (!stop_.load() && client) {
    if (!Readable(client.get())) continue;
    uint8_t buffer[4096];
    ssize_t got = ::recv(client.get(), buffer, sizeof buffer, 0);
    if (got <= 0) break;
    {
      std::lock_guard lock(mutex_);
      requests_.emplace_back(buffer, buffer + got);
    }
    if (step < script_.size()) {
      for (const Bytes& answer : script_[step]) ::send(client.get(), answer.data(), answer.size(), MSG_NOSIGNAL);
    }
    ++step;
  }
}

}  // namespace orvane::test
