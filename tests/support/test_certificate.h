#pragma once
// A throw-away self-signed certificate and key for the TLS server in tests.

#include <string>

namespace orvane::test {

// Writes server_cert.pem and server_key.pem (EC P-256, self-signed) into
// `folder`; false when OpenSSL refuses.
bool WriteTestCertificate(const std::string& folder);

}  // namespace orvane::test
