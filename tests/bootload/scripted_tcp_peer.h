#pragma once
// A reader on a TCP socket that answers from a script instead of by rule:
// for the n-th request it receives it sends the n-th list of answers (none:
// it stays silent). For answers the simulated reader would never give.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "app/unique_fd.h"

namespace orvane::test {

class ScriptedTcpPeer {
 public:
  using Bytes = std::vector<uint8_t>;
  explicit ScriptedTcpPeer(std::vector<std::vector<Bytes>> script);
  ~ScriptedTcpPeer();
  ScriptedTcpPeer(const ScriptedTcpPeer&) = delete;
  ScriptedTcpPeer& operator=(const ScriptedTcpPeer&) = delete;

  uint16_t port() const { return port_; }
  std::vector<Bytes> Requests() const;

 private:
  void Run();

  std::vector<std::vector<Bytes>> script_;
  UniqueFd listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
  std::thread thread_;
};

}  // namespace orvane::test
