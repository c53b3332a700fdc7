#pragma once
// The pure part of the reader commands: how each answer is judged and which
// texts a refusal produces. No I/O and no state, so that every rule can be
// exercised on its own (and fed arbitrary bytes).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "bootload/reader_channel.h"
#include "protocol/frames.h"

namespace orvane {

inline constexpr std::string_view kBootloaderMarker = "Bootloader FW";
inline constexpr size_t kVersionTextCapacity = 511;
inline constexpr std::string_view kNoResponseLine = "NO RESP.\r\n";

// ---- identification ----

// Judges an answer to "Get Firmware Version" given in `framing` and records
// what it says in `info`. Returns the version text; empty when the answer
// does not count. An STX answer that does not count leaves `info` untouched;
// a header answer without data leaves the text and clears bootloaderMode.
std::string JudgeVersionAnswer(DeviceInfo& info, std::span<const uint8_t> answer, FrameProtocol framing);

// The text of a keyboard-interface answer (02, x, text, 03, LRC); empty when
// the query failed or the answer is shorter than 5 bytes.
std::string KeyboardAnswerText(bool transportOk, std::span<const uint8_t> answer);

// The model that supports pass-through mode: "4710" after the first character.
bool NamesPassThroughModel(std::string_view versionText);

// ---- bootloader entry and block answers ----

enum class StxAnswer : int {
  Accepted,  // ACK
  Nak,       // the reader refused with a status code
  Other,     // framed answer with some other byte where the ACK belongs
  NoAnswer,  // nothing usable: exchange failed or 5 bytes or fewer
};

// Entry commands: ACK in byte 3 of an answer longer than 5 bytes that the
// exchange accepted; a NAK is a refusal whatever the exchange made of it.
StxAnswer JudgeStxEntryAnswer(bool exchangeOk, std::span<const uint8_t> answer);

// Block commands: bytes 3, 4 and 5 all ACK.
StxAnswer JudgeStxBlockAnswer(std::span<const uint8_t> answer);

// The header status byte of an answer; 0xFF when it does not parse.
uint8_t HeaderAnswerStatus(std::span<const uint8_t> answer);

// "\r\nError Code:0xHHLL. <message>\r\n" for an STX refusal (code from bytes
// 4 and 5 of the answer). The message comes from the table of the framing
// the answer arrived in, which in pass-through mode is not the connection's.
std::string StxErrorCodeText(uint8_t high, uint8_t low);

// "\r\nError Code:0xSS. <message>\r\n" for a header refusal.
std::string HeaderErrorCodeText(uint8_t status);

// Section index of data block 0 in a module's queue (0 and 1 are the
// preamble halves, when the module has a preamble).
inline constexpr uint32_t kFirstDataSectionIndex = 2;

// The skip bound of a resumed run: data blocks whose section index lies from
// kFirstDataSectionIndex up to (not including) the returned value are already
// on the reader. `lastIndex` is the section index of the queue's last record.
// A stop package that is not positive, or that would leave nothing after the
// skipped blocks, is no resume point and gives kFirstDataSectionIndex.
uint64_t ResumeSkipEnd(int32_t stopPackage, uint32_t lastIndex);

}  // namespace orvane
