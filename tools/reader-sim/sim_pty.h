#pragma once
// Plays the reader on a serial line: a pseudo-terminal whose slave path the
// tool opens as its port. Requests in the reader's configured framing are
// answered; frames of the other framing are ignored (except the
// bootloader-entry header frame, which an STX reader answers in STX). Leading
// bytes that do not start a frame (the tool's zero preamble) are skipped. A
// reboot makes the line silent for the reboot delay. With a line speed in the
// reader's options, bytes cross the line as slowly as on a real one.

#include <atomic>
#include <string>
#include <thread>

#include "app/unique_fd.h"
#include "reader-sim/line_pacing.h"
#include "reader-sim/link_pause.h"
#include "reader-sim/simulated_reader.h"

namespace orvane::sim {

class SimPty {
 public:
  // linkPath non-empty: a symbolic link to the slave is made there (and
  // removed again by Stop()).
  explicit SimPty(SimulatedReader& reader, std::string linkPath = "");
  ~SimPty();
  SimPty(const SimPty&) = delete;
  SimPty& operator=(const SimPty&) = delete;

  // Opens the pseudo-terminal and starts the background thread.
  bool Start();
  void Stop();
  // The slave path the tool should open (valid after Start()).
  const std::string& Path() const { return path_; }
  const std::string& LinkPath() const { return linkPath_; }

 private:
  void Run();
  bool Send(const Bytes& bytes);
  bool Write(const uint8_t* bytes, size_t count);

  SimulatedReader& reader_;
  std::string linkPath_;
  std::string path_;
  bool linkMade_ = false;
  UniqueFd master_;
  UniqueFd slave_;  // kept open so the line stays up while the tool reopens it
  LinkPause pause_;
  SerialLineTiming toReader_{0};  // the tool's requests
  SerialLineTiming toTool_{0};    // the answers
  std::thread thread_;
};

}  // namespace orvane::sim
