#pragma once
// Owners of the OpenSSL objects the TLS runner uses.

#include <openssl/ssl.h>

#include <memory>

namespace orvane::sim {

struct SslCtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
using SslCtxPtr = std::unique_ptr<SSL_CTX, SslCtxFree>;
using SslPtr = std::unique_ptr<SSL, SslFree>;

}  // namespace orvane::sim
