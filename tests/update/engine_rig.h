#pragma once
// The whole engine with real parts around it: the three transports (HID on
// the in-memory backend, because there is no HID hardware), one
// ReaderChannel, a recording view and a program folder of its own, and module
// files in its firmware folders made with the project's module writer.

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/bootload_settings.h"
#include "app/program_folder.h"
#include "bootload/transport_bundle.h"
#include "firmware/module_discovery.h"
#include "firmware/module_writer.h"
#include "support/temp_dir.h"
#include "transport/fake_hid_backend.h"
#include "update/recording_view.h"
#include "update/update_engine.h"
#include "update/update_texts.h"

namespace orvane::test {

inline constexpr uint16_t kRigVendorId = 0x2FE3;
inline constexpr uint16_t kRigProductId = 0x0100;

// An application or bootloader module (".fm" file with its header).
inline ModuleSpec AppModuleSpec(bool pci, uint16_t blockCount = 4) {
  ModuleSpec spec;
  spec.securityType = pci ? "pci   " : "nonpci";
  spec.blockSize = 256;
  spec.blockCount = blockCount;
  return spec;
}

inline std::string ModulePath(const std::string& programFolder, const char* folderName, const std::string& name) {
  const std::string folder = PathInFolder(programFolder, folderName);
  std::filesystem::create_directories(folder);
  return PathInFolder(folder, name);
}

inline bool AddAppModule(const std::string& programFolder, const std::string& name, const ModuleSpec& spec) {
  return WriteModuleFile(ModulePath(programFolder, kAppFolderName, name), spec);
}

// A kernel (kKernelFolderName) or UniApp (kUniAppFolderName) module.
inline bool AddRawModule(const std::string& programFolder, const char* folderName, const std::string& name,
                         size_t length, uint32_t seed) {
  return WriteRawModuleFile(ModulePath(programFolder, folderName, name), length, seed);
}

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

  ReaderChannel& channel() { return transports.channel(); }

  // Settings are final from here on.
  void Build() {
    channel().SetPortLister([this](std::vector<PortInfo>& ports) {
      std::unique_lock lock(portsMutex);
      ports.assign(serialPorts.size(), PortInfo{});
      for (size_t i = 0; i < ports.size(); ++i) {
        ports[i].devicePath = ports[i].portName = serialPorts[i];
        ports[i].friendlyName = "Pseudo-terminal (" + serialPorts[i] + ")";
      }
      lock.unlock();
      ++portListings;
      if (onPortListing) onPortListing();
    });
    engine = std::make_unique<UpdateEngine>(channel(), view);
    view.Attach(engine.get());
  }

  // `listed` false: the line is gone from the system, as an unplugged adapter
  // is. Its pseudo-terminal number is free again: another test process may get
  // it, and its reader must not be found here.
  void ListSerialPort(const std::string& path, bool listed = true) {
    std::lock_guard lock(portsMutex);
    listed ? serialPorts.push_back(path) : (void)std::erase(serialPorts, path);
  }

  // Runs on the presenter thread, as the desktop program would.
  void OnPresenter(const std::function<void()>& work) { view.Invoke(work); }
};

}  // namespace orvane::test
