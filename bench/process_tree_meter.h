#pragma once
// Peak memory of a process and of every process it starts, read from /proc
// while they run. getrusage and wait4 give a process tree's peak as the
// largest single process's, not their sum, and a parent that reaps its own
// children leaves nothing for anyone else to wait for; so a thread looks at
// the tree every few milliseconds and keeps each process's figures.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane::bench {

struct ProcessPeak {
  pid_t pid = 0;
  bool root = false;
  std::string command;   // its command line, arguments separated by blanks
  uint64_t hwmKb = 0;    // peak resident set (VmHWM), as last seen
  // At the sample with the largest resident set: what it was made of.
  uint64_t rssKb = 0;
  uint64_t anonKb = 0;   // private: heap, stacks
  uint64_t fileKb = 0;   // mapped files: the program and its libraries, shared with other processes
  int threads = 0;       // most threads seen at once
  // Largest proportional set (PSS): shared pages divided among the processes
  // that map them, so that a sum over processes counts each page once.
  uint64_t pssKb = 0;
};

class ProcessTreeMeter {
 public:
  ProcessTreeMeter(pid_t root, std::chrono::milliseconds interval);
  ~ProcessTreeMeter();
  ProcessTreeMeter(const ProcessTreeMeter&) = delete;
  ProcessTreeMeter& operator=(const ProcessTreeMeter&) = delete;

  // Ends the sampling; the root first, then its descendants in the order seen.
  std::vector<ProcessPeak> Stop();
  // Most processes of the tree alive at one sample.
  int MostAlive() const { return mostAlive_; }

 private:
  void Run();
  void Sample();
  ProcessPeak* Find(pid_t pid, bool root);

  // Bounds what a runaway tree can make the meter hold.
  static constexpr size_t kMaxProcesses = 512;

  pid_t root_;
  std::chrono::milliseconds interval_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<ProcessPeak> peaks_;
  int mostAlive_ = 0;
  std::thread thread_;
};

}  // namespace orvane::bench
