#include "reader-sim/reply_delivery.h"

namespace orvane::sim {

Delivery Deliver(SimulatedReader& reader, const ReaderReply& reply, LinkPause& pause,
                 const std::function<bool(const Bytes&)>& send) {
  auto put = [&](const Bytes& answer, uint32_t delayMs) {
    if (answer.empty()) return Delivery::Done;
    if (delayMs && !pause.Pause(delayMs)) return Delivery::Stopped;
    if (!send(answer)) return Delivery::Failed;
    reader.RecordSent(answer);
    return Delivery::Done;
  };
  Delivery d = put(reply.answer, reply.answerDelayMs);
  if (d != Delivery::Done) return d;
  d = put(reply.followUp, reply.followUpDelayMs);
  if (d != Delivery::Done) return d;
  return reply.after == ReaderReply::After::Nothing ? Delivery::Done : Delivery::LinkDown;
}

}  // namespace orvane::sim
