#include "bootload/reader_command.h"

namespace orvane {

ReaderAnswer SendReaderCommand(ReaderChannel& channel, std::string_view name, std::span<const uint8_t> frame,
                               ResponseWait wait) {
  ReaderAnswer answer;
  CommandRecord record;
  if (!record.Set(name, 0, frame.data(), frame.size())) return answer;
  ReaderStatus statusCode = 0;
  answer.exchangeOk = channel.ExchangeCommand(record, answer.bytes.data(), answer.length, statusCode, wait, false);
  if (answer.length > answer.bytes.size()) answer.length = static_cast<uint32_t>(answer.bytes.size());
  return answer;
}

}  // namespace orvane
