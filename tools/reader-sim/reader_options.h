#pragma once
// What the simulated reader is, and how it misbehaves when asked to. The
// defaults describe a well-behaved PCI reader running its application.

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/frames.h"

namespace orvane::sim {

enum class ReaderMode { Application, Bootloader };

enum class FaultKind {
  Refuse,    // header framing: status `code`; STX framing: NAK with `code`
  Silent,    // no answer at all
  DropLink,  // no answer; the link drops and the reader comes back after the reboot delay
  Garble,    // the answer's content bytes are corrupted on the way out
};

// A fault on one block command (bootload block, kernel or UniApp chunk).
struct BlockFault {
  // 1-based position of the command in its load, as the tool numbers its
  // commands: for a module file the two preamble sections are 1 and 2, data
  // block n is n + 3, the trailer follows; for kernel and UniApp loads chunk
  // n is n + 1. A repeated command keeps its position.
  uint32_t block = 0;
  FaultKind kind = FaultKind::Refuse;
  uint16_t code = 0x000A;  // for Refuse
  bool always = false;     // false: only the first time this position arrives
};

enum class AfterLoad { StayInBootloader, RebootToApplication };

struct ReaderOptions {
  ReaderMode mode = ReaderMode::Application;
  // Framing on serial and HID links. Network links always use header framing.
  FrameProtocol framing = FrameProtocol::Header;
  // Identification answer of the application. A text containing "4710" marks
  // the model that supports pass-through mode.
  std::string applicationVersion = "Orvane Taviron2 APP V2.00.020";
  // Shown after the type character in the bootloader's answer; cut so that
  // the text ends before the stop package field.
  std::string bootloaderVersion = "V1.05";
  // Type character of the bootloader answer: '1' '2' '4' '6' PCI,
  // '0' '3' '5' '7' non-PCI; any other character is sent as it is.
  char typeChar = '2';
  // Data blocks that an interrupted load left behind (non-PCI readers report
  // it; the reader keeps it up to date as blocks arrive).
  uint32_t stopPackage = 0;
  // Five letters the application expects in the bootloader-entry command.
  std::string accessCode = "ORVBL";
  // How long the link stays down after a reboot or a dropped link.
  uint32_t rebootDelayMs = 2500;
  AfterLoad afterLoad = AfterLoad::StayInBootloader;
  // UniApp finish: answer "busy" (0x63) first and the final status this much
  // later as a second frame; 0 answers at once.
  uint32_t finishBusyMs = 1000;
  // Pause before every answer.
  uint32_t answerDelayMs = 0;
  // Serial only: the line's speed in bits per second, 10 bits per byte. A
  // request counts as arrived when its last byte would have crossed the wire,
  // and answers go out at that speed. 0: as fast as the pseudo-terminal goes.
  uint32_t lineBaud = 0;
  // HID only: one input or output report per this many milliseconds, as an
  // interrupt endpoint polled every frame (1 for full speed). 0: unpaced.
  uint32_t hidReportIntervalMs = 0;
  // HID only: the application is reached over the keyboard interface, which
  // answers feature reports and ignores output reports. The bootloader always
  // answers output reports.
  bool keyboardInterface = false;
  // Text of the keyboard-interface version answer ("KB" or "TAVIRON2" in it
  // decides how the tool treats the reader).
  std::string keyboardAnswer = "Orvane TAVIRON2 V2.00.020";
  std::vector<BlockFault> blockFaults;
  // Garble the n-th answer the reader sends (1-based, counting every answer);
  // 0 garbles none.
  uint32_t garbleAnswerNo = 0;
};

// True for the type characters of a PCI bootloader.
bool IsPciTypeChar(char typeChar);

}  // namespace orvane::sim
