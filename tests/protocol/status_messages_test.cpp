#include "protocol/status_messages.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

// Each framing has its own table; codes between, before and after the rows
// read as unknown.
TEST(StatusMessages, LookupsInBothTables) {
  struct Case {
    uint16_t code;
    FrameProtocol protocol;
    const char* text;
  };
  const Case cases[] = {
      {0x6A00, FrameProtocol::Stx, "Unsupported Command - Protocol and task ID are right, but command is invalid"},
      {0x6A00, FrameProtocol::Header, "Error,Unknow Error."},
      {0x550D, FrameProtocol::Stx, "Error,Unknow Error."},
      {0x0400, FrameProtocol::Stx, "Related Key was not loaded"},
      {0x0008, FrameProtocol::Stx, "Error,Unknow Error."},
      {0x0000, FrameProtocol::Header, "ACK OK"},
      {0x0009, FrameProtocol::Header, "Error,Unknow Error."},
      {0x0004, FrameProtocol::Header, "CRC Error in Frame"},
      {0x0005, FrameProtocol::Header, "Incorrect Parameter"},
      {0x0008, FrameProtocol::Header, "Timeout"},
      {0x0063, FrameProtocol::Header, "Contact command is OK"},
      {0xF20D, FrameProtocol::Header, "Amount,Other Amount,Trasaction Type  are  missing"},
      {0xFFFF, FrameProtocol::Header, "Error,Unknow Error."},
      {0xFFFF, FrameProtocol::Stx, "Error,Unknow Error."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusMessage(c.code, c.protocol), c.text) << std::hex << c.code;
  }
}

}  // namespace
}  // namespace orvane
