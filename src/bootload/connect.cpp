// Finding the reader: USB HID devices from the configured identities, serial
// ports at the configured speeds, and the two network roles.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/clock.h"
#include "bootload/reader_channel.h"
#include "transport/hid_device.h"
#include "transport/network_link.h"
#include "transport/serial_port.h"

namespace orvane {
namespace {

constexpr uint32_t kSettleAfterConnectMs = 50;

enum class UsbPassRule {
  AnyKeyboardAnswer,  // "KB" or the product word: keyboard interface; any other answer: plain HID
  KeyboardWordOnly,   // only "KB" is taken; other keyboard answers move on
};

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

bool UsbKind(ConnectionKind kind) {
  return kind == ConnectionKind::None || kind == ConnectionKind::UsbHid || kind == ConnectionKind::UsbHidKeyboard;
}

bool SerialKind(ConnectionKind kind) { return kind == ConnectionKind::None || kind == ConnectionKind::Serial; }

// The ports to try, in listing order. A listing that fails part-way still
// offers the ports found before the failure.
std::vector<PortInfo> ListPorts(const ReaderChannel::PortLister& lister) {
  std::vector<PortInfo> ports;
  try {
    if (lister) {
      lister(ports);
    } else {
      EnumeratePorts(ports, false);
    }
  } catch (const std::exception&) {
    // keep what was found
  }
  return ports;
}

std::string PortParameterText(const std::string& portName, int baudRate, const BootloadSettings& settings) {
  char text[512];
  std::snprintf(text, sizeof text, "%s/baud=%d/parity=%s/stop=%s/data=%s", portName.c_str(), baudRate,
                settings.parity.c_str(), settings.stopBits.c_str(), settings.dataBits.c_str());
  return text;
}

// Each configured USB identity in turn; true when a device answered.
bool UsbPass(ReaderChannel& channel, std::string& text, UsbPassRule rule, bool passThroughAware) {
  for (const VidPidEntry& entry : channel.settings().vidPidList) {
    if (!channel.hid().Open(entry.vid, entry.pid)) continue;
    channel.setHidChannelOpen(true);
    if (entry.isOVG == 1) channel.setFrameProtocol(FrameProtocol::Header);
    channel.setConnectionKind(ConnectionKind::UsbHid);

    text = passThroughAware ? channel.GetFirmwareVersionPassThroughAware() : channel.GetFirmwareVersion();
    if (!text.empty()) return true;

    std::string keyboard = channel.GetKeyboardVersion();
    if (keyboard.empty()) continue;
    if (rule == UsbPassRule::KeyboardWordOnly) {
      if (!Contains(keyboard, "KB")) continue;
      channel.setConnectionKind(ConnectionKind::UsbHidKeyboard);
      text = keyboard;
      return true;
    }
    DeviceInfo info = channel.deviceInfo();
    info.keyboardMode = false;
    if (Contains(keyboard, "KB")) {
      channel.setConnectionKind(ConnectionKind::UsbHidKeyboard);
    } else if (Contains(keyboard, "Taviron2") || Contains(keyboard, "TAVIRON2")) {
      info.keyboardMode = true;
      channel.setConnectionKind(ConnectionKind::UsbHidKeyboard);
    }
    channel.setDeviceInfo(info);
    text = keyboard;
    return true;
  }
  return false;
}

// Every listed port at every configured speed, header framing first.
bool SerialPass(ReaderChannel& channel, const ReaderChannel::PortLister& lister, std::string& text,
                bool passThroughAware) {
  SerialPort& port = channel.serial();
  if (port.IsPortOpen()) port.ClosePort();
  auto query = [&] {
    return passThroughAware ? channel.GetFirmwareVersionPassThroughAware() : channel.GetFirmwareVersion();
  };
  for (const PortInfo& info : ListPorts(lister)) {
    if (info.devicePath.empty()) continue;
    for (int baudRate : channel.settings().baudRateList) {
      if (!port.OpenPort(PortParameterText(info.devicePath, baudRate, channel.settings()))) continue;
      // The exchange goes to the serial port only while no HID channel is open.
      channel.setHidChannelOpen(false);
      channel.setFrameProtocol(FrameProtocol::Header);
      text = query();
      if (text.empty()) {
        channel.setFrameProtocol(FrameProtocol::Stx);
        text = query();
      }
      if (!text.empty()) {
        channel.setConnectionKind(ConnectionKind::Serial);
        channel.setHidChannelOpen(false);
        SleepMs(kSettleAfterConnectMs);
        return true;
      }
      port.ClosePort();
    }
  }
  return false;
}

}  // namespace

bool ReaderChannel::ConnectUsbOrSerial(std::string& text) {
  if (connectionKind() == ConnectionKind::TlsServer) return true;
  text.clear();
  setHidChannelOpen(false);
  if (UsbKind(connectionKind()) && UsbPass(*this, text, UsbPassRule::AnyKeyboardAnswer, false)) return true;
  if (SerialKind(connectionKind()) && SerialPass(*this, portLister_, text, false)) return true;
  text.clear();
  return false;
}

bool ReaderChannel::ConnectSerialOrUsb(std::string& text) {
  text.clear();
  setHidChannelOpen(false);
  if (SerialKind(connectionKind()) && SerialPass(*this, portLister_, text, true)) return true;
  if (UsbKind(connectionKind()) && UsbPass(*this, text, UsbPassRule::KeyboardWordOnly, true)) return true;
  text.clear();
  return false;
}

bool ReaderChannel::ConnectTlsServer(std::string& text, int port, bool forceRestart) {
  return ConnectNetwork(text, ConnectionKind::TlsServer, forceRestart, [&] { return network().StartServer(port); });
}

bool ReaderChannel::ConnectTcpClient(std::string& text, const std::string& address, int port, bool forceReconnect) {
  return ConnectNetwork(text, ConnectionKind::TcpClient, forceReconnect,
                        [&] { return network().ConnectClient(address, port); });
}

bool ReaderChannel::ConnectNetwork(std::string& text, ConnectionKind kind, bool force,
                                   const std::function<bool()>& open) {
  if (network().IsConnected() && !force) return true;
  network().Close();
  text.clear();
  setHidChannelOpen(false);
  // Only a channel not yet connected, or connected this way before, may connect this way.
  const ConnectionKind current = connectionKind();
  if (current != ConnectionKind::None && current != kind) return false;
  if (open()) {
    setConnectionKind(kind);
    setFrameProtocol(FrameProtocol::Header);
    text = GetFirmwareVersion();
    if (!text.empty()) {
      SleepMs(kSettleAfterConnectMs);
      return true;
    }
  }
  network().Close();
  text.clear();
  return false;
}

}  // namespace orvane
