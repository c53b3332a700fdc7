#include "process_tree_meter.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace orvane::bench {
namespace {

struct StatusFields {
  uint64_t hwmKb = 0, rssKb = 0, anonKb = 0, fileKb = 0;
  int threads = 0;
};

// False when the process has gone (or is a zombie, whose memory is gone too).
bool ReadStatus(pid_t pid, StatusFields& f) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  if (!in) return false;
  bool any = false;
  for (std::string line; std::getline(in, line);) {
    const auto value = [&] { return std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10); };
    if (line.rfind("VmHWM:", 0) == 0) {
      f.hwmKb = value();
      any = true;
    } else if (line.rfind("VmRSS:", 0) == 0) {
      f.rssKb = value();
    } else if (line.rfind("RssAnon:", 0) == 0) {
      f.anonKb = value();
    } else if (line.rfind("RssFile:", 0) == 0) {
      f.fileKb = value();
    } else if (line.rfind("Threads:", 0) == 0) {
      f.threads = static_cast<int>(value());
    }
  }
  return any;
}

uint64_t ReadPssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Pss:", 0) == 0) return std::strtoull(line.c_str() + 4, nullptr, 10);
  }
  return 0;
}

std::string CommandLine(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  for (char& c : text) {
    if (c == '\0') c = ' ';
  }
  return text;
}

// The children of every thread of `pid` (a child belongs to the thread that forked it).
void AddChildren(pid_t pid, std::vector<pid_t>& out) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = ::opendir(tasks.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream in(tasks + "/" + entry->d_name + "/children");
    for (pid_t child; in >> child;) out.push_back(child);
  }
  ::closedir(dir);
}

}  // namespace

ProcessTreeMeter::ProcessTreeMeter(pid_t root, std::chrono::milliseconds interval)
    : root_(root), interval_(interval), thread_([this] { Run(); }) {}

ProcessTreeMeter::~ProcessTreeMeter() { Stop(); }

std::vector<ProcessPeak> ProcessTreeMeter::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  return peaks_;
}

void ProcessTreeMeter::Run() {
  while (!stop_) {
    Sample();
    std::this_thread::sleep_for(interval_);
  }
}

ProcessPeak* ProcessTreeMeter::Find(pid_t pid, bool root) {
  for (ProcessPeak& p : peaks_) {
    if (p.pid == pid) return &p;
  }
  if (peaks_.size() >= kMaxProcesses) return nullptr;
  peaks_.push_back({});
  peaks_.back().pid = pid;
  peaks_.back().root = root;
  return &peaks_.back();
}

void ProcessTreeMeter::Sample() {
  std::vector<pid_t> tree = {root_};
  for (size_t i = 0; i < tree.size() && tree.size() < kMaxProcesses; ++i) AddChildren(tree[i], tree);
  int alive = 0;
  std::lock_guard lock(mutex_);
  for (pid_t pid : tree) {
    StatusFields f;
    if (!ReadStatus(pid, f)) continue;
    ++alive;
    ProcessPeak* p = Find(pid, pid == root_);
    if (!p) continue;
    // Between fork and exec a child still has its parent's memory and command
    // line: what it had then is not what the program it runs uses.
    std::string command = CommandLine(pid);
    if (command != p->command) {
      const bool root = p->root;
      *p = {};
      p->pid = pid;
      p->root = root;
      p->command = std::move(command);
    }
    p->hwmKb = std::max(p->hwmKb, f.hwmKb);
    p->pssKb = std::max(p->pssKb, ReadPssKb(pid));
    p->threads = std::max(p->threads, f.threads);
    if (f.rssKb >= p->rssKb) {
      p->rssKb = f.rssKb;
      p->anonKb = f.anonKb;
      p->fileKb = f.fileKb;
    }
  }
  mostAlive_ = std::max(mostAlive_, alive);
}

}  // namespace orvane::bench
