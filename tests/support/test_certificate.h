#pragma once
// A throw-away self-signed certificate and key for the TLS server in tests.

#include <string>

#include "transport/openssl_handles.h"

namespace orvane::test {

// Writes server_cert.pem and server_key.pem (a fresh EC P-256 key and a
// self-signed certificate for "localhost" on it) into `folder`; false when
// OpenSSL refuses.
bool WriteTestCertificate(const std::string& folder);

}  // namespace orvane::test
