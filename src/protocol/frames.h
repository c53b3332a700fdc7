#pragma once
// The reader's wire formats: header frames with CRC-16, STX frames with XOR
// and sum bytes, and the short keyboard-interface frame. Builders work in
// place on the caller's buffer and return the finished length (0 when the
// buffer is too small).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace orvane {

enum class FrameProtocol : int { Stx = 0, Header = 1 };

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;

// "KeLOmarn2" and a zero byte start every header frame.
inline constexpr uint8_t kHeaderTag[10] = {'K', 'e', 'L', 'O', 'm', 'a', 'r', 'n', '2', 0x00};
inline constexpr size_t kHeaderOverhead = 12;  // tag (10) + CRC (2); the payload carries command, sub, length
inline constexpr size_t kStxOverhead = 6;

// Command ids of queued block commands; only kBootloadBlock has an STX prefix.
inline constexpr uint32_t kBootloadBlockId = 32;
inline constexpr uint32_t kKernelBlockId = 33;
inline constexpr uint32_t kUniAppBlockId = 34;

// CRC-16/CCITT-FALSE: polynomial 0x1021, start 0xFFFF, no reflection.
uint16_t Crc16Ccitt(const uint8_t* bytes, size_t count);

struct XorSum {
  uint8_t sum = 0;
  uint8_t xorValue = 0;
};
XorSum XorAndSum(const uint8_t* bytes, size_t count);

// On entry `buffer` starts with the payload: command, sub-command, data length
// (big-endian), data. On return it holds the whole frame (payloadLength + 12).
size_t BuildHeaderFrame(std::span<uint8_t> buffer, size_t payloadLength);

// Convenience for callers: assembles the payload and frames it.
size_t BuildHeaderFrameFor(std::span<uint8_t> buffer, uint8_t command, uint8_t subCommand,
                           std::span<const uint8_t> data);

// On entry `buffer` starts with the data; on return it holds the frame
// (dataLength + 6). dataLength is at most 65535.
size_t BuildStxFrame(std::span<uint8_t> buffer, size_t dataLength);

// STX frame with the command id's prefix inside the data. Returns 0 with
// ok = false for an id without prefix (or a buffer too small).
size_t BuildStxCommandFrame(uint32_t commandId, std::span<uint8_t> buffer, size_t dataLength, bool& ok);

// 0x02, 'R', command, 0x03, LRC (XOR of the four bytes before it).
size_t BuildKeyboardCommandFrame(uint8_t commandByte, std::span<uint8_t> buffer);

inline constexpr uint8_t kHeaderStatusNone = 0xFF;

// Reads a header-framed response in either form (full "KeLOmarn2" or with the
// first letter missing). Copies the data to `outData` and returns its length;
// a declared length that runs past the bytes received or past `outData` is cut
// to what is there. No recognised header: status 0xFF, returns 0. The CRC is
// not examined. `status` may be null.
size_t ParseHeaderResponse(std::span<const uint8_t> response, std::span<uint8_t> outData, uint8_t* status);

// Length of the whole frame of `protocol` that `bytes` start with (a response
// header frame in either form, or an STX frame); 0 when they start with none
// or it is not complete.
size_t LeadingFrameLength(std::span<const uint8_t> bytes, FrameProtocol protocol);

// The command byte of a whole header frame in either form (a request, or the
// echo in a response); nullopt when `bytes` are not exactly one such frame.
std::optional<uint8_t> HeaderFrameCommand(std::span<const uint8_t> bytes);

enum class StxVerdict : int { NotStx = 0, Malformed = 1, Ack = 6, AckOnly = 0x42, Nak = 0x15 };

// Judges an STX-framed response. `statusCode` receives bytes 4 and 5 (high
// first) for every correctly sized frame; it may be null.
StxVerdict ValidateStxResponse(std::span<const uint8_t> response, uint16_t* statusCode);

}  // namespace orvane
