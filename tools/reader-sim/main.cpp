// orvane-reader-sim: plays one card reader (or --count N independent ones) on
// TCP ports, as TLS clients, or on pseudo-terminals, until SIGINT or SIGTERM.

#include <signal.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/clock.h"
#include "reader-sim/reader_sim.h"
#include "reader-sim/sim_command_line.h"

using namespace orvane;
using namespace orvane::sim;

namespace {

// One reader with the runner of its link.
struct ServedReader {
  explicit ServedReader(const ReaderOptions& options) : reader(options) {}
  void Stop() {
    if (tcp) tcp->Stop();
    if (tls) tls->Stop();
    if (pty) pty->Stop();
  }
  SimulatedReader reader;
  std::unique_ptr<SimTcpServer> tcp;
  std::unique_ptr<SimTlsClient> tls;
  std::unique_ptr<SimPty> pty;
};

// Starts reader `index` (from 0) on its link; returns its READY line, or
// nothing with the reason in `failure`.
std::string StartLink(const SimCommandLine& cl, uint32_t index, ServedReader& one, std::string& failure) {
  // Consecutive ports from the one given; port 0 lets each reader take a free one.
  const uint16_t port = cl.port == 0 ? 0 : static_cast<uint16_t>(cl.port + index);
  switch (cl.link) {
    case SimCommandLine::Link::TcpListen:
      one.tcp = std::make_unique<SimTcpServer>(one.reader, port, cl.bindAddress);
      if (!one.tcp->Start()) {
        failure = "cannot listen on " + cl.bindAddress + ":" + std::to_string(port);
        return "";
      }
      return "READY tcp port=" + std::to_string(one.tcp->Port());
    case SimCommandLine::Link::TlsConnect:
      one.tls = std::make_unique<SimTlsClient>(one.reader, cl.host, port, cl.caFile);
      if (!one.tls->Start()) {
        failure = "cannot start the TLS client";
        return "";
      }
      return "READY tls host=" + cl.host + " port=" + std::to_string(port);
    case SimCommandLine::Link::Pty: {
      std::string link = cl.linkPath;
      if (!link.empty() && cl.numbered) link += "-" + std::to_string(index + 1);
      one.pty = std::make_unique<SimPty>(one.reader, link);
      if (!one.pty->Start()) {
        failure = "cannot open a pseudo-terminal" + (link.empty() ? "" : " or make the link " + link);
        return "";
      }
      return "READY pty path=" + one.pty->Path() + (link.empty() ? "" : " link=" + link);
    }
    case SimCommandLine::Link::None:
      break;
  }
  failure = "no link chosen";
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  SimCommandLine cl;
  std::string error;
  if (!ParseSimCommandLine(args, cl, error)) {
    std::cerr << "orvane-reader-sim: " << error << "\n\n" << SimUsage();
    return 2;
  }
  if (cl.help) {
    std::cout << SimUsage();
    return 0;
  }

  // Signals are taken by sigwait below; the link threads inherit the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  std::unique_ptr<ScaledClock> scaled;
  if (cl.timeScale > 1) {
    scaled = std::make_unique<ScaledClock>(cl.timeScale);
    SetClock(scaled.get());
  }

  // Each reader is independent: its own state and its own link thread, so a
  // fault given to one never reaches another.
  std::vector<std::unique_ptr<ServedReader>> served;
  std::string ready;
  for (uint32_t i = 0; i < cl.count; ++i) {
    auto one = std::make_unique<ServedReader>(cl.readers[i]);
    std::string tag = cl.numbered ? "[" + std::to_string(i + 1) + "] " : "";
    if (cl.trace) {
      one->reader.SetTraceListener([tag](const TraceEntry& entry) {
        std::string line = tag + FormatTraceLine(entry) + "\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
      });
    }
    std::string failure;
    std::string where = StartLink(cl, i, *one, failure);
    if (where.empty()) {
      std::cerr << "orvane-reader-sim: " << (cl.numbered ? "reader " + std::to_string(i + 1) + ": " : "") << failure
                << "\n";
      for (auto& started : served) started->Stop();
      one->Stop();
      SetClock(nullptr);
      return 1;
    }
    ready += where + (cl.numbered ? " reader=" + std::to_string(i + 1) : "") + "\n";
    served.push_back(std::move(one));
  }
  // Written at once so that a script sees every reader up when it has read the lines.
  std::cout << ready << std::flush;

  for (;;) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) break;
    if (signal == SIGINT || signal == SIGTERM) break;
  }
  for (auto& one : served) one->Stop();
  SetClock(nullptr);
  return 0;
}
