#pragma once
// The four links a test can run the simulated reader on, and a free loopback
// port for the network ones.

#include <cstdint>
#include <ostream>

namespace orvane::test {

enum class Link { Tcp, Tls, Serial, Hid };

const char* LinkName(Link link);
inline void PrintTo(Link link, std::ostream* os) { *os << LinkName(link); }

// A loopback port that was free a moment ago; 0 when none could be had.
uint16_t FreeLoopbackPort();

}  // namespace orvane::test
