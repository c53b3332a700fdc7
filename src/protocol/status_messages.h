#pragma once
// Reader status codes to the English texts of the exchange log.

#include <cstdint>
#include <string_view>

#include "protocol/frames.h"

namespace orvane {

inline constexpr std::string_view kUnknownStatusMessage = "Error,Unknow Error.";

// Looks the code up in the table of the given framing: the STX table holds
// the two-byte codes sent after a NAK, the header table the one-byte status
// values of header framing plus the card-reader codes.
std::string_view StatusMessage(uint16_t code, FrameProtocol protocol);

}  // namespace orvane
