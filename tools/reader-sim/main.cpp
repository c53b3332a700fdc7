// orvane-reader-sim: plays one card reader on a TCP port, as a TLS client, or
// on a pseudo-terminal, until SIGINT or SIGTERM.

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

  SimulatedReader reader(cl.reader);
  if (cl.trace) {
    reader.SetTraceListener([](const TraceEntry& entry) {
      std::string line = FormatTraceLine(entry) + "\n";
      std::fputs(line.c_str(), stderr);
      std::fflush(stderr);
    });
  }

  std::unique_ptr<SimTcpServer> tcp;
  std::unique_ptr<SimTlsClient> tls;
  std::unique_ptr<SimPty> pty;
  std::string ready;
  switch (cl.link) {
    case SimCommandLine::Link::TcpListen:
      tcp = std::make_unique<SimTcpServer>(reader, cl.port, cl.bindAddress);
      if (!tcp->Start()) {
        std::cerr << "orvane-reader-sim: cannot listen on " << cl.bindAddress << ":" << cl.port << "\n";
        return 1;
      }
      ready = "READY tcp port=" + std::to_string(tcp->Port());
      break;
    case SimCommandLine::Link::TlsConnect:
      tls = std::make_unique<SimTlsClient>(reader, cl.host, cl.port, cl.caFile);
      if (!tls->Start()) {
        std::cerr << "orvane-reader-sim: cannot start the TLS client\n";
        return 1;
      }
      ready = "READY tls host=" + cl.host + " port=" + std::to_string(cl.port);
      break;
    case SimCommandLine::Link::Pty:
      pty = std::make_unique<SimPty>(reader, cl.linkPath);
      if (!pty->Start()) {
        std::cerr << "orvane-reader-sim: cannot open a pseudo-terminal"
                  << (cl.linkPath.empty() ? "" : " or make the link " + cl.linkPath) << "\n";
        return 1;
      }
      ready = "READY pty path=" + pty->Path() + (cl.linkPath.empty() ? "" : " link=" + cl.linkPath);
      break;
    case SimCommandLine::Link::None:
      return 2;
  }
  std::cout << ready << std::endl;

  for (;;) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) break;
    if (signal == SIGINT || signal == SIGTERM) break;
  }
  if (tcp) tcp->Stop();
  if (tls) tls->Stop();
  if (pty) pty->Stop();
  SetClock(nullptr);
  return 0;
}
