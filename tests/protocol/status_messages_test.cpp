#include "protocol/status_messages.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(StatusMessages, LookupsInBothTables) {
  struct Case {
    uint16_t code;
    FrameProtocol protocol;
    const char* text;
  };
  const Case cases[] = {
      {0x6A00, FrameProtocol::Stx, "Unsupported Command - Protocol and task ID are right, but command is invalid"},
      {0x6A02, FrameProtocol::Stx, "Error,Unknow Error."},
      {0x550D, FrameProtocol::Stx, "Error,Unknow Error."},
      {0x550E, FrameProtocol::Stx, "Error,Unknow Error."},
      {0x0400, FrameProtocol::Stx, "Related Key was not loaded"},
      {0xF211, FrameProtocol::Stx, "ICC L2 is not in idle state."},
      {0x8100, FrameProtocol::Stx, "Timeout"},
      {0x0008, FrameProtocol::Stx, "Error,Unknow Error."},
      {0xF209, FrameProtocol::Stx, "Transaction  format error"},
      {0x0000, FrameProtocol::Header, "ACK OK"},
      {0x0009, FrameProtocol::Header, "Error,Unknow Error."},
      {0x000F, FrameProtocol::Header, "Error,Unknow Error."},
      {0x0008, FrameProtocol::Header, "Timeout"},
      {0x0049, FrameProtocol::Header,
       "CA Public Key----Key already exists Certificate Revocation List----CRL record already exists"},
      {0x004B, FrameProtocol::Header,
       "CA Public Key----Key not found Certificate Revocation List----CRL record not found"},
      {0x004F, FrameProtocol::Header,
       "CA Public Key----No space to add new key Certificate Revocation List---- No space to add new CRL record"},
      {0x0063, FrameProtocol::Header, "Contact command is OK"},
      {0x6A00, FrameProtocol::Header, "Error,Unknow Error."},
      {0xF20C, FrameProtocol::Header, "CRL number  exceed max number"},
      {0xF20D, FrameProtocol::Header, "Amount,Other Amount,Trasaction Type  are  missing"},
      {0x2C02, FrameProtocol::Header, "No Microprocessor ICC seated"},
      {0xFFFF, FrameProtocol::Header, "Error,Unknow Error."},
      {0xFFFF, FrameProtocol::Stx, "Error,Unknow Error."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusMessage(c.code, c.protocol), c.text) << std::hex << c.code;
  }
}

TEST(StatusMessages, SharedCardReaderCodesHaveTheSameTextInBothTables) {
  for (uint32_t code = 0x2C00; code <= 0xFFFF; ++code) {
    auto header = StatusMessage(static_cast<uint16_t>(code), FrameProtocol::Header);
    if (header != kUnknownStatusMessage) {
      EXPECT_EQ(header, StatusMessage(static_cast<uint16_t>(code), FrameProtocol::Stx)) << std::hex << code;
    }
  }
}

}  // namespace
}  // namespace orvane
