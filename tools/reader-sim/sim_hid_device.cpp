#include "reader-sim/sim_hid_device.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "app/clock.h"
#include "reader-sim/line_pacing.h"
#include "reader-sim/link_pause.h"
#include "reader-sim/request_scanner.h"

namespace orvane::sim {
namespace {

constexpr uint8_t kCountedReportId = 0;
constexpr uint8_t kOnlyReport = 1;
constexpr uint8_t kFirstReport = 2;
constexpr uint8_t kMiddleReport = 3;
constexpr uint8_t kLastReport = 4;
constexpr uint8_t kMoreReports = 0x80;
constexpr size_t kReportData = 63;
// Longest wait for the tool to read an answer before a reboot takes the
// device away, and the time given to read a feature answer (which the fake
// device does not report).
constexpr uint32_t kDrainLimitMs = 3000;
constexpr uint32_t kFeatureReadGraceMs = 1500;
constexpr uint32_t kDrainPollMs = 10;

enum class Layout { Counted, Sequenced, Feature };

// Cuts the frame at the start of a sequenced message: the last report is
// zero-filled after the data.
Bytes TrimFill(Bytes message) {
  long length = FrameLengthAt(message);
  if (length > 0 && static_cast<size_t>(length) <= message.size()) {
    message.resize(static_cast<size_t>(length));
  } else {
    while (!message.empty() && message.back() == 0) message.pop_back();
  }
  return message;
}

}  // namespace

struct SimHidDevice::State {
  State(SimulatedReader& r, std::shared_ptr<FakeHidDevice> d) : reader(r), device(std::move(d)) {}

  SimulatedReader& reader;
  std::shared_ptr<FakeHidDevice> device;
  LinkPause pause;

  std::mutex mutex;  // guards everything below
  std::condition_variable jobArrived;
  std::deque<std::function<void()>> jobs;
  bool busy = false;  // the worker is carrying out a job
  Bytes counted;
  Bytes sequenced;
  Bytes feature;
  // Frames of the interrupt endpoints when the reader's options pace reports.
  ReportSlots outSlots;
  ReportSlots inSlots;
  std::thread worker;

  void OnOutputReport(std::span<const uint8_t> report);
  void OnFeatureReport(std::span<const uint8_t> report);
  void Dispatch(const ReaderReply& reply, Layout layout);
  void Send(const Bytes& answer, Layout layout);
  // Waits for the report's frame on a paced endpoint; false when stopping.
  bool AwaitSlot(ReportSlots& slots);
  void RunJob(ReaderReply reply, Layout layout, bool answerSent);
  void WorkerLoop();
};

bool SimHidDevice::State::AwaitSlot(ReportSlots& slots) {
  uint64_t slot = 0;
  {
    std::lock_guard lock(mutex);
    if (!slots.Paced()) return true;
    slot = slots.Next(TickMs());
  }
  return PauseUntil(pause, slot);
}

void SimHidDevice::State::OnOutputReport(std::span<const uint8_t> report) {
  if (report.size() < 2) return;
  // The host's write completes with the frame that carries the report.
  if (!AwaitSlot(outSlots)) return;
  std::optional<Bytes> message;
  Layout layout = Layout::Counted;
  {
    std::lock_guard lock(mutex);
    uint8_t id = report[0];
    if (id == kCountedReportId) {
      size_t count = std::min<size_t>(report[1] & 0x7F, std::min(kReportData, report.size() - 2));
      counted.insert(counted.end(), report.begin() + 2, report.begin() + 2 + static_cast<long>(count));
      if ((report[1] & kMoreReports) == 0 || counted.size() > kMaxRequestFrame) {
        message = std::move(counted);
        counted.clear();
      }
    } else if (id >= kOnlyReport && id <= kLastReport) {
      layout = Layout::Sequenced;
      size_t n = std::min(kReportData, report.size() - 1);
      if (id == kOnlyReport || id == kFirstReport) sequenced.clear();
      sequenced.insert(sequenced.end(), report.begin() + 1, report.begin() + 1 + static_cast<long>(n));
      if (id == kOnlyReport || id == kLastReport || sequenced.size() > kMaxRequestFrame) {
        message = TrimFill(std::move(sequenced));
        sequenced.clear();
      }
    }
  }
  if (!message || message->empty()) return;
  Dispatch(reader.HandleRequest(*message), layout);
}

void SimHidDevice::State::OnFeatureReport(std::span<const uint8_t> report) {
  if (report.size() < 2) return;
  std::optional<Bytes> request;
  {
    std::lock_guard lock(mutex);
    feature.insert(feature.end(), report.begin() + 1, report.end());
    // A request is whole once its frame length can be told and has arrived.
    long length = FrameLengthAt(feature);
    bool keyboardQuery = feature.size() >= 5 && feature[0] == 0x02 && feature[1] == 0x52;
    if (keyboardQuery || (length > 0 && feature.size() >= static_cast<size_t>(length)) || length < 0 ||
        feature.size() > kMaxRequestFrame) {
      request = std::move(feature);
      feature.clear();
    }
  }
  if (request) Dispatch(reader.HandleFeatureRequest(*request), Layout::Feature);
}

void SimHidDevice::State::Send(const Bytes& answer, Layout layout) {
  HidReportLengths lengths = device->lengths();
  if (layout == Layout::Feature) {
    size_t chunk = lengths.feature > 1 ? lengths.feature - 1 : 1;
    for (size_t offset = 0; offset < answer.size(); offset += chunk) {
      Bytes report(lengths.feature, 0);
      size_t n = std::min(chunk, answer.size() - offset);
      std::copy_n(answer.begin() + static_cast<long>(offset), n, report.begin() + 1);
      device->PushFeatureReport(report);
    }
  } else {
    size_t header = layout == Layout::Counted ? 2 : 1;
    size_t chunk = std::min(kReportData, lengths.input > header ? lengths.input - header : 1);
    size_t reports = (answer.size() + chunk - 1) / chunk;
    for (size_t i = 0; i < reports; ++i) {
      Bytes report(lengths.input, 0);
      size_t offset = i * chunk;
      size_t n = std::min(chunk, answer.size() - offset);
      bool last = i + 1 == reports;
      if (layout == Layout::Counted) {
        report[1] = static_cast<uint8_t>(n | (last ? 0 : kMoreReports));
      } else {
        report[0] = reports == 1 ? kOnlyReport : i == 0 ? kFirstReport : last ? kLastReport : kMiddleReport;
      }
      std::copy_n(answer.begin() + static_cast<long>(offset), n, report.begin() + static_cast<long>(header));
      if (!AwaitSlot(inSlots)) return;
      device->PushInputReport(report);
    }
  }
  reader.RecordSent(answer);
}

void SimHidDevice::State::Dispatch(const ReaderReply& reply, Layout layout) {
  std::unique_lock lock(mutex);
  // Answer at once, on the tool's own thread, when nothing is pending: the
  // answer is then queued before the tool starts reading. Paced reports go
  // out from the worker, while the tool goes on.
  bool answerNow = !busy && jobs.empty() && reply.answerDelayMs == 0 && !inSlots.Paced();
  if (answerNow) {
    lock.unlock();
    if (!reply.answer.empty()) Send(reply.answer, layout);
    if (reply.followUp.empty() && reply.after == ReaderReply::After::Nothing) return;
    lock.lock();
  }
  jobs.push_back([this, reply, layout, answerNow] { RunJob(reply, layout, answerNow); });
  jobArrived.notify_one();
}

void SimHidDevice::State::RunJob(ReaderReply reply, Layout layout, bool answerSent) {
  if (!answerSent && !reply.answer.empty()) {
    if (reply.answerDelayMs && !pause.Pause(reply.answerDelayMs)) return;
    Send(reply.answer, layout);
  }
  if (!reply.followUp.empty()) {
    if (!pause.Pause(reply.followUpDelayMs)) return;
    Send(reply.followUp, layout);
  }
  if (reply.after == ReaderReply::After::Nothing) return;
  // Let the tool read the answer before the device goes away.
  if (!reply.answer.empty()) {
    if (layout == Layout::Feature) {
      if (!pause.Pause(kFeatureReadGraceMs)) return;
    } else {
      uint64_t start = TickMs();
      while (device->PendingInputReports() > 0 && TickMs() - start < kDrainLimitMs) {
        if (!pause.Pause(kDrainPollMs)) return;
      }
    }
  }
  device->SetPresent(false);
  {
    std::lock_guard lock(mutex);
    counted.clear();
    sequenced.clear();
    feature.clear();
  }
  bool waited = pause.Pause(reader.Options().rebootDelayMs);
  device->SetPresent(true);  // also when stopping: leave the device as it was found
  (void)waited;
}

void SimHidDevice::State::WorkerLoop() {
  std::unique_lock lock(mutex);
  for (;;) {
    jobArrived.wait(lock, [&] { return pause.Stopping() || !jobs.empty(); });
    if (pause.Stopping()) return;
    std::function<void()> job = std::move(jobs.front());
    jobs.pop_front();
    busy = true;
    lock.unlock();
    job();
    lock.lock();
    busy = false;
  }
}

SimHidDevice::SimHidDevice(SimulatedReader& reader, std::shared_ptr<FakeHidDevice> device)
    : state_(std::make_shared<State>(reader, std::move(device))) {}

SimHidDevice::~SimHidDevice() { Stop(); }

bool SimHidDevice::Start() {
  if (state_->worker.joinable()) return true;
  state_->pause.Reset();
  {
    std::lock_guard lock(state_->mutex);
    const uint32_t interval = state_->reader.Options().hidReportIntervalMs;
    state_->outSlots = ReportSlots(interval);
    state_->inSlots = ReportSlots(interval);
  }
  std::weak_ptr<State> weak = state_;
  state_->device->SetOutputReportHandler([weak](std::span<const uint8_t> report) {
    if (auto s = weak.lock(); s && !s->pause.Stopping()) s->OnOutputReport(report);
  });
  state_->device->SetFeatureHandler([weak](std::span<const uint8_t> report) {
    if (auto s = weak.lock(); s && !s->pause.Stopping()) s->OnFeatureReport(report);
  });
  state_->worker = std::thread([s = state_.get()] { s->WorkerLoop(); });
  return true;
}

void SimHidDevice::Stop() {
  if (!state_) return;
  state_->device->SetOutputReportHandler(nullptr);
  state_->device->SetFeatureHandler(nullptr);
  {
    std::lock_guard lock(state_->mutex);
    state_->pause.RequestStop();
  }
  state_->jobArrived.notify_all();
  if (state_->worker.joinable()) state_->worker.join();
  std::lock_guard lock(state_->mutex);
  state_->jobs.clear();
}

}  // namespace orvane::sim
