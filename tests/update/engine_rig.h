#pragma once
// The whole engine with real parts around it: the three transports (HID on
// the in-memory backend, because there is no HID hardware), one
// ReaderChannel, a recording view and a program folder of its own.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/bootload_settings.h"
#include "app/program_folder.h"
#include "bootload/transport_bundle.h"
#include "support/temp_dir.h"
#include "transport/fake_hid_backend.h"
#include "update/recording_view.h"
#include "update/update_engine.h"

namespace orvane::test {

inline constexpr uint16_t kRigVendorId = 0x2FE3;
inline constexpr uint16_t kRigProductId = 0x0100;

struct EngineRig {
  TempDir folder;  // the program folder: configuration, firmware folders, certificate, log
  BootloadSettings settings;
  FakeHidBackend hidBackend;
  TransportBundle transports;
  RecordingView view;
  std::unique_ptr<UpdateEngine> engine;

  // Serial ports offered to the connect operations (pseudo-terminal paths).
  std::mutex portsMutex;
  std::vector<std::string> serialPorts;
  std::atomic<int> portListings{0};
  // Called at every listing of the serial ports, i.e. once per local connect attempt.
  std::function<void()> onPortListing;

  // `hidHost`: another HID backend for the reader's HID interface (the rig's
  // in-memory one when null); it must outlive the rig.
  explicit EngineRig(HidBackend* hidHost = nullptr) : transports(settings, hidHost ? *hidHost : hidBackend) {
    settings.vidPidList = {VidPidEntry{kRigVendorId, kRigProductId, 1}};
    settings.baudRateList = {115200};
    settings.dataBits = "8";
    settings.stopBits = "1";
    settings.parity = "N";
    settings.enableLog = 1;
    settings.tcpServerIp = "127.0.0.1";
    SetProgramFolderOverride(folder.path());
    transports.network().SetCertificateFolder(folder.path());
  }

  ~EngineRig() {
    view.ShutdownEngine();
    engine.reset();
    SetProgramFolderOverride("");
  }

  EngineRig(const EngineRig&) = delete;
  EngineRig& operator=(const EngineRig&) = delete;

  ReaderChannel& channel() { return transports.channel(); }

  // Settings are final from here on.
  void Build() {
    channel().SetPortLister([this](std::vector<PortInfo>& ports) {
      ports.clear();
      {
        std::lock_guard lock(portsMutex);
        for (const std::string& path : serialPorts) {
          PortInfo info;
          info.devicePath = path;
          info.portName = path;
          info.friendlyName = "Pseudo-terminal (" + path + ")";
          ports.push_back(info);
        }
      }
      ++portListings;
      if (onPortListing) onPortListing();
    });
    engine = std::make_unique<UpdateEngine>(channel(), view);
    view.Attach(engine.get());
  }

  void AddSerialPort(const std::string& path) {
    std::lock_guard lock(portsMutex);
    serialPorts.push_back(path);
  }
  // The line is gone from the system, as an unplugged adapter is. Its
  // pseudo-terminal number is free again: another test process may get it,
  // and its reader must not be found here.
  void RemoveSerialPort(const std::string& path) {
    std::lock_guard lock(portsMutex);
    std::erase(serialPorts, path);
  }

  // Runs on the presenter thread, as the desktop program would.
  void OnPresenter(const std::function<void()>& work) { view.Invoke(work); }
};

}  // namespace orvane::test
