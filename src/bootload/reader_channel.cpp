#include "bootload/reader_channel.h"

#include <algorithm>
#include <cstring>

namespace orvane {

bool CommandRecord::Set(std::string_view displayName, uint32_t id, const uint8_t* bytes, size_t length) {
  if (length > sizeof frame || (length > 0 && bytes == nullptr)) return false;
  const size_t nameLength = std::min(displayName.size(), sizeof name - 1);
  std::memset(name, 0, sizeof name);
  std::memcpy(name, displayName.data(), nameLength);
  commandId = id;
  frameLength = static_cast<uint32_t>(length);
  if (length > 0) std::memcpy(frame, bytes, length);
  return true;
}

ReaderChannel::ReaderChannel(const BootloadSettings& settings, HidDevice& hid, SerialPort& serial,
                             NetworkLink& network)
    : settings_(settings), hid_(hid), serial_(serial), network_(network) {}

DeviceInfo ReaderChannel::deviceInfo() const {
  std::lock_guard lock(stateMutex_);
  return deviceInfo_;
}

void ReaderChannel::setDeviceInfo(const DeviceInfo& info) {
  std::lock_guard lock(stateMutex_);
  deviceInfo_ = info;
  // The version text is a 512-byte field on the reader's side of things.
  if (deviceInfo_.versionText.size() > 511) deviceInfo_.versionText.resize(511);
}

std::string ReaderChannel::ExchangeText() const {
  std::lock_guard lock(textMutex_);
  return exchangeText_;
}

std::string ReaderChannel::SessionText() const {
  std::lock_guard lock(textMutex_);
  return sessionText_;
}

void ReaderChannel::AppendSessionTextTo(std::string& out) const {
  std::lock_guard lock(textMutex_);
  out += sessionText_;
}

void ReaderChannel::SetSessionText(std::string text) {
  std::lock_guard lock(textMutex_);
  sessionText_ = std::move(text);
}

void ReaderChannel::ClearSessionText() {
  std::lock_guard lock(textMutex_);
  sessionText_.clear();
}

void ReaderChannel::AppendSessionText(std::string_view text) {
  std::lock_guard lock(textMutex_);
  sessionText_ += text;
}

void ReaderChannel::PrependSessionText(std::string_view text) {
  std::lock_guard lock(textMutex_);
  sessionText_.insert(0, text);
}

void ReaderChannel::PrependExchangeToSession() {
  std::lock_guard lock(textMutex_);
  sessionText_.insert(0, exchangeText_);
}

void ReaderChannel::AppendExchangeToSession() {
  std::lock_guard lock(textMutex_);
  sessionText_ += exchangeText_;
}

}  // namespace orvane
