#pragma once
// The reader over the network: a plain TCP client of a configured server, or
// a TLS server that the reader side connects to. Incoming bytes are cut into
// whole header frames; frames beyond the one returned wait for later reads.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace orvane {

inline constexpr size_t kNetworkFrameCapacity = 2048;
inline constexpr uint32_t kTcpClientTimeoutMs = 3000;
// Reads of what is dropped before a request, at most (of kNetworkFrameCapacity bytes each).
inline constexpr size_t kMaxDiscardReads = 64;
inline constexpr uint32_t kTlsSocketTimeoutMs = 10000;
inline constexpr uint32_t kTlsStartPauseMs = 1000;
inline constexpr const char* kServerCertFile = "server_cert.pem";
inline constexpr const char* kServerKeyFile = "server_key.pem";

struct PendingFrame {
  uint32_t length = 0;
  uint8_t data[kNetworkFrameCapacity] = {};
};

// One connection in one role.
class NetworkLinkImpl {
 public:
  virtual ~NetworkLinkImpl() = default;
  virtual bool IsConnected() const = 0;
  // Bytes sent, or -1 (the link is then no longer connected).
  virtual int Send(const uint8_t* bytes, size_t count) = 0;
  // Bytes received into `buffer` within waitMs, or 0; 0 at once when the
  // link is lost.
  virtual size_t Read(std::span<uint8_t> buffer, uint32_t waitMs) = 0;
  // Drops what has arrived and not been read, without waiting.
  virtual void DiscardInput() = 0;
  // Any thread: ends a wait in progress (connect, accept, handshake, read).
  virtual void Cancel() = 0;
  // Cancel was called: every later wait on this link ends at once, so a
  // reader must stop rather than try again.
  bool Cancelled() const { return cancelled_.load(); }
  // The reader closed or reset the connection: nothing more will come, so a
  // reader must stop instead of waiting out its time.
  bool Lost() const { return lost_.load(); }

 protected:
  void MarkCancelled() { cancelled_.store(true); }
  void MarkLost() { lost_.store(true); }

 private:
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> lost_{false};
};

class TcpClientLink final : public NetworkLinkImpl {
 public:
  TcpClientLink();
  ~TcpClientLink() override;
  // host is a dotted IPv4 address; no name lookup.
  bool Connect(const std::string& host, int port);
  bool IsConnected() const override { return connected_.load(); }
  int Send(const uint8_t* bytes, size_t count) override;
  size_t Read(std::span<uint8_t> buffer, uint32_t waitMs) override;
  void DiscardInput() override;
  void Cancel() override;

 private:
  void PeerGone();

  struct Sockets;
  std::unique_ptr<Sockets> sockets_;
  std::atomic<bool> connected_{false};
};

class TlsServerLink final : public NetworkLinkImpl {
 public:
  // The certificate and key are read from `certificateFolder`.
  explicit TlsServerLink(std::string certificateFolder);
  ~TlsServerLink() override;
  // Blocks until a client completed the handshake (true), or set-up or
  // accept failed, or Cancel was called (false).
  bool Start(int port);
  bool IsConnected() const override { return connected_.load(); }
  int Send(const uint8_t* bytes, size_t count) override;
  size_t Read(std::span<uint8_t> buffer, uint32_t waitMs) override;
  void DiscardInput() override;
  void Cancel() override;

 private:
  void PeerGone();

  struct Tls;
  std::string folder_;
  std::unique_ptr<Tls> tls_;
  std::atomic<bool> connected_{false};
};

class NetworkLink {
 public:
  enum class Kind : int { None = 0, TcpClient = 1, TlsServer = 2 };

  NetworkLink() = default;
  NetworkLink(const NetworkLink&) = delete;
  NetworkLink& operator=(const NetworkLink&) = delete;

  bool ConnectClient(const std::string& host, int port);
  // Blocks until a reader connected and completed the TLS handshake.
  bool StartServer(int port);
  bool IsConnected() const;
  // The reader closed or reset the connection (see NetworkLinkImpl::Lost).
  bool Lost() const;
  // Ends the connection (and a StartServer blocked in another thread) and
  // drops the frames not yet read: they belong to the connection that ended.
  void Close();
  // Drops every answer not yet read (pending frames and what the socket holds),
  // then sends: an answer that came after its wait must not be taken for the
  // answer to this request.
  int Send(const uint8_t* bytes, size_t count);
  // One whole frame into `buffer` (cut to its size), or 0 after timeoutMs.
  size_t ReadFrame(std::span<uint8_t> buffer, uint32_t timeoutMs);

  Kind kind() const;
  size_t PendingFrameCount() const;
  // Folder of server_cert.pem and server_key.pem; empty means the program folder.
  void SetCertificateFolder(std::string folder);

 private:
  std::shared_ptr<NetworkLinkImpl> Active() const;

  mutable std::mutex mutex_;  // guards everything below
  std::shared_ptr<NetworkLinkImpl> impl_;
  Kind kind_ = Kind::None;
  std::string certificateFolder_;
  std::deque<PendingFrame> pending_;
};

}  // namespace orvane
