#include "support/test_certificate.h"

#include <openssl/pem.h>

#include <cstdio>
#include <memory>

namespace orvane::test {
namespace {

struct FileClose {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

bool WriteTestCertificate(const std::string& folder) {
  EvpKeyPtr key(EVP_EC_gen("P-256"));
  X509Ptr cert(X509_new());
  if (!key || !cert) return false;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) return false;
  std::unique_ptr<FILE, FileClose> certFile(std::fopen((folder + "/server_cert.pem").c_str(), "w"));
  std::unique_ptr<FILE, FileClose> keyFile(std::fopen((folder + "/server_key.pem").c_str(), "w"));
  if (!certFile || !keyFile) return false;
  return PEM_write_X509(certFile.get(), cert.get()) == 1 &&
         PEM_write_PrivateKey(keyFile.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
}

}  // namespace orvane::test
