#pragma once
// Owners of OpenSSL objects, each freed with OpenSSL's own call for its kind.

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

namespace orvane {

template <auto Free>
struct OpenSslFree {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};

using SslContextPtr = std::unique_ptr<SSL_CTX, OpenSslFree<SSL_CTX_free>>;
using SslPtr = std::unique_ptr<SSL, OpenSslFree<SSL_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslFree<X509_free>>;
using EvpKeyPtr = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY_free>>;

}  // namespace orvane
