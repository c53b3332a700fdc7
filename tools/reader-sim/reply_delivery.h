#pragma once
// Carries out a reader's reply on a link: the answer after its delay, the
// late second answer, and the link drop of a reboot.

#include <functional>

#include "reader-sim/link_pause.h"
#include "reader-sim/simulated_reader.h"

namespace orvane::sim {

enum class Delivery {
  Done,      // the link stays up
  LinkDown,  // the reader rebooted or dropped the link: take the link down for the reboot delay
  Failed,    // the link failed while sending
  Stopped,   // the runner is stopping
};

// `send` puts one answer on the link and says whether it went out. Every
// answer that went out is recorded on the reader.
Delivery Deliver(SimulatedReader& reader, const ReaderReply& reply, LinkPause& pause,
                 const std::function<bool(const Bytes&)>& send);

}  // namespace orvane::sim
