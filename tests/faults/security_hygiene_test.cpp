// Security hygiene: the TLS server's protocol floor and its key's file
// permissions, and paths that must stay inside their folder.

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <future>
#include <vector>

#include "app/clock.h"
#include "faults/loopback.h"
#include "support/child_process.h"
#include "support/links.h"
#include "support/test_certificate.h"
#include "transport/network_link.h"
#include "transport/openssl_handles.h"
#include "update/engine_rig.h"

namespace orvane::test {
namespace {

class TlsServerHygiene : public ::testing::Test {
 protected:
  TlsServerHygiene() : clock_(100), scoped_(clock_) {
    EXPECT_TRUE(WriteTestCertificate(folder_.path()));
    link_.SetCertificateFolder(folder_.path());
  }

  // A blocking TLS client limited to the versions [minVersion, maxVersion];
  // true when the handshake completes.
  bool HandshakeWith(int minVersion, int maxVersion) {
    SslContextPtr ctx(SSL_CTX_new(TLS_client_method()));
    // Let the client offer old versions at all; the server has to refuse them.
    SSL_CTX_set_security_level(ctx.get(), 0);
    SSL_CTX_set_cipher_list(ctx.get(), "DEFAULT:@SECLEVEL=0");
    SSL_CTX_set_min_proto_version(ctx.get(), minVersion);
    SSL_CTX_set_max_proto_version(ctx.get(), maxVersion);
    UniqueFd fd = ConnectLoopback(port_);
    SslPtr ssl(SSL_new(ctx.get()));
    SSL_set_fd(ssl.get(), fd.get());
    const bool ok = SSL_connect(ssl.get()) == 1;
    if (ok) SSL_shutdown(ssl.get());
    ERR_clear_error();
    return ok;
  }

  // Starts the server on a free port in the background.
  void Start() {
    port_ = FreeLoopbackPort();
    started_ = std::async(std::launch::async, [this] { return link_.StartServer(port_); });
  }
  // After a client got in: the server started, and closes.
  void Stop() {
    EXPECT_TRUE(started_.get());
    link_.Close();
  }

  // What a server with a key file of this mode says on standard error.
  std::string StderrWithKeyMode(mode_t keyMode) {
    ::chmod(folder_.File(kServerKeyFile).c_str(), keyMode);
    ::testing::internal::CaptureStderr();
    Start();
    EXPECT_TRUE(HandshakeWith(TLS1_2_VERSION, 0));
    Stop();
    return ::testing::internal::GetCapturedStderr();
  }

  // Quiet for a private key, a warning for a readable one, and only once.
  bool WarnsOnceForAReadableKey() {
    const bool quiet = StderrWithKeyMode(0600).find("server_key.pem") == std::string::npos;
    const bool warned = StderrWithKeyMode(0640).find("server_key.pem can be read by other users") != std::string::npos;
    return quiet && warned && StderrWithKeyMode(0644).find("server_key.pem") == std::string::npos;
  }

  ScaledClock clock_;
  ScopedClock scoped_;
  TempDir folder_;
  NetworkLink link_;
  uint16_t port_ = 0;
  std::future<bool> started_;
};

TEST_F(TlsServerHygiene, RefusesVersionsBelowTls12AndTakesTls12And13) {
  Start();
  EXPECT_FALSE(HandshakeWith(TLS1_VERSION, TLS1_1_VERSION)) << "TLS 1.1 or older must be refused";
  EXPECT_TRUE(HandshakeWith(TLS1_2_VERSION, TLS1_2_VERSION));
  Stop();
  Start();
  EXPECT_TRUE(HandshakeWith(TLS1_3_VERSION, TLS1_3_VERSION));
  Stop();
}

// Said once per process: checked in a process of its own, where nothing can
// have said it before.
TEST_F(TlsServerHygiene, WarnsOnceWhenTheKeyCanBeReadByOthers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(WarnsOnceForAReadableKey() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

// A module name on the command line must be one of the listed file names: a
// path that leads out of the firmware folder is refused before any reader is
// looked for.
TEST(CommandLineModules, RefusesNamesThatAreNotListedFiles) {
  TempDir folder;
  const std::string config =
      folder.Write(kConfigurationFileName, "<BOOTLOAD_SETTING><s baudrateList=\"115200\"/></BOOTLOAD_SETTING>");
  ASSERT_TRUE(AddAppModule(folder.path(), "app.fm", AppModuleSpec(true, 2)));
  ASSERT_TRUE(WriteModuleFile(folder.File("outside.fm"), AppModuleSpec(true, 2)));
  for (const char* name : {"../outside.fm", "FirmwareApp/app.fm", "./app.fm", "APP.FM"}) {
    const ProcessResult run = RunProcess(ProcessSpec::Of(
        {ORVANE_CLI_EXE, "update", "--folder", folder.path(), "--config", config, "--yes", "--timeout", "1", name}));
    EXPECT_EQ(run.exitCode, 2) << name << ": " << run.out << run.err;
    EXPECT_NE((run.out + run.err).find("no listed module is named"), std::string::npos) << run.out << run.err;
  }
}

TEST(PathInFolder, KeepsEveryPathInsideItsFolder) {
  EXPECT_EQ(PathInFolder("/opt/orvane", "FirmwareApp"), "/opt/orvane/FirmwareApp");
  EXPECT_EQ(PathInFolder("/opt/orvane", "app v1..2.fm"), "/opt/orvane/app v1..2.fm");
  const std::vector<std::string> escaping{"",       ".",           "..",   "../etc/passwd",
                                          "a/b.fm", "/etc/passwd", "x/..", std::string("a\0b", 3)};
  for (const std::string& name : escaping) {
    EXPECT_EQ(PathInFolder("/opt/orvane", name), "") << name;
  }
}

}  // namespace
}  // namespace orvane::test
