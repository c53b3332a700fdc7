#include "transport/hid_report_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(HidReportDescriptor, LongestReportOfEachKindWithItsIdByte) {
  const Bytes descriptor{0x75, 0x08, 0x85, 0x01, 0x95, 0x3F, 0x81, 0x02,                    // id 1: 63 bytes in
                         0x85, 0x02, 0x95, 0x10, 0x81, 0x02,                                // id 2: 16 bytes in
                         0xFE, 0x01, 0x00, 0xAA,                                            // a long item, skipped
                         0xA4,                                                              // push
                         0x85, 0x03, 0x75, 0x01, 0x97, 0x00, 0x02, 0x00, 0x00, 0x91, 0x02,  // id 3: 512 bits out
                         0xB4,                                                              // pop: 8-bit fields again
                         0x85, 0x04, 0x95, 0x02, 0x91, 0x02};                               // id 4: 2 bytes out
  const auto summary = ParseReportDescriptor(descriptor);
  ASSERT_TRUE(summary.has_value());
  EXPECT_EQ(summary->lengths.input, 64u);
  EXPECT_EQ(summary->lengths.output, 65u);
  EXPECT_EQ(summary->lengths.feature, 0u);
  EXPECT_TRUE(summary->numberedReports);
}

TEST(HidReportDescriptor, MalformedDescriptorsAreRefused) {
  for (const Bytes& descriptor :
       {Bytes{}, Bytes{0x75, 0x08, 0x95}, Bytes{0xFE, 0x01}, Bytes{0xB4}, Bytes{0x09, 0x01, 0xC0},
        Bytes{0x75, 0xFF, 0x97, 0xFF, 0xFF, 0x00, 0x00, 0x81, 0x02}}) {
    EXPECT_FALSE(ParseReportDescriptor(descriptor).has_value());
  }
}

}  // namespace
}  // namespace orvane
