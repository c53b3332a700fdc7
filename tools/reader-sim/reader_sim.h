#pragma once
// The simulated card reader, for tests and demonstrations.
//
//   SimulatedReader reader(options);      // state and command handling
//   SimTcpServer tcp(reader, 0);          // the tool connects to 127.0.0.1:tcp.Port()
//   SimTlsClient tls(reader, "127.0.0.1", port);  // connects to the tool's TLS server
//   SimPty pty(reader);                   // the tool opens pty.Path() as its serial port
//   SimHidDevice hid(reader, device);     // answers through a fake HID device
//
// Each runner serves its link on a background thread between Start() and
// Stop(). Afterwards the reader's record tells what was received and sent
// (Trace, ReceivedFrames, SentAnswers) and what block commands delivered
// (BlockImage, Loads, Modules).

#include "reader-sim/reader_options.h"
#include "reader-sim/simulated_reader.h"
#include "reader-sim/sim_pty.h"
#include "reader-sim/sim_tcp_server.h"
#include "reader-sim/sim_tls_client.h"
