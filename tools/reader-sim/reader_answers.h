#pragma once
// The frames the reader answers with, built with the project's frame
// functions.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace orvane::sim {

using Bytes = std::vector<uint8_t>;

// Header-framed answer: command echo, status, data.
Bytes HeaderAnswerFrame(uint8_t command, uint8_t status, std::span<const uint8_t> data = {});
// STX-framed answer around `data` (which starts with ACK or NAK).
Bytes StxAnswerFrame(std::span<const uint8_t> data);
Bytes StxAckFrame(std::span<const uint8_t> result = {});
Bytes StxNakFrame(uint16_t code);
// Keyboard-interface answer: 02, command echo, text, 03, LRC (XOR of all before it).
Bytes KeyboardAnswerFrame(uint8_t command, std::string_view text);

// Data of the bootloader's version answer: "Bootloader FW ", the type
// character at offset 14, a blank and the version, a NUL before offset 24,
// then the stop package (4 bytes, least significant first).
inline constexpr size_t kBootloaderTypeOffset = 14;
inline constexpr size_t kBootloaderStopOffset = 24;
Bytes BootloaderVersionData(char typeChar, std::string_view version, uint32_t stopPackage);

// Corrupts the content of an answer, leaving its framing bytes (start,
// length, end) alone: line noise that the framing does not reveal.
void GarbleAnswer(Bytes& frame);

}  // namespace orvane::sim
