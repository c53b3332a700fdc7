#include "transport/network_link.h"

#include <algorithm>

#include "app/clock.h"
#include "transport/network_frame_scanner.h"

namespace orvane {

namespace {

size_t CopyFrame(std::span<uint8_t> buffer, std::span<const uint8_t> frame) {
  // A frame longer than the caller's buffer is cut to it.
  const size_t n = std::min(buffer.size(), frame.size());
  std::copy_n(frame.begin(), n, buffer.begin());
  return n;
}

}  // namespace

std::shared_ptr<NetworkLinkImpl> NetworkLink::Active() const {
  std::lock_guard lock(mutex_);
  return impl_;
}

bool NetworkLink::ConnectClient(const std::string& host, int port) {
  auto link = std::make_shared<TcpClientLink>();
  {
    std::lock_guard lock(mutex_);
    if (impl_) impl_->Cancel();
    impl_ = link;
    kind_ = Kind::TcpClient;
    pending_.clear();
  }
  return link->Connect(host, port);
}

bool NetworkLink::StartServer(int port) {
  std::shared_ptr<TlsServerLink> link;
  {
    std::lock_guard lock(mutex_);
    if (impl_) impl_->Cancel();
    link = std::make_shared<TlsServerLink>(certificateFolder_);
    impl_ = link;
    kind_ = Kind::TlsServer;
    pending_.clear();
  }
  return link->Start(port);
}

bool NetworkLink::IsConnected() const {
  const auto impl = Active();
  return impl && impl->IsConnected();
}

bool NetworkLink::Lost() const {
  const auto impl = Active();
  return impl && impl->Lost();
}

void NetworkLink::Close() {
  std::shared_ptr<NetworkLinkImpl> impl;
  {
    std::lock_guard lock(mutex_);
    impl = std::move(impl_);
    impl_.reset();
    kind_ = Kind::None;
    pending_.clear();
  }
  // A thread still inside the link (a server waiting for its reader) holds
  // its own reference; the wake ends its wait and the last one out frees it.
  if (impl) impl->Cancel();
}

int NetworkLink::Send(const uint8_t* bytes, size_t count) {
  std::shared_ptr<NetworkLinkImpl> impl;
  {
    std::lock_guard lock(mutex_);
    pending_.clear();
    impl = impl_;
  }
  if (!impl) return -1;
  impl->DiscardInput();
  return impl->Send(bytes, count);
}

NetworkLink::Kind NetworkLink::kind() const {
  std::lock_guard lock(mutex_);
  return kind_;
}

size_t NetworkLink::PendingFrameCount() const {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

void NetworkLink::SetCertificateFolder(std::string folder) {
  std::lock_guard lock(mutex_);
  certificateFolder_ = std::move(folder);
}

size_t NetworkLink::ReadFrame(std::span<uint8_t> buffer, uint32_t timeoutMs) {
  std::shared_ptr<NetworkLinkImpl> impl;
  std::deque<PendingFrame> fresh;
  {
    std::lock_guard lock(mutex_);
    if (!pending_.empty()) {
      const PendingFrame& oldest = pending_.front();
      const size_t n = CopyFrame(buffer, {oldest.data, oldest.length});
      pending_.pop_front();
      return n;
    }
    impl = impl_;
  }
  if (!impl) return 0;

  // Frames found beyond the one returned are kept for the next reads.
  const auto takeOldest = [&]() -> size_t {
    std::lock_guard lock(mutex_);
    for (auto& frame : fresh) {
      if (pending_.size() < kMaxPendingFrames) pending_.push_back(frame);
    }
    if (pending_.empty()) return 0;
    const PendingFrame& oldest = pending_.front();
    const size_t n = CopyFrame(buffer, {oldest.data, oldest.length});
    pending_.pop_front();
    return n;
  };

  NetworkFrameScanner scanner;
  const uint64_t start = TickMs();
  for (uint64_t elapsed = 0; elapsed < timeoutMs; elapsed = TickMs() - start) {
    const size_t got = impl->Read(scanner.Space(), static_cast<uint32_t>(timeoutMs - elapsed));
    if (got == 0) {
      // A closed or lost link answers every read at once: trying again until
      // the time is up would only burn the processor.
      if (impl->Cancelled() || impl->Lost()) break;
      continue;
    }
    if (const auto frame = scanner.Add(got, fresh)) return CopyFrame(buffer, *frame);
    // Everything received was used up; the first complete frame is the answer.
    if (!fresh.empty() && scanner.AtBoundary()) return takeOldest();
  }
  // Frames completed before a partial one that never finished are not lost.
  return takeOldest();
}

}  // namespace orvane
