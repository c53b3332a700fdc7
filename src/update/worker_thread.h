#pragma once
// One worker thread of the engine: started with a procedure, joined by its
// owner. It remembers whether the procedure has returned, so the owner can
// tell a thread that is still working from one that only waits to be joined.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace orvane {

class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread() { Join(); }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Joins a previous thread first (callers start only after it has ended or
  // is about to).
  void Start(std::function<void()> procedure) {
    Join();
    // Only a thread restarting its own slot gets here still joinable; it is
    // about to return, so letting it go is safe.
    if (thread_.joinable()) thread_.detach();
    auto done = std::make_shared<std::atomic<bool>>(false);
    done_ = done;
    thread_ = std::thread([procedure = std::move(procedure), done] {
      procedure();
      done->store(true);
    });
  }

  // The procedure is still running.
  bool Running() const { return done_ && !done_->load(); }

  void Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  }

 private:
  std::thread thread_;
  std::shared_ptr<std::atomic<bool>> done_;
};

}  // namespace orvane
