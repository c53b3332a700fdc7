// Security hygiene: the TLS server's protocol floor and its key's file
// permissions, and paths that must stay inside their folder.

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <vector>

#include "app/bootload_settings.h"
#include "app/clock.h"
#include "app/program_folder.h"
#include "support/test_certificate.h"
#include "update/engine_rig.h"
#include "faults/loopback.h"
#include "support/links.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "transport/network_link.h"
#include "transport/openssl_handles.h"

namespace orvane::test {
namespace {

// A blocking TLS client limited to the versions [minVersion, maxVersion];
// true when the handshake completes.
bool HandshakeWith(uint16_t port, int minVersion, int maxVersion) {
  SslContextPtr ctx(SSL_CTX_new(TLS_client_method()));
  if (!ctx) return false;
  // Let the client offer old versions at all; the server has to refuse them.
  SSL_CTX_set_security_level(ctx.get(), 0);
  SSL_CTX_set_cipher_list(ctx.get(), "DEFAULT:@SECLEVEL=0");
  SSL_CTX_set_min_proto_version(ctx.get(), minVersion);
  SSL_CTX_set_max_proto_version(ctx.get(), maxVersion);
  SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_NONE, nullptr);
  UniqueFd fd = ConnectLoopback(port);
  if (!fd) return false;
  SslPtr ssl(SSL_new(ctx.get()));
  SSL_set_fd(ssl.get(), fd.get());
  const bool ok = SSL_connect(ssl.get()) == 1;
  if (ok) SSL_shutdown(ssl.get());
  ERR_clear_error();
  return ok;
}

class TlsServerHygiene : public ::testing::Test {
 protected:
  TlsServerHygiene() : clock_(100), scoped_(clock_) {
    EXPECT_TRUE(WriteTestCertificate(folder_.path()));
    link_.SetCertificateFolder(folder_.path());
  }

  // Starts the server on a free port in the background.
  std::future<bool> StartServer() {
    port_ = FreeLoopbackPort();
    return std::async(std::launch::async, [this] { return link_.StartServer(port_); });
  }

  std::string StartAndCaptureStderr(mode_t keyMode) {
    EXPECT_EQ(::chmod(folder_.File(kServerKeyFile).c_str(), keyMode), 0);
    ::testing::internal::CaptureStderr();
    std::future<bool> started = StartServer();
    EXPECT_TRUE(HandshakeWith(port_, TLS1_2_VERSION, 0));
    EXPECT_TRUE(started.get());
    link_.Close();
    return ::testing::internal::GetCapturedStderr();
  }

  ScaledClock clock_;
  ScopedClock scoped_;
  TempDir folder_;
  NetworkLink link_;
  uint16_t port_ = 0;
};

TEST_F(TlsServerHygiene, RefusesVersionsBelowTls12AndTakesTls12And13) {
  std::future<bool> started = StartServer();
  EXPECT_FALSE(HandshakeWith(port_, TLS1_VERSION, TLS1_1_VERSION)) << "TLS 1.1 or older must be refused";
  EXPECT_TRUE(HandshakeWith(port_, TLS1_2_VERSION, TLS1_2_VERSION));
  ASSERT_TRUE(started.get());
  link_.Close();
  started = StartServer();
  EXPECT_TRUE(HandshakeWith(port_, TLS1_3_VERSION, TLS1_3_VERSION));
  ASSERT_TRUE(started.get());
  link_.Close();
}

// Said once per process: checked in a process of its own, where nothing can
// have said it before.
TEST_F(TlsServerHygiene, WarnsOnceWhenTheKeyCanBeReadByOthers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const bool quietWhenPrivate = StartAndCaptureStderr(0600).find("server_key.pem") == std::string::npos;
        const std::string first = StartAndCaptureStderr(0640);
        const bool warned = first.find("server_key.pem can be read by other users") != std::string::npos;
        const bool once = StartAndCaptureStderr(0644).find("server_key.pem") == std::string::npos;
        std::_Exit(quietWhenPrivate && warned && once ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Runs the command line with `args`; its exit status and everything it wrote.
int RunCommandLine(const std::vector<std::string>& args, std::string& output) {
  std::vector<std::string> argv{ORVANE_CLI_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  const ProcessResult run = RunProcess(ProcessSpec::Of(argv));
  output = run.out + run.err;
  return run.exitCode;
}

// A module name on the command line must be one of the listed file names: a
// path that leads out of the firmware folder is refused before any reader is
// looked for.
TEST(CommandLineModules, RefusesNamesThatAreNotListedFiles) {
  TempDir folder;
  const std::string config = folder.Write(kConfigurationFileName,
                                          "<BOOTLOAD_SETTING><s baudrateList=\"115200\"/></BOOTLOAD_SETTING>");
  ASSERT_TRUE(AddAppModule(folder.path(), "app.fm", AppModuleSpec(true, 2)));
  ASSERT_TRUE(WriteModuleFile(folder.File("outside.fm"), AppModuleSpec(true, 2)));
  for (const char* name : {"../outside.fm", "FirmwareApp/app.fm", "./app.fm", "APP.FM"}) {
    std::string output;
    EXPECT_EQ(RunCommandLine({"update", "--folder", folder.path(), "--config", config, "--yes", "--timeout", "1", name},
                             output),
              2)
        << name << ": " << output;
    EXPECT_NE(output.find("no listed module is named"), std::string::npos) << output;
  }
}

TEST(PathInFolder, KeepsEveryPathInsideItsFolder) {
  EXPECT_EQ(PathInFolder("/opt/orvane", "FirmwareApp"), "/opt/orvane/FirmwareApp");
  EXPECT_EQ(PathInFolder("/opt/orvane", "app v1..2.fm"), "/opt/orvane/app v1..2.fm");
  const std::vector<std::string> escaping{"", ".", "..", "../etc/passwd", "a/b.fm", "/etc/passwd", "x/..",
                                         std::string("a\0b", 3)};
  for (const std::string& name : escaping) {
    EXPECT_EQ(PathInFolder("/opt/orvane", name), "") << name;
  }
}

}  // namespace
}  // namespace orvane::test
